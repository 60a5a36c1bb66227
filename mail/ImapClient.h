#pragma once

#include "mail/ImapCodec.h"
#include "mail/ImapTransport.h"
#include "mail/MailMessage.h"

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
class ImapClient : public QObject {
    Q_OBJECT
public:
    enum class State { Disconnected, Connecting, Greeting, NotAuthenticated, Authenticated, Selected, LoggingOut };
    Q_ENUM(State)
    // What the last failing operation ran into.
    enum class Failure { None, Connect, Tls, Timeout, ServerRefused, ConnectionLost, Aborted, Busy, BadArgument, NotConnected };
    Q_ENUM(Failure)

    struct Callbacks {
        std::function<bool()> abortCheck;        // true: abort the running operation
        std::function<void(int)> percentDone;    // 0..100 for the message being fetched
    };

    explicit ImapClient(QObject *parent = nullptr);
    ~ImapClient() override;

    void setSsl(bool on) { m_ssl = on; }
    bool ssl() const { return m_ssl; }
    void setPort(int port) { m_port = port; }
    int port() const { return m_port; }

    // Opens a new connection (closing any open one) and reads the greeting.
    bool connectToServer(const QString &host);
    // Sends one command line (a tag is put in front) and returns every response line
    // it produced, CR LF included; empty when it failed.
    QString sendRawCommand(const QString &command);
    bool login(const QString &user, const QString &password);
    bool selectMailbox(const QString &name);
    // Messages in the selected folder, from the latest EXISTS.
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
    struct Command;
    using CommandPtr = std::shared_ptr<Command>;
    enum class WaitResult { Done, Failed, Destroyed };

    static bool arrivedWhole(const Command &command);
    bool beginOperation();
    bool requireState(State atLeast, const QString &what);
    CommandPtr issue(int kind, QList<QByteArray> pieces);
    // Issues one command and waits for its completion: the command once the server
    // answered it (a NO or BAD also sets the failure, "<what> failed: ..."), nothing
    // when the wait failed or the client went away meanwhile.
    CommandPtr execute(int kind, QList<QByteArray> pieces, const QString &what);
    CommandPtr issueFetch(int number, bool byUid);
    void sendNext(const CommandPtr &command);
    void flushQueue();
    void topUpPipeline(int from);
    void dropPipeline();
    WaitResult waitFor(const std::function<bool()> &done, bool connecting);

    void onOpened();
    void onReadyRead();
    void onTransportFailed(const QString &reason);
    void handle(const imap::Response &response);
    void logReceived(const imap::Response &response) const;
    void handleUntagged(const imap::Response &response);
    void noteCapabilities(const QByteArray &rest);
    void handleFetchData(qint64 number, const imap::Response &response, qsizetype offset);
    void connectionEnded(const QString &reason);
    void closeTransport();
    // Closes the transport and drops every command, reply and send still in flight.
    void forgetConversation();
    void setState(State state);
    void fail(Failure failure, const QString &text);
    QString serverSaid(const Command &command) const;
    QString scrub(QString text) const;
    bool askAbort();
    void reportProgress();

    bool m_ssl = true;
    int m_port = 993;
    int m_connectTimeout = 30000;
    int m_idleTimeout = 60000;
    State m_state = State::Disconnected;
    QString m_error;
    Failure m_failure = Failure::None;
    QString m_password;
    QString m_credentials; // the password as AUTHENTICATE sends it, kept out of texts too
    std::optional<QSet<QByteArray>> m_capabilities; // as the server last listed them
    QString m_endReason;
    QByteArray m_byeText;
    int m_exists = 0;
    quint32 m_uidValidity = 0;

    ImapTransportFactory m_factory;
    std::unique_ptr<ImapTransport> m_transport;
    std::vector<std::unique_ptr<ImapTransport>> m_retired;
    imap::ResponseReader m_reader;

    unsigned m_nextTag = 0;
    std::map<QByteArray, CommandPtr> m_outstanding;
    std::deque<CommandPtr> m_fetchOrder;
    std::deque<CommandPtr> m_sendQueue;
    CommandPtr m_awaitingContinuation;

    int m_pipelineEnd = 0;
    int m_window = 64;
    int m_nextAhead = 0;
    std::map<int, CommandPtr> m_ahead;

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
