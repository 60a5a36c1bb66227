#include "mail/ImapClient.h"

#include "platform/core/Logging.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace larkspan {

using imap::Response;
using imap::Value;
using imap::ValueCursor;

namespace {
enum Kind { Plain, Raw, Login, Select, List, Fetch, Logout };
} // namespace

struct ImapClient::Command {
    int kind = Plain;
    QByteArray tag;
    QList<QByteArray> pieces; // after each but the last, the server must say "+"
    int sent = 0;
    bool done = false;
    bool ok = false;
    QByteArray status;     // OK, NO or BAD
    QByteArray statusText; // the rest of the tagged line
    QByteArray rawText;    // every response while it ran (raw commands)
    QStringList folders;   // LIST
    int number = 0;        // FETCH
    bool byUid = false;
    bool wanted = true;    // a fetch sent ahead that nobody will ask for any more
    bool haveBody = false;
    QByteArray body;
    QByteArray internalDate;
    qint64 uid = -1;
};

ImapClient::ImapClient(QObject *parent)
    : QObject(parent), m_factory(&CreateSocketTransport), m_alive(std::make_shared<bool>(true))
{
}

// The message's FETCH response came in full; only a NO or BAD after it can spoil it.
bool ImapClient::arrivedWhole(const Command &command)
{
    return command.haveBody && (!command.done || command.ok);
}

