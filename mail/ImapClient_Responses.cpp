// Reading what the server sends: responses out of the byte stream, each handed to
// the command it belongs to or noted as the folder's state.

#include "mail/ImapClient.h"

#include "platform/core/Logging.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <utility>

namespace larkspan {

using imap::Response;
using imap::Value;
using imap::ValueCursor;

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
                if (m_upgradeDue) {
                    // Bytes behind the OK to STARTTLS were sent before encryption and
                    // would be read as if they came through it.
                    if (m_reader.holdsUnread())
                        broken = QStringLiteral("The server sent more after agreeing to STARTTLS; the connection "
                                                "was ended because what follows cannot be trusted.");
                    break;
                }
                std::optional<Response> response = m_reader.next();
                if (!response)
                    break;
                handle(*response);
            }
            if (broken.isEmpty())
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
        // The callbacks let the event loop run: what arrived meanwhile raised no
        // readyRead of its own.
    } while (m_readPending || (m_transport && m_transport->bytesAvailable() > 0));
    m_inRead = false;
    if (!m_transportEnd.isEmpty() && m_transport) {
        const QString reason = std::exchange(m_transportEnd, QString());
        connectionEnded(m_state == State::LoggingOut ? QStringLiteral("Logged out.") : reason);
    }
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
        if (command->kind == ImapCommandKind::Raw && command->rawText.size() < imap::kLongestLine)
            command->rawText += response.text();
    }
    if (tag == "*")
        handleUntagged(response);
    else
        handleTagged(tag, response);
}

void ImapClient::handleTagged(const QByteArray &tag, const Response &response)
{
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
    case ImapCommandKind::StartTls:
        m_upgradeDue = command->ok;
        break;
    case ImapCommandKind::Login:
        if (command->ok)
            setState(State::Authenticated);
        break;
    case ImapCommandKind::Select:
        setState(command->ok ? State::Selected : State::Authenticated);
        break;
    case ImapCommandKind::Fetch:
        for (auto it = m_fetchOrder.begin(); it != m_fetchOrder.end(); ++it) {
            if (*it == command) {
                m_fetchOrder.erase(it);
                break;
            }
        }
        break;
    case ImapCommandKind::Plain:
    case ImapCommandKind::Raw:
    case ImapCommandKind::List:
    case ImapCommandKind::Logout:
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
            if (command->kind == ImapCommandKind::List)
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
    // A NIL body is no message: the fetch then ends without one, and says so.
    if (!body || body->isNil())
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

} // namespace larkspan
