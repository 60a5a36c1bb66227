#pragma once

#include "mail/ImapCodec.h"
#include "mail/ImapCommand.h"
#include "mail/ImapTransport.h"
#include "mail/MailMessage.h"
#include "mail/MailSecurity.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QEventLoop;
class QTimer;

namespace larkspan {

// The program's IMAP client: one connection, the handful of operations the mail
// session needs, nothing more. Every operation blocks its caller but runs a nested
// event loop while it waits, so the window stays alive; during the wait the bound
// abort check is asked at least every 100 ms and after every chunk read, and the
// percent-done callback follows the literal of a message being fetched.
//
// Results follow the session's needs: true/false, a text, or nothing on failure;
// lastErrorText() then says what went wrong (never the password).
//
// The implementation is spread by concern: ImapClient.cpp (operations, waits,
// callbacks), ImapClient_Connection.cpp (connecting, TLS and STARTTLS, the end of a
// connection), ImapClient_Responses.cpp (reading what the server sends),
// ImapClient_Commands.cpp (sending commands; login, select, list, raw commands) and
// ImapClient_FetchPipeline.cpp (fetching messages, ahead of time within a walk).
class ImapClient : public QObject {
    Q_OBJECT
public:
    enum class State { Disconnected, Connecting, Greeting, NotAuthenticated, Authenticated, Selected, LoggingOut };
    Q_ENUM(State)
    // What the last failing operation ran into. Tls covers every way encryption
    // could not be set up: handshake, certificate, and a server without STARTTLS or
    // refusing it. MessageMissing: the server completed a fetch without the message.
    enum class Failure {
        None, Connect, Tls, Timeout, ServerRefused, ConnectionLost, Aborted, Busy, BadArgument, NotConnected,
        MessageMissing
    };
    Q_ENUM(Failure)

    struct Callbacks {
        std::function<bool()> abortCheck;        // true: abort the running operation
        std::function<void(int)> percentDone;    // 0..100 for the message being fetched
    };

    explicit ImapClient(QObject *parent = nullptr);
    ~ImapClient() override;

    // Encryption on or off; off is for tests against a scripted server only.
    void setSsl(bool on) { m_ssl = on; }
    bool ssl() const { return m_ssl; }
    // With encryption on: TLS from the start, or STARTTLS on a plain connection.
    void setSecurity(MailSecurity security) { m_security = security; }
    MailSecurity security() const { return m_security; }
    void setPort(int port) { m_port = port; }
    int port() const { return m_port; }

    // Opens a new connection (closing any open one) and reads the greeting. With
    // STARTTLS, the connection is encrypted and the server's capabilities read
    // again before this returns true.
    bool connectToServer(const QString &host);
    // Sends one command line (a tag is put in front) and returns every response line
    // it produced, CR LF included; empty when it failed.
    QString sendRawCommand(const QString &command);
    // Refused without sending anything when encryption is on but the connection is
    // not encrypted.
    bool login(const QString &user, const QString &password);
    bool selectMailbox(const QString &name);
    // Messages in the selected folder, from the latest EXISTS less each EXPUNGE since.
    int numMessages() const { return m_exists; }
    // The selected folder's UIDVALIDITY; 0 when the server gave none.
    quint32 uidValidity() const { return m_uidValidity; }
    // Folder names as the server gives them, modified UTF-7 decoded; nothing on failure.
    std::optional<QStringList> listMailboxes(const QString &reference, const QString &pattern);
    // The whole message (BODY.PEEK[], so it stays unread) with its INTERNALDATE.
    std::unique_ptr<MailMessage> fetchSingle(int number, bool byUid);
    QString lastErrorText() const { return m_error; }
    Failure lastFailure() const { return m_failure; }
    // LOGOUT, then close. A running operation fails.
    void disconnectFromServer();

    State state() const { return m_state; }
    bool isConnected() const;
    bool isEncrypted() const { return m_encrypted; }

    // Fetches of sequence numbers up to lastNumber may be sent ahead, window at a
    // time, so a walk costs no round trip per message; 0 sends nothing ahead.
    void setPipelineEnd(int lastNumber);
    void setPipelineWindow(int window) { m_window = window < 1 ? 1 : window; }
    int pipelineWindow() const { return m_window; }

    // One owner at a time receives the callbacks; release only drops its own binding.
    void bindCallbacks(const void *owner, Callbacks callbacks);
    void releaseCallbacks(const void *owner);

