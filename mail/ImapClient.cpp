#include "mail/ImapClient.h"

#include <QEventLoop>
#include <QTimer>

namespace larkspan {

ImapClient::ImapClient(QObject *parent)
    : QObject(parent), m_factory(&CreateSocketTransport), m_alive(std::make_shared<bool>(true))
{
}

ImapClient::~ImapClient()
{
    *m_alive = false;
    if (m_loop)
        m_loop->quit();
    closeTransport();
}

ImapClient::OperationScope::~OperationScope()
{
    if (*alive)
        *busy = false;
}

bool ImapClient::isConnected() const
{
    return m_state != State::Disconnected && m_state != State::Connecting && m_transport;
}

void ImapClient::bindCallbacks(const void *owner, Callbacks callbacks)
{
    m_owner = owner;
    m_callbacks = std::move(callbacks);
}

void ImapClient::releaseCallbacks(const void *owner)
{
    if (m_owner != owner)
        return;
    m_owner = nullptr;
    m_callbacks = Callbacks();
}

void ImapClient::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void ImapClient::fail(Failure failure, const QString &text)
{
    m_failure = failure;
    m_error = scrub(text);
}

// A server may echo what it was sent; the password never reaches the error text.
QString ImapClient::scrub(QString text) const
{
    for (const QString &secret : {m_password, m_credentials}) {
        if (!secret.isEmpty())
            text.replace(secret, QStringLiteral("********"));
    }
    return text;
}

QString ImapClient::serverSaid(const ImapCommand &command) const
{
    return QStringLiteral("the server answered %1 %2")
        .arg(QString::fromLatin1(command.status), QString::fromUtf8(command.statusText))
        .trimmed();
}

bool ImapClient::beginOperation()
{
    if (m_busy) {
        m_failure = Failure::Busy;
        m_error = QStringLiteral("Another mail operation is still running.");
        return false;
    }
    m_busy = true;
    m_retired.clear();
    m_failure = Failure::None;
    m_error.clear();
    return true;
}

bool ImapClient::requireState(State atLeast, const QString &what)
{
    if (!isConnected()) {
        if (m_endReason.isEmpty())
            fail(Failure::NotConnected, QStringLiteral("%1: not connected to the server.").arg(what));
        else
            fail(Failure::ConnectionLost, QStringLiteral("%1 failed: %2").arg(what, m_endReason));
        return false;
    }
    if (int(m_state) < int(atLeast)) {
        fail(Failure::NotConnected, QStringLiteral("%1: not logged in.").arg(what));
        return false;
    }
    return true;
}

ImapClient::WaitResult ImapClient::waitFor(const std::function<bool()> &done, bool connecting)
{
    if (done())
        return WaitResult::Done;
    const std::shared_ptr<bool> alive = m_alive;
    QEventLoop loop;
    QTimer tick;
    QTimer deadline;
    bool timedOut = false;
    m_abortRequested = false;

    tick.setInterval(100);
    connect(&tick, &QTimer::timeout, &loop, [this, &loop] {
        if (!m_inCallback && askAbort())
            m_abortRequested = true;
        loop.quit();
    });
    deadline.setSingleShot(true);
    deadline.setInterval(connecting ? m_connectTimeout : m_idleTimeout);
    connect(&deadline, &QTimer::timeout, &loop, [&timedOut, &loop] {
        timedOut = true;
        loop.quit();
    });
    tick.start();
    deadline.start();

    QEventLoop *const outerLoop = m_loop;
    QTimer *const outerIdle = m_idleTimer;
    m_loop = &loop;
    if (!connecting)
        m_idleTimer = &deadline;

    WaitResult result = WaitResult::Failed;
    for (;;) {
        if (done()) {
            result = WaitResult::Done;
            break;
        }
        if (m_state == State::Disconnected) {
            fail(Failure::ConnectionLost, m_endReason.isEmpty() ? QStringLiteral("The connection was closed.") : m_endReason);
            break;
        }
        if (m_abortRequested) {
            fail(Failure::Aborted, QStringLiteral("Aborted by the program."));
            break;
        }
        if (timedOut) {
            // Rounded up: a wait of under a second is not "0 s".
            const int seconds = ((connecting ? m_connectTimeout : m_idleTimeout) + 999) / 1000;
            fail(Failure::Timeout, connecting
                                       ? QStringLiteral("No answer from the server within %1 s.").arg(seconds)
                                       : QStringLiteral("The server sent nothing for %1 s.").arg(seconds));
            // Where the server stands in the conversation is unknown now.
            connectionEnded(m_error);
            break;
        }
        loop.exec();
        if (!*alive)
            return WaitResult::Destroyed;
    }
    m_loop = outerLoop;
    m_idleTimer = outerIdle;
    return result;
}

bool ImapClient::askAbort()
{
    if (!m_callbacks.abortCheck || m_inCallback)
        return false;
    // The callback yields to the event loop; data arriving meanwhile is read later.
    auto check = m_callbacks.abortCheck;
    m_inCallback = true;
    const std::shared_ptr<bool> alive = m_alive;
    const bool abort = check();
    if (*alive)
        m_inCallback = false;
    return abort;
}

} // namespace larkspan
