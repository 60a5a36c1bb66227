// The connection: opening it, the greeting, TLS from the start or through STARTTLS,
// and how it ends.

#include "mail/ImapClient.h"

#include "platform/core/Logging.h"

#include <QEventLoop>

namespace larkspan {

bool ImapClient::connectToServer(const QString &host)
{
    if (!beginOperation())
        return false;
    OperationScope scope{m_alive, &m_busy};
    forgetConversation();
    dropPipeline();
    m_byeText.clear();
    m_endReason.clear();
    m_exists = 0;
    m_uidValidity = 0;
    m_capabilities.reset();
    setState(State::Disconnected);

    if (m_port <= 0 || m_port > 65535) {
        fail(Failure::BadArgument, QStringLiteral("Port %1 is not a valid port.").arg(m_port));
        return false;
    }
    const bool startTls = m_ssl && m_security == MailSecurity::StartTls;
    const bool tlsFromStart = m_ssl && !startTls;
    m_transport = m_factory();
    connect(m_transport.get(), &ImapTransport::opened, this, [this, tlsFromStart] { onOpened(tlsFromStart); });
    connect(m_transport.get(), &ImapTransport::encrypted, this, &ImapClient::onEncrypted);
    connect(m_transport.get(), &ImapTransport::readyRead, this, &ImapClient::onReadyRead);
    connect(m_transport.get(), &ImapTransport::failed, this, &ImapClient::onTransportFailed);
    setState(State::Connecting);
    qCDebug(lcImap).noquote() << "connecting to" << host << m_port
                              << (startTls ? "with STARTTLS" : tlsFromStart ? "with TLS" : "without TLS");
    m_transport->open(host, quint16(m_port), tlsFromStart);

    const std::shared_ptr<bool> alive = m_alive;
    if (awaitGreeting(host) && (!startTls || upgradeToTls(host)))
        return true;
    if (!*alive)
        return false;
    qCDebug(lcImap).noquote() << "connect failed:" << m_error;
    closeTransport();
    setState(State::Disconnected);
    return false;
}

bool ImapClient::awaitGreeting(const QString &host)
{
    const WaitResult result = waitFor([this] { return int(m_state) >= int(State::NotAuthenticated); }, true);
    if (result != WaitResult::Failed)
        return result == WaitResult::Done;
    if (m_failure == Failure::ConnectionLost) {
        const bool tls = m_endReason.startsWith(QLatin1String("TLS")) ||
                         m_endReason.startsWith(QLatin1String("The server's certificate"));
        m_failure = tls ? Failure::Tls : Failure::Connect;
        m_error = m_endReason;
    }
    if (m_failure != Failure::Tls && m_failure != Failure::Connect)
        m_error = QStringLiteral("Connecting to %1:%2 failed: %3").arg(host).arg(m_port).arg(m_error);
    return false;
}

// STARTTLS (RFC 3501 6.2.1): only on a server that offers it, only in the state
// before login, and afterwards the capabilities are read again, because what the
// server said before encryption may have been altered on the way. There is no way
// back to a plain login: every failure here ends the connect.
bool ImapClient::upgradeToTls(const QString &host)
{
    const QString where = host + QLatin1Char(':') + QString::number(m_port);
    const QString notSent = QStringLiteral("The password was not sent.");
    const auto failAsTls = [this](const QString &text) {
        fail(Failure::Tls, text);
        return false;
    };
    if (m_state != State::NotAuthenticated) {
        return failAsTls(QStringLiteral("%1 signed in before encryption (PREAUTH), so STARTTLS cannot protect "
                                        "the connection. %2").arg(where, notSent));
    }
    if (!m_capabilities) {
        const CommandPtr asked = execute(ImapCommandKind::Plain, {"CAPABILITY\r\n"}, QStringLiteral("Asking for STARTTLS"));
        if (!asked || !asked->ok)
            return false;
    }
    if (!m_capabilities || !m_capabilities->contains("STARTTLS")) {
        return failAsTls(QStringLiteral("%1 does not offer STARTTLS, so the connection cannot be encrypted. %2")
                             .arg(where, notSent));
    }
    const CommandPtr command = execute(ImapCommandKind::StartTls, {"STARTTLS\r\n"}, QStringLiteral("STARTTLS"));
    if (!command || m_state == State::Disconnected)
        return failAsTls(command ? m_endReason : m_error);
    if (!command->ok) {
        return failAsTls(QStringLiteral("%1 refused STARTTLS (%2), so the connection cannot be encrypted. %3")
                             .arg(where, serverSaid(*command), notSent));
    }

    // Bytes behind the OK would be taken for what came through TLS.
    if (m_reader.holdsUnread() || m_transport->bytesAvailable() > 0) {
        connectionEnded(QStringLiteral("The server sent more after agreeing to STARTTLS; the connection was "
                                       "ended because what follows cannot be trusted."));
        return failAsTls(m_endReason);
    }
    m_upgradeDue = false;
    m_transport->startEncryption();
    const WaitResult result = waitFor([this] { return m_encrypted; }, true);
    if (result == WaitResult::Destroyed)
        return false;
    if (result == WaitResult::Failed) {
        return failAsTls(m_failure == Failure::ConnectionLost
                             ? m_endReason
                             : QStringLiteral("TLS handshake with %1 after STARTTLS failed: %2").arg(where, m_error));
    }
    qCDebug(lcImap) << "connection encrypted through STARTTLS";
    m_capabilities.reset();
    const CommandPtr asked =
        execute(ImapCommandKind::Plain, {"CAPABILITY\r\n"}, QStringLiteral("Reading the capabilities after STARTTLS"));
    return asked && asked->ok;
}

void ImapClient::onOpened(bool tls)
{
    m_encrypted = tls;
    if (m_state == State::Connecting)
        setState(State::Greeting);
}

void ImapClient::onEncrypted()
{
    m_encrypted = true;
    if (m_loop)
        m_loop->quit();
}

void ImapClient::onTransportFailed(const QString &reason)
{
    // Whatever arrived before the end still counts: the connection ends once it is
    // read, by this read or, when one is running already (a callback of it yielding
    // to the event loop), by that one.
    m_transportEnd = reason;
    if (m_inRead) {
        m_readPending = true;
        return;
    }
    onReadyRead();
}

void ImapClient::closeTransport()
{
    m_encrypted = false;
    m_upgradeDue = false;
    m_transportEnd.clear();
    if (!m_transport)
        return;
    m_transport->disconnect(this);
    m_transport->close();
    // This may run inside one of the transport's own signals (even several event
    // loops deep, through a callback that yields), so it is deleted only when the
    // next operation begins.
    m_retired.push_back(std::move(m_transport));
}

void ImapClient::forgetConversation()
{
    closeTransport();
    m_reader.clear();
    m_outstanding.clear();
    m_fetchOrder.clear();
    m_sendQueue.clear();
    m_awaitingContinuation.reset();
}

void ImapClient::connectionEnded(const QString &reason)
{
    QString text = reason;
    if (!m_byeText.isEmpty())
        text += QStringLiteral(" (%1)").arg(QString::fromUtf8(m_byeText));
    m_endReason = text;
    qCDebug(lcImap).noquote() << "connection ended:" << scrub(text);
    // Commands still outstanding never finish; their waits fail on the state below.
    forgetConversation();
    // Messages that arrived whole before the end are still handed out when asked for,
    // whether or not their command's completion made it too.
    for (auto it = m_ahead.begin(); it != m_ahead.end();) {
        if (arrivedWhole(*it->second))
            ++it;
        else
            it = m_ahead.erase(it);
    }
    m_nextAhead = 0;
    m_pipelineEnd = 0;
    setState(State::Disconnected);
    if (m_loop)
        m_loop->quit();
}

void ImapClient::disconnectFromServer()
{
    if (m_busy) {
        // An operation is waiting further up the stack: it fails with this reason.
        connectionEnded(QStringLiteral("Disconnected by the program."));
        return;
    }
    if (!isConnected()) {
        closeTransport();
        setState(State::Disconnected);
        return;
    }
    beginOperation();
    OperationScope scope{m_alive, &m_busy};
    dropPipeline();
    setState(State::LoggingOut);
    CommandPtr command = issue(ImapCommandKind::Logout, {"LOGOUT\r\n"});
    const WaitResult result = waitFor([&command, this] { return command->done || m_state == State::Disconnected; }, false);
    if (result == WaitResult::Destroyed)
        return;
    forgetConversation();
    setState(State::Disconnected);
}

} // namespace larkspan