    void setConnectTimeout(int msecs) { m_connectTimeout = msecs; }
    void setIdleTimeout(int msecs) { m_idleTimeout = msecs; }
    void setTransportFactory(ImapTransportFactory factory) { m_factory = std::move(factory); }

signals:
    void stateChanged(larkspan::ImapClient::State state);

private:
    using CommandPtr = std::shared_ptr<ImapCommand>;
    enum class WaitResult { Done, Failed, Destroyed };

    // Ends the operation on every way out of it.
    struct OperationScope {
        std::shared_ptr<bool> alive;
        bool *busy;
        ~OperationScope();
    };

    // Operations, waits, callbacks (ImapClient.cpp).
    bool beginOperation();
    bool requireState(State atLeast, const QString &what);
    WaitResult waitFor(const std::function<bool()> &done, bool connecting);
    bool askAbort();
    void setState(State state);
    void fail(Failure failure, const QString &text);
    QString serverSaid(const ImapCommand &command) const;
    QString scrub(QString text) const;

    // The connection (ImapClient_Connection.cpp).
    bool awaitGreeting(const QString &host);
    bool upgradeToTls(const QString &host);
    void onOpened(bool tls);
    void onEncrypted();
    void onTransportFailed(const QString &reason);
    void connectionEnded(const QString &reason);
    void closeTransport();
    // Closes the transport and drops every command, reply and send still in flight.
    void forgetConversation();

    // Reading responses (ImapClient_Responses.cpp).
    void onReadyRead();
    void handle(const imap::Response &response);
    void handleTagged(const QByteArray &tag, const imap::Response &response);
    void handleUntagged(const imap::Response &response);
    void handleFetchData(qint64 number, const imap::Response &response, qsizetype offset);
    void noteCapabilities(const QByteArray &rest);
    void logReceived(const imap::Response &response) const;

    // Sending commands (ImapClient_Commands.cpp).
    CommandPtr issue(ImapCommandKind kind, QList<QByteArray> pieces);
    // Issues one command and waits for its completion: the command once the server
    // answered it (a NO or BAD also sets the failure, "<what> failed: ..."), nothing
    // when the wait failed or the client went away meanwhile.
    CommandPtr execute(ImapCommandKind kind, QList<QByteArray> pieces, const QString &what);
    void sendNext(const CommandPtr &command);
    void flushQueue();

    // Fetching (ImapClient_FetchPipeline.cpp).
    static bool arrivedWhole(const ImapCommand &command);
    CommandPtr issueFetch(int number, bool byUid);
    void topUpPipeline(int from);
    void dropPipeline();
    void reportProgress();

    // What the caller set.
    bool m_ssl = true;
    MailSecurity m_security = MailSecurity::Tls;
    int m_port = 993;
    int m_connectTimeout = 30000;
    int m_idleTimeout = 60000;

    // Where the conversation stands.
    State m_state = State::Disconnected;
    QString m_error;
    Failure m_failure = Failure::None;
    QString m_password;
    QString m_credentials; // the password as AUTHENTICATE sends it, kept out of texts too
    std::optional<QSet<QByteArray>> m_capabilities; // as the server last listed them
    bool m_encrypted = false;
    bool m_upgradeDue = false; // STARTTLS was answered OK; nothing may be read before TLS
    QString m_endReason;
    QString m_transportEnd; // the transport's reason, until what came before it is read
    QByteArray m_byeText;
    int m_exists = 0;
    quint32 m_uidValidity = 0;

    ImapTransportFactory m_factory;
    std::unique_ptr<ImapTransport> m_transport;
    std::vector<std::unique_ptr<ImapTransport>> m_retired;
    imap::ResponseReader m_reader;

    // Commands in flight.
    unsigned m_nextTag = 0;
    std::map<QByteArray, CommandPtr> m_outstanding;
    std::deque<CommandPtr> m_fetchOrder;
    std::deque<CommandPtr> m_sendQueue;
    CommandPtr m_awaitingContinuation;

    // Fetches sent ahead.
    int m_pipelineEnd = 0;
    int m_window = 64;
    int m_nextAhead = 0;
    std::map<int, CommandPtr> m_ahead;

    // The running operation and its callbacks.
    const void *m_owner = nullptr;
    Callbacks m_callbacks;
    bool m_busy = false;
    bool m_inRead = false;
    bool m_readPending = false;
    bool m_inCallback = false;
    bool m_abortRequested = false;
    QEventLoop *m_loop = nullptr;
    QTimer *m_idleTimer = nullptr;
    CommandPtr m_awaitedFetch;
    int m_lastPercent = -1;
    std::shared_ptr<bool> m_alive;
};

} // namespace larkspan
