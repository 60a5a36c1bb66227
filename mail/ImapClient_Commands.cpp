// Sending commands: tags, pieces that wait for the server's "+", the wire log, and
// the operations that are one command each.

#include "mail/ImapClient.h"

#include "platform/core/Logging.h"

namespace larkspan {

ImapClient::CommandPtr ImapClient::issue(ImapCommandKind kind, QList<QByteArray> pieces)
{
    auto command = std::make_shared<ImapCommand>();
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
        if (command->kind == ImapCommandKind::Login)
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

ImapClient::CommandPtr ImapClient::execute(ImapCommandKind kind, QList<QByteArray> pieces, const QString &what)
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
    const CommandPtr command =
        execute(ImapCommandKind::Raw, {line + "\r\n"}, QStringLiteral("Command \"%1\"").arg(text));
    return command ? QString::fromUtf8(command->rawText) : QString();
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
    if (m_ssl && !m_encrypted) {
        fail(Failure::Tls, QStringLiteral("Login refused: the connection is not encrypted, and the password is "
                                          "only ever sent encrypted."));
        return false;
    }
    if (user.contains(QChar(0)) || password.contains(QChar(0))) {
        fail(Failure::BadArgument, QStringLiteral("Login failed: the user name or password holds a NUL character."));
        return false;
    }
    // A server that did not say what it can do in its greeting is asked.
    if (!m_capabilities && !execute(ImapCommandKind::Plain, {"CAPABILITY\r\n"}, QStringLiteral("Login")))
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
    const CommandPtr command = execute(ImapCommandKind::Login, pieces, QStringLiteral("Login"));
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
    const CommandPtr command = execute(ImapCommandKind::Select, *pieces, what);
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
    const CommandPtr command = execute(ImapCommandKind::List, *pieces, QStringLiteral("Listing folders"));
    if (!command || !command->ok)
        return std::nullopt;
    return command->folders;
}

} // namespace larkspan
