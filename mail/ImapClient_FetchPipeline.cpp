// Fetching whole messages. Within a walk, fetches of the numbers to come are sent
// ahead in batches, so the walk costs no round trip per message; an answer goes to
// the oldest fetch of its number still waiting for one.

#include "mail/ImapClient.h"

#include <algorithm>

namespace larkspan {

// The message's FETCH response came in full; only a NO or BAD after it can spoil it.
bool ImapClient::arrivedWhole(const ImapCommand &command)
{
    return command.haveBody && (!command.done || command.ok);
}

ImapClient::CommandPtr ImapClient::issueFetch(int number, bool byUid)
{
    const QByteArray verb = byUid ? "UID FETCH " : "FETCH ";
    CommandPtr command =
        issue(ImapCommandKind::Fetch, {verb + QByteArray::number(number) + " (UID INTERNALDATE BODY.PEEK[])\r\n"});
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
        fail(Failure::MessageMissing,
             QStringLiteral("%1 failed: the server completed the fetch without sending the message.").arg(what));
        return nullptr;
    }
    std::unique_ptr<MailMessage> message = MailMessage::fromBytes(command->body, command->internalDate);
    message->setUid(command->uid);
    m_failure = Failure::None;
    m_error = QStringLiteral("%1: %2 bytes received.").arg(what).arg(command->body.size());
    return message;
}

} // namespace larkspan
