#pragma once

#include "mail/ImapClient.h"
#include "mail/MailSecurity.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace larkspan {

// One mail session: connects and logs in through the program's IMAP client, lists
// folders, counts and walks a folder's messages. Windows hold it as a shared_ptr and
// drop it at disconnect and after every listing run; a listing run keeps it alive
// on its own until the run returns.
class clsChilkatIMAP : public QObject, public std::enable_shared_from_this<clsChilkatIMAP> {
    Q_OBJECT
public:
    explicit clsChilkatIMAP(QObject *parent = nullptr);
    ~clsChilkatIMAP() override;

    // Stop request; read by the client's abort check and by the listing walk.
    bool AbortProcess = false;
    QString Username;
    QString Password;
    QString IMAPServer;
    bool SSL = false;
    // How SSL encrypts: TLS from the start, or STARTTLS on a plain connection.
    MailSecurity Security = MailSecurity::Tls;
    int PORT = 0;
    // The client the session works through; borrowed from the owner.
    QPointer<ImapClient> ChilkatIMAPObject;
    // First sequence number of a listing; during and after it, the number reached.
    int CurrentLocation = 0;
    // Last sequence number of a listing, inclusive.
    int MaxRecord = 0;

    // Connect, ID ("GUID" "1"), log in. On any failure: GetLastError, false.
    bool Connect();
    // Every folder name, in the server's order; nothing (after GetLastError) on failure.
    std::optional<QStringList> EnumMailFolders();
    // Messages in the folder; 0 (after GetLastError) when it cannot be selected.
    int GetTotalMessage(const QString &FolderName);
    // The one failure message of the session, with the client's reason below it.
    void GetLastError();
    // Connects, selects the folder and raises MailExtractListing for every message
    // from CurrentLocation to MaxRecord. A message the server refuses is skipped. A
    // lost connection, a message the server's answer did not carry, or an unwritable
    // log ends the walk with an AppError to the caller, its text naming the message;
    // events already raised stay raised.
    void StartMailExtraction(const QString &FolderName);

    // The message whose MailExtractListing is being raised, raw octets included;
    // nothing outside that event.
    const MailMessage *ListedMessage() const { return m_listed; }
    // The selected folder's UIDVALIDITY; 0 when the server gave none.
    quint32 FolderUidValidity() const;

    // Result of the last client operation that returns a code; 1 means success.
    int LastResultCode() const { return m_lastResult; }

signals:
    void MailExtractListing(QString From, QString FromName, QString FromAddress, QString Subject,
                            QString ReceivedDate, QString PlainTextBody, QString HTMLTextBody, int uID);
    void ScrapProgress(int percent);

private:
    // Keeps the session alive while one of its operations runs, when a shared_ptr owns it.
    class Hold {
    public:
        explicit Hold(clsChilkatIMAP *session);
        ~Hold();

    private:
        clsChilkatIMAP *m_session;
        std::shared_ptr<clsChilkatIMAP> m_self;
    };

    void Bind();
    ImapClient &Component();
    void WriteErrorLog();
    // The client's last error text, the password masked.
    QString ClientErrorText() const;
    bool ChilkatImap1_AbortCheck();
    void ChilkatImap1_PercentDone(int percent);
    // True once every owner but the session's own operations has let go of it.
    bool Dropped() const;

    QPointer<ImapClient> ChilkatImap1;
    int m_lastResult = 0;
    const MailMessage *m_listed = nullptr;
    int m_selfHolds = 0;
    // The log entry's time, made again when the second changes: a listing writes
    // thousands of entries a second, and the locale's formatting was a third of each.
    qint64 m_logSecond = -1;
    QString m_logStamp;
};

} // namespace larkspan
