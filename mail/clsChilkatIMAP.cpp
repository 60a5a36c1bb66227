#include "mail/clsChilkatIMAP.h"

#include "mail/OleDate.h"
#include "platform/core/AppError.h"
#include "platform/core/Dialogs.h"
#include "platform/core/FileHelpers.h"
#include "platform/core/ProgramFolder.h"
#include "platform/core/Yield.h"

#include <QDateTime>
#include <QScopeGuard>

#include <climits>

namespace larkspan {

namespace {

bool ConnectionGone(ImapClient::Failure failure)
{
    return failure == ImapClient::Failure::ConnectionLost || failure == ImapClient::Failure::Timeout ||
           failure == ImapClient::Failure::NotConnected;
}

} // namespace

clsChilkatIMAP::Hold::Hold(clsChilkatIMAP *session) : m_session(session), m_self(session->weak_from_this().lock())
{
    if (m_self)
        ++m_session->m_selfHolds;
}

clsChilkatIMAP::Hold::~Hold()
{
    if (m_self)
        --m_session->m_selfHolds;
}

clsChilkatIMAP::clsChilkatIMAP(QObject *parent) : QObject(parent)
{
}

clsChilkatIMAP::~clsChilkatIMAP()
{
    // The session lets go of the client's callbacks first, then of the client.
    if (ChilkatImap1)
        ChilkatImap1->releaseCallbacks(this);
    ChilkatImap1 = nullptr;
    ChilkatIMAPObject = nullptr;
}

bool clsChilkatIMAP::Dropped() const
{
    const long owners = weak_from_this().use_count();
    return m_selfHolds > 0 && owners <= m_selfHolds;
}

void clsChilkatIMAP::Bind()
{
    if (ChilkatImap1 && ChilkatImap1 != ChilkatIMAPObject)
        ChilkatImap1->releaseCallbacks(this);
    ChilkatImap1 = ChilkatIMAPObject;
    if (!ChilkatImap1)
        return;
    ChilkatImap1->bindCallbacks(this, {[this] { return ChilkatImap1_AbortCheck(); },
                                       [this](int percent) { ChilkatImap1_PercentDone(percent); }});
}

ImapClient &clsChilkatIMAP::Component()
{
    if (!ChilkatIMAPObject)
        throw AppError(ErrorCode::ObjectNotSet);
    return *ChilkatIMAPObject;
}

bool clsChilkatIMAP::ChilkatImap1_AbortCheck()
{
    const bool abort = AbortProcess;
    YieldToEventLoop();
    return abort;
}

void clsChilkatIMAP::ChilkatImap1_PercentDone(int percent)
{
    const unsigned long long yields = YieldsSoFar();
    if (!Dropped())
        emit ScrapProgress(percent);
    // A handler that ended with its own yield has just let the window run.
    if (YieldsSoFar() == yields)
        YieldToEventLoop();
}

bool clsChilkatIMAP::Connect()
{
    Hold hold(this);
    Bind();
    ImapClient &client = Component();
    client.setSsl(SSL);
    client.setSecurity(Security);
    client.setPort(PORT);
    m_lastResult = client.connectToServer(IMAPServer) ? 1 : 0;
    if (m_lastResult == 1) {
        const QString response = Component().sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")"));
        if (!response.isEmpty()) {
            m_lastResult = Component().login(Username, Password) ? 1 : 0;
            if (m_lastResult == 1)
                return true;
        }
    }
    GetLastError();
    return false;
}

std::optional<QStringList> clsChilkatIMAP::EnumMailFolders()
{
    Hold hold(this);
    Bind();
    const std::optional<QStringList> listing = Component().listMailboxes(QString(), QStringLiteral("*"));
    if (!listing) {
        GetLastError();
        return std::nullopt;
    }
    QStringList names;
    for (const QString &name : *listing) {
        names.append(name);
        YieldToEventLoop();
    }
    return names;
}

int clsChilkatIMAP::GetTotalMessage(const QString &FolderName)
{
    Hold hold(this);
    Bind();
    m_lastResult = Component().selectMailbox(FolderName) ? 1 : 0;
    if (m_lastResult == 1)
        return Component().numMessages();
    GetLastError();
    return 0;
}

void clsChilkatIMAP::GetLastError()
{
    // The fixed first line, then what really went wrong: a user told the password is
    // wrong when the certificate is the problem changes the wrong thing.
    MsgBox(QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n") + ClientErrorText());
}

QString clsChilkatIMAP::ClientErrorText() const
{
    QString text = ChilkatIMAPObject ? ChilkatIMAPObject->lastErrorText() : QString();
    if (!Password.isEmpty())
        text.replace(Password, QStringLiteral("********"));
    return text;
}

quint32 clsChilkatIMAP::FolderUidValidity() const
{
    return ChilkatImap1 ? ChilkatImap1->uidValidity() : 0;
}

void clsChilkatIMAP::StartMailExtraction(const QString &FolderName)
{
    Hold hold(this);
    if (!Connect()) {
        MsgBox(QStringLiteral("Connection failed. Check username and password."));
        return;
    }
    Bind();
    m_lastResult = Component().selectMailbox(FolderName) ? 1 : 0;
    if (m_lastResult != 1) {
        GetLastError();
        return;
    }
    const int last = MaxRecord;
    qint64 i = CurrentLocation;

    // The client may fetch ahead up to the end of the walk; whatever it fetched
    // ahead is let go when the walk ends, however it ends.
    struct Pipeline {
        QPointer<ImapClient> client;
        ~Pipeline()
        {
            if (client)
                client->setPipelineEnd(0);
        }
    } pipeline{i <= last ? ChilkatIMAPObject : nullptr};
    if (pipeline.client)
        pipeline.client->setPipelineEnd(last);

    while (i <= last) {
        YieldToEventLoop();
        CurrentLocation = int(i);
        std::unique_ptr<MailMessage> message = Component().fetchSingle(int(i), false);
        const ImapClient::Failure failure = Component().lastFailure();
        WriteErrorLog();
        if (message) {
            if (AbortProcess)
                return;
            const QString receivedDate = OleDateToGeneralText(message->date());
            const unsigned long long yields = YieldsSoFar();
            if (!Dropped()) {
                m_listed = message.get();
                const auto forget = qScopeGuard([this] { m_listed = nullptr; });
                emit MailExtractListing(message->fromText(), message->senderName(), message->senderAddress(),
                                        message->subject(), receivedDate, message->plainTextBody(),
                                        message->htmlBody(), int(i));
            }
            if (YieldsSoFar() == yields)
                YieldToEventLoop();
        } else if (ConnectionGone(failure) || failure == ImapClient::Failure::MessageMissing) {
            // "Fetching message <n> failed: ...": the user learns which message is missing.
            throw AppError(ClientErrorText());
        }
        ++i;
    }
}

void clsChilkatIMAP::WriteErrorLog()
{
    const QString errorText = ClientErrorText();
    const QDateTime now = QDateTime::currentDateTime();
    if (const qint64 second = now.toSecsSinceEpoch(); second != m_logSecond) {
        m_logStamp = OleDateToGeneralText(ToOleDate(now));
        m_logSecond = second;
    }
    const QByteArray entry = (m_logStamp + QStringLiteral(" : ") + errorText + QStringLiteral("\r\n") +
                              QString(52, QLatin1Char('*')) + QStringLiteral("\r\n"))
                                 .toUtf8();
    AppendToFile(TempFolder() + QStringLiteral("/errorlog.txt"), entry);
}

} // namespace larkspan