ImapClient::~ImapClient()
{
    *m_alive = false;
    if (m_loop)
        m_loop->quit();
    closeTransport();
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

QString ImapClient::serverSaid(const Command &command) const
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

namespace {
// Ends the operation on every way out of it.
struct OperationScope {
    std::shared_ptr<bool> alive;
    bool *busy;
    ~OperationScope()
    {
        if (*alive)
            *busy = false;
    }
};
} // namespace

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

void ImapClient::closeTransport()
{
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
    m_capabilities.reset();
    setState(State::Disconnected);

    if (m_port <= 0 || m_port > 65535) {
        fail(Failure::BadArgument, QStringLiteral("Port %1 is not a valid port.").arg(m_port));
        return false;
    }
    m_transport = m_factory();
    connect(m_transport.get(), &ImapTransport::opened, this, &ImapClient::onOpened);
    connect(m_transport.get(), &ImapTransport::readyRead, this, &ImapClient::onReadyRead);
    connect(m_transport.get(), &ImapTransport::failed, this, &ImapClient::onTransportFailed);
    setState(State::Connecting);
    qCDebug(lcImap).noquote() << "connecting to" << host << m_port << (m_ssl ? "with TLS" : "without TLS");
    m_transport->open(host, quint16(m_port), m_ssl);

    const WaitResult result = waitFor([this] { return int(m_state) >= int(State::NotAuthenticated); }, true);
    if (result == WaitResult::Destroyed)
        return false;
    if (result == WaitResult::Done)
        return true;
    if (m_failure == Failure::ConnectionLost) {
        const bool tls = m_endReason.startsWith(QLatin1String("TLS")) ||
                         m_endReason.startsWith(QLatin1String("The server's certificate"));
        m_failure = tls ? Failure::Tls : Failure::Connect;
        m_error = m_endReason;
    }
    if (m_failure != Failure::Tls && m_failure != Failure::Connect)
        m_error = QStringLiteral("Connecting to %1:%2 failed: %3").arg(host).arg(m_port).arg(m_error);
    closeTransport();
    setState(State::Disconnected);
    return false;
}

ImapClient::CommandPtr ImapClient::issue(int kind, QList<QByteArray> pieces)
{
    auto command = std::make_shared<Command>();
    command->kind = kind;
    command->tag = "a" + QByteArray::number(++m_nextTag);
    pieces.first().prepend(command->tag + ' ');
    command->pieces = std::move(pieces);
    m_outstanding[command->tag] = command;
    if (m_awaitingContinuation)
        m_sendQueue.push_back(command);
    else
        sendNext(command);
    return command;
}

void ImapClient::sendNext(const CommandPtr &command)
{
    if (!m_transport || command->sent >= command->pieces.size())
        return;
    const QByteArray &piece = command->pieces[command->sent++];
    m_transport->write(piece);
    m_awaitingContinuation = command->sent < command->pieces.size() ? command : nullptr;
    if (lcImapWire().isDebugEnabled()) {
        // Sign-in commands show their verb only: the credentials never reach a log.
        QString shown = scrub(QString::fromUtf8(piece).trimmed());
        if (command->kind == Login)
            shown = command->sent == 1 ? shown.section(QLatin1Char(' '), 0, 2) + QStringLiteral(" ********")
                                       : QStringLiteral("********");
        qCDebug(lcImapWire).noquote() << "C:" << shown;
    }
}

void ImapClient::flushQueue()
{
    while (!m_awaitingContinuation && !m_sendQueue.empty()) {
        CommandPtr next = m_sendQueue.front();
        m_sendQueue.pop_front();
        sendNext(next);
    }
}

ImapClient::CommandPtr ImapClient::execute(int kind, QList<QByteArray> pieces, const QString &what)
{
    CommandPtr command = issue(kind, std::move(pieces));
    const WaitResult result = waitFor([&command] { return command->done; }, false);
    if (result == WaitResult::Destroyed)
        return nullptr;
    if (result == WaitResult::Failed) {
        m_error = QStringLiteral("%1 failed: %2").arg(what, m_error);
        qCDebug(lcImap).noquote() << m_error;
        return nullptr;
    }
    if (!command->ok) {
        fail(Failure::ServerRefused, QStringLiteral("%1 failed: %2").arg(what, serverSaid(*command)));
        qCDebug(lcImap).noquote() << m_error;
    }
    return command;
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
            const int seconds = (connecting ? m_connectTimeout : m_idleTimeout) / 1000;
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

void ImapClient::reportProgress()
{
    if (!m_awaitedFetch || !m_callbacks.percentDone || m_inCallback)
        return;
    int percent = -1;
    if (m_awaitedFetch->done) {
        percent = 100;
    } else if (m_reader.inLiteral() && m_reader.literalSize() > 0) {
        qint64 number = 0;
        QByteArray name;
        qsizetype after = 0;
        const QByteArray first = m_reader.pendingFirstLine();
        if (first.startsWith("* ") && imap::ParseNumbered(first.mid(2), &number, &name, &after) &&
            name == "FETCH" && number == m_awaitedFetch->number && !m_awaitedFetch->byUid)
            percent = int(m_reader.literalReceived() * 100 / m_reader.literalSize());
    }
    if (percent < 0 || percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    auto callback = m_callbacks.percentDone;
    m_inCallback = true;
    const std::shared_ptr<bool> alive = m_alive;
    callback(percent);
    if (*alive)
        m_inCallback = false;
}

void ImapClient::onOpened()
{
    if (m_state == State::Connecting)
        setState(State::Greeting);
}

void ImapClient::onReadyRead()
{
    if (m_inRead) {
        m_readPending = true;
        return;
    }
    const std::shared_ptr<bool> alive = m_alive;
    m_inRead = true;
    do {
        m_readPending = false;
        if (!m_transport)
            break;
        // Nothing a server sends may end the program: whatever fails here ends the
        // connection instead, with the reason for the waiting operation.
        QString broken;
        try {
            m_reader.feed(m_transport->readAll());
            while (m_transport) {
                std::optional<Response> response = m_reader.next();
                if (!response)
                    break;
                handle(*response);
            }
            broken = m_reader.overflowText();
        } catch (const std::bad_alloc &) {
            broken = QStringLiteral("There was not enough memory for what the server sent.");
        } catch (const std::exception &error) {
            broken = QStringLiteral("The server's answer could not be read: %1").arg(QString::fromLocal8Bit(error.what()));
        }
        if (!broken.isEmpty() && m_transport) {
            connectionEnded(broken);
            break;
        }
        if (m_idleTimer)
            m_idleTimer->start();
        if (m_loop) {
            reportProgress();
            if (!*alive)
                return;
            if (askAbort())
                m_abortRequested = true;
            if (!*alive)
                return;
            if (m_loop)
                m_loop->quit();
        }
    } while (m_readPending);
    m_inRead = false;
}

void ImapClient::onTransportFailed(const QString &reason)
{
    // Whatever arrived before the end still counts.
    if (m_transport && !m_inRead)
        onReadyRead();
    if (m_state == State::LoggingOut) {
        connectionEnded(QStringLiteral("Logged out."));
        return;
    }
    connectionEnded(reason);
}

void ImapClient::logReceived(const Response &response) const
{
    for (qsizetype i = 0; i < response.lines.size(); ++i) {
        QString line = scrub(QString::fromUtf8(response.lines[i]));
        if (i < response.literals.size())
            line += QStringLiteral(" <%1 octets>").arg(response.literals[i].size());
        qCDebug(lcImapWire).noquote() << "S:" << line;
    }
}

void ImapClient::handle(const Response &response)
{
    if (lcImapWire().isDebugEnabled())
        logReceived(response);
    const QByteArray tag = response.tag();
    if (tag != "+")
        noteCapabilities(response.rest());
    if (m_state == State::Greeting) {
        const QByteArray rest = response.rest();
        if (tag == "*" && rest.startsWith("OK"))
            setState(State::NotAuthenticated);
        else if (tag == "*" && rest.startsWith("PREAUTH"))
            setState(State::Authenticated);
        else {
            m_byeText = rest;
            connectionEnded(QStringLiteral("The server refused the connection."));
        }
        return;
    }
    if (tag == "+") {
        if (m_awaitingContinuation) {
            CommandPtr command = m_awaitingContinuation;
            sendNext(command);
            flushQueue();
        }
        return;
    }
    for (auto &[key, command] : m_outstanding) {
        // Only its being non-empty matters to the caller; a chatty server is cut short.
        if (command->kind == Raw && command->rawText.size() < imap::kLongestLine)
            command->rawText += response.text();
    }
    if (tag == "*") {
        handleUntagged(response);
        return;
    }
    const auto found = m_outstanding.find(tag);
    if (found == m_outstanding.end())
        return;
    CommandPtr command = found->second;
    m_outstanding.erase(found);
    const QByteArray rest = response.rest();
    const qsizetype space = rest.indexOf(' ');
    command->status = (space < 0 ? rest : rest.left(space)).toUpper();
    command->statusText = space < 0 ? QByteArray() : rest.mid(space + 1);
    command->ok = command->status == "OK";
    command->done = true;
    if (m_awaitingContinuation == command) {
        // Refused before its literal was sent.
        m_awaitingContinuation.reset();
        flushQueue();
    }
    switch (command->kind) {
    case Login:
        if (command->ok)
            setState(State::Authenticated);
        break;
    case Select:
        setState(command->ok ? State::Selected : State::Authenticated);
        break;
    case Fetch:
        for (auto it = m_fetchOrder.begin(); it != m_fetchOrder.end(); ++it) {
            if (*it == command) {
                m_fetchOrder.erase(it);
                break;
            }
        }
        break;
    default:
        break;
    }
}

void ImapClient::handleUntagged(const Response &response)
{
    const QByteArray rest = response.rest();
    qint64 number = 0;
    QByteArray name;
    qsizetype after = 0;
    if (!rest.isEmpty() && rest.at(0) >= '0' && rest.at(0) <= '9') {
        if (!imap::ParseNumbered(rest, &number, &name, &after))
            return;
        if (name == "EXISTS")
            m_exists = int(std::clamp<qint64>(number, 0, INT_MAX));
        else if (name == "EXPUNGE" && m_exists > 0)
            --m_exists;
        else if (name == "FETCH")
            handleFetchData(number, response, after);
        return;
    }
    const qsizetype space = rest.indexOf(' ');
    const QByteArray word = (space < 0 ? rest : rest.left(space)).toUpper();
    if (word == "BYE") {
        m_byeText = space < 0 ? QByteArray() : rest.mid(space + 1);
    } else if (word == "OK" && rest.mid(space + 1).toUpper().startsWith("[UIDVALIDITY ")) {
        // * OK [UIDVALIDITY 3857529045] UIDs valid
        const QByteArray code = rest.mid(space + 1 + 13);
        const qsizetype end = code.indexOf(']');
        bool ok = false;
        const qint64 value = end > 0 ? code.left(end).trimmed().toLongLong(&ok) : 0;
        m_uidValidity = ok && value > 0 && value <= 0xffffffffLL ? quint32(value) : 0;
    } else if (word == "LIST") {
        // * LIST (flags) delimiter name
        const qsizetype offset = response.lines.first().indexOf(' ') + 1 + space;
        ValueCursor cursor(response, 0, offset);
        const auto flags = cursor.next();
        const auto delimiter = cursor.next();
        const auto mailbox = cursor.next();
        if (!flags || !delimiter || !mailbox || mailbox->isNil())
            return;
        for (auto &[key, command] : m_outstanding) {
            if (command->kind == List)
                command->folders.append(imap::DecodeMailboxName(mailbox->bytes));
        }
    }
}

void ImapClient::handleFetchData(qint64 number, const Response &response, qsizetype offset)
{
    const qsizetype start = response.lines.first().indexOf(' ') + 1 + offset;
    ValueCursor cursor(response, 0, start);
    const auto items = cursor.next();
    if (!items || items->kind != Value::List)
        return;
    const QList<Value> &list = items->items;
    const Value *body = nullptr;
    const Value *internalDate = nullptr;
    qint64 uid = -1;
    for (qsizetype i = 0; i + 1 < list.size(); i += 2) {
        const QByteArray key = list[i].bytes.toUpper();
        if (key == "BODY[]" || key == "RFC822")
            body = &list[i + 1];
        else if (key == "INTERNALDATE")
            internalDate = &list[i + 1];
        else if (key == "UID")
            uid = list[i + 1].bytes.toLongLong();
    }
    if (!body)
        return;
    // Answers come in the order the fetches were sent: the oldest one still waiting
    // for this message gets it.
    for (const CommandPtr &command : m_fetchOrder) {
        if (command->haveBody)
            continue;
        if ((command->byUid && command->number == uid) || (!command->byUid && command->number == number)) {
            command->haveBody = true;
            if (command->wanted) {
                command->body = body->bytes;
                command->uid = uid;
                if (internalDate)
                    command->internalDate = internalDate->bytes;
            }
            return;
        }
    }
}

QString ImapClient::sendRawCommand(const QString &text)
{
    if (!beginOperation())
        return QString();
    OperationScope scope{m_alive, &m_busy};
    if (!requireState(State::NotAuthenticated, QStringLiteral("Sending a command")))
        return QString();
    const QByteArray line = text.toUtf8();
    if (line.contains('\r') || line.contains('\n') || line.contains('\0') || line.trimmed().isEmpty()) {
        fail(Failure::BadArgument, QStringLiteral("A command must be one non-empty line."));
        return QString();
    }
    const CommandPtr command = execute(Raw, {line + "\r\n"}, QStringLiteral("Command \"%1\"").arg(text));
    return command ? QString::fromUtf8(command->rawText) : QString();
}

void ImapClient::noteCapabilities(const QByteArray &rest)
{
    // "CAPABILITY a b c" as an untagged response, or "OK [CAPABILITY a b c] text".
    QByteArray list;
    if (rest.startsWith("CAPABILITY ") || rest == "CAPABILITY")
        list = rest.mid(11);
    else if (const qsizetype at = rest.indexOf("[CAPABILITY "); at >= 0 && at < 8)
        list = rest.mid(at + 12, rest.indexOf(']', at) - at - 12);
    else
        return;
    QSet<QByteArray> names;
    for (const QByteArray &name : list.split(' '))
        if (!name.isEmpty())
            names.insert(name.toUpper());
    m_capabilities = names;
}

bool ImapClient::login(const QString &user, const QString &password)
{
    if (!beginOperation())
        return false;
    OperationScope scope{m_alive, &m_busy};
    m_password = password;
    m_credentials.clear();
    if (!requireState(State::NotAuthenticated, QStringLiteral("Login")))
        return false;
    if (user.contains(QChar(0)) || password.contains(QChar(0))) {
        fail(Failure::BadArgument, QStringLiteral("Login failed: the user name or password holds a NUL character."));
        return false;
    }
    // A server that did not say what it can do in its greeting is asked.
    if (!m_capabilities && !execute(Plain, {"CAPABILITY\r\n"}, QStringLiteral("Login")))
        return false;

    QList<QByteArray> pieces;
    if (m_capabilities && m_capabilities->contains("AUTH=PLAIN")) {
        // SASL PLAIN carries any password in one base64 line, where LOGIN meets the
        // line limits some servers keep before login.
        const QByteArray encoded = (QByteArray(1, '\0') + user.toUtf8() + '\0' + password.toUtf8()).toBase64();
        m_credentials = QString::fromLatin1(encoded);
        if (m_capabilities->contains("SASL-IR"))
            pieces = {"AUTHENTICATE PLAIN " + encoded + "\r\n"};
        else
            pieces = {"AUTHENTICATE PLAIN\r\n", encoded + "\r\n"};
    } else {
        pieces = *imap::CommandWithArguments("LOGIN", {user.toUtf8(), password.toUtf8()});
    }
    const CommandPtr command = execute(Login, pieces, QStringLiteral("Login"));
    return command && command->ok;
}

bool ImapClient::selectMailbox(const QString &name)
{
    if (!beginOperation())
        return false;
    OperationScope scope{m_alive, &m_busy};
    const QString what = QStringLiteral("Selecting folder \"%1\"").arg(name);
    if (!requireState(State::Authenticated, what))
        return false;
    const auto pieces = imap::CommandWithArguments("SELECT", {imap::EncodeMailboxName(name)});
    if (!pieces) {
        fail(Failure::BadArgument, what + QStringLiteral(" failed: the name holds a NUL character."));
        return false;
    }
    // Numbers sent ahead belong to the folder that was selected before.
    dropPipeline();
    m_exists = 0;
    m_uidValidity = 0;
    const CommandPtr command = execute(Select, *pieces, what);
    if (!command)
        return false;
    if (!command->ok)
        m_exists = 0;
    return command->ok;
}

std::optional<QStringList> ImapClient::listMailboxes(const QString &reference, const QString &pattern)
{
    if (!beginOperation())
        return std::nullopt;
    OperationScope scope{m_alive, &m_busy};
    if (!requireState(State::Authenticated, QStringLiteral("Listing folders")))
        return std::nullopt;
    const auto pieces =
        imap::CommandWithArguments("LIST", {imap::EncodeMailboxName(reference), imap::EncodeMailboxName(pattern)});
    if (!pieces) {
        fail(Failure::BadArgument, QStringLiteral("Listing folders failed: the reference or pattern holds a NUL character."));
        return std::nullopt;
    }
    const CommandPtr command = execute(List, *pieces, QStringLiteral("Listing folders"));
    if (!command || !command->ok)
        return std::nullopt;
    return command->folders;
}

ImapClient::CommandPtr ImapClient::issueFetch(int number, bool byUid)
{
    const QByteArray verb = byUid ? "UID FETCH " : "FETCH ";
    CommandPtr command = issue(Fetch, {verb + QByteArray::number(number) + " (UID INTERNALDATE BODY.PEEK[])\r\n"});
    command->number = number;
    command->byUid = byUid;
    m_fetchOrder.push_back(command);
    return command;
}

void ImapClient::setPipelineEnd(int lastNumber)
{
    if (lastNumber <= 0) {
        dropPipeline();
        m_pipelineEnd = 0;
        return;
    }
    m_pipelineEnd = lastNumber;
}

void ImapClient::dropPipeline()
{
    for (auto &[number, command] : m_ahead) {
        command->wanted = false;
        command->body.clear();
    }
    m_ahead.clear();
    m_nextAhead = 0;
}

void ImapClient::topUpPipeline(int from)
{
    if (m_pipelineEnd <= 0 || m_window <= 1 || !m_transport)
        return;
    m_nextAhead = std::max(m_nextAhead, from);
    // Refilled in batches, not one command a message: the batch leaves in one TLS
    // record and the server answers it in one go, which costs both ends far fewer
    // wake-ups than a trickle of single commands.
    if (int(m_ahead.size()) > (m_window - 1) / 2)
        return;
    while (m_nextAhead <= m_pipelineEnd && int(m_ahead.size()) < m_window - 1) {
        m_ahead[m_nextAhead] = issueFetch(m_nextAhead, false);
        ++m_nextAhead;
    }
}

std::unique_ptr<MailMessage> ImapClient::fetchSingle(int number, bool byUid)
{
    if (!beginOperation())
        return nullptr;
    OperationScope scope{m_alive, &m_busy};
    const QString what = QStringLiteral("Fetching message %1").arg(number);
    CommandPtr command;
    if (!byUid) {
        // Messages sent ahead below this number will never be asked for.
        while (!m_ahead.empty() && m_ahead.begin()->first < number) {
            m_ahead.begin()->second->wanted = false;
            m_ahead.begin()->second->body.clear();
            m_ahead.erase(m_ahead.begin());
        }
        const auto found = m_ahead.find(number);
        if (found != m_ahead.end()) {
            command = found->second;
            m_ahead.erase(found);
        }
    }
    if (!(command && (command->done || arrivedWhole(*command))) && !requireState(State::Selected, what))
        return nullptr;
    if (!command)
        command = issueFetch(number, byUid);
    if (!byUid)
        topUpPipeline(number + 1);

    m_awaitedFetch = command;
    m_lastPercent = -1;
    const WaitResult result = waitFor([&command] { return command->done; }, false);
    if (result == WaitResult::Destroyed)
        return nullptr;
    if (result == WaitResult::Done && m_lastPercent != 100)
        reportProgress();
    if (!*m_alive)
        return nullptr;
    m_awaitedFetch.reset();
    const bool lostAfterArrival = result == WaitResult::Failed && m_state == State::Disconnected &&
                                  command->wanted && arrivedWhole(*command);
    if (!lostAfterArrival && (result == WaitResult::Failed || !command->done)) {
        // The server will still answer; nobody wants that answer any more.
        command->wanted = false;
        m_error = QStringLiteral("%1 failed: %2").arg(what, m_error);
        return nullptr;
    }
    if (command->done && !command->ok) {
        fail(Failure::ServerRefused, QStringLiteral("%1 failed: %2").arg(what, serverSaid(*command)));
        return nullptr;
    }
    if (!command->haveBody) {
        fail(Failure::ServerRefused, QStringLiteral("%1 failed: the server sent no message.").arg(what));
        return nullptr;
    }
    std::unique_ptr<MailMessage> message = MailMessage::fromBytes(command->body, command->internalDate);
    message->setUid(command->uid);
    m_failure = Failure::None;
    m_error = QStringLiteral("%1: %2 bytes received.").arg(what).arg(command->body.size());
    return message;
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
    CommandPtr command = issue(Logout, {"LOGOUT\r\n"});
    const WaitResult result = waitFor([&command, this] { return command->done || m_state == State::Disconnected; }, false);
    if (result == WaitResult::Destroyed)
        return;
    forgetConversation();
    setState(State::Disconnected);
}

} // namespace larkspan
