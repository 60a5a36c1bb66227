#include "support/ImapTranscript.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>

namespace larkspan::test {

struct ImapTranscript::Script {
    QList<QByteArray> lines;
    qsizetype next = 0;
    int chunkSize = 0;
    QList<QByteArray> sent;
    QString mismatch;
    int undelivered = 0; // server events on their way to the client
};

class ImapTranscript::Transport final : public ImapTransport {
public:
    explicit Transport(std::shared_ptr<Script> script) : m_script(std::move(script)) {}

    void open(const QString &, quint16, bool tls) override
    {
        if (clientSent(tls ? "<connect tls>" : "<connect>"))
            succeedUnlessFailed([this] { emit opened(); });
    }

    void startEncryption() override
    {
        if (clientSent("<starttls>"))
            succeedUnlessFailed([this] { emit encrypted(); });
    }

    void write(const QByteArray &bytes) override
    {
        m_written += bytes;
        for (;;) {
            // A literal the client announced is taken whole, line ends and all; its
            // line goes on after it.
            if (m_literalLeft > 0) {
                const qsizetype take = std::min<qsizetype>(m_literalLeft, m_written.size());
                m_line += m_written.left(take);
                m_written.remove(0, take);
                m_literalLeft -= take;
                if (m_literalLeft > 0)
                    return;
            }
            const qsizetype end = m_written.indexOf("\r\n");
            if (end < 0)
                return;
            QByteArray line = m_line + m_written.left(end);
            m_line.clear();
            m_written.remove(0, end + 2);
            m_literalLeft = announcedLiteral(line);
            if (clientSent(line))
                playServer();
        }
    }

    QByteArray readAll() override
    {
        QByteArray out;
        out.swap(m_incoming);
        return out;
    }

    qint64 bytesAvailable() const override { return m_incoming.size(); }

    void close() override
    {
        m_closed = true;
        m_script->undelivered -= int(m_pending.size());
        m_pending.clear();
    }

    ~Transport() override { m_script->undelivered -= int(m_pending.size()); }

private:
    // n for a line that ends in "{n}" or "{n+}", else 0.
    static qsizetype announcedLiteral(const QByteArray &line)
    {
        if (!line.endsWith('}'))
            return 0;
        const qsizetype open = line.lastIndexOf('{');
        QByteArray digits = line.mid(open + 1, line.size() - open - 2);
        if (digits.endsWith('+'))
            digits.chop(1);
        bool ok = false;
        const qsizetype n = digits.toLongLong(&ok);
        return open >= 0 && ok && n > 0 ? n : 0;
    }

    // Matches one line or event of the client against the transcript.
    bool clientSent(const QByteArray &line)
    {
        Script &script = *m_script;
        script.sent.append(line);
        if (m_broken || !script.mismatch.isEmpty())
            return false;
        const QString sent = QStringLiteral("C: ") + QString::fromUtf8(line);
        QString problem;
        if (m_closed)
            problem = QStringLiteral("after closing the connection the client sent: ") + sent;
        else if (script.next >= script.lines.size())
            problem = QStringLiteral("after the end of the transcript the client sent: ") + sent;
        else if (script.lines[script.next] != "C: " + line)
            problem = QStringLiteral("line %1 is \"%2\", but the client sent: %3")
                          .arg(script.next + 1)
                          .arg(QString::fromUtf8(script.lines[script.next]), sent);
        if (!problem.isEmpty()) {
            script.mismatch = problem;
            m_broken = true;
            later([this, reason = script.mismatch] { emit failed(QStringLiteral("Transcript: ") + reason); });
            return false;
        }
        ++script.next;
        return true;
    }

    // A connect or handshake succeeds unless the transcript makes it fail next.
    void succeedUnlessFailed(std::function<void()> success)
    {
        Script &script = *m_script;
        if (script.next >= script.lines.size() || !script.lines[script.next].startsWith("S: <fail "))
            later(std::move(success));
        playServer();
    }

    void playServer()
    {
        Script &script = *m_script;
        while (script.next < script.lines.size() && script.lines[script.next].startsWith("S: ")) {
            const QByteArray payload = script.lines[script.next++].mid(3);
            if (payload == "<close>") {
                later([this] { emit failed(QStringLiteral("The server closed the connection.")); });
            } else if (payload.startsWith("<fail ") && payload.endsWith('>')) {
                const QString reason = QString::fromUtf8(payload.mid(6, payload.size() - 7));
                later([this, reason] { emit failed(reason); });
            } else {
                deliver(payload + "\r\n");
            }
        }
    }

    void deliver(const QByteArray &bytes)
    {
        const qsizetype step = m_script->chunkSize > 0 ? m_script->chunkSize : bytes.size();
        for (qsizetype at = 0; at < bytes.size(); at += step) {
            later([this, chunk = bytes.mid(at, step)] {
                m_incoming += chunk;
                // As QAbstractSocket: no readyRead while its handler still runs.
                if (m_inReadyRead)
                    return;
                m_inReadyRead = true;
                const QPointer<Transport> alive(this);
                emit readyRead();
                if (alive)
                    m_inReadyRead = false;
            });
        }
    }

    // As from a socket: never inside the client's own call, one event a turn of the
    // event loop (what the client does between two reads happens between them), and
    // nothing once closed.
    void later(std::function<void()> action)
    {
        m_pending.push_back(std::move(action));
        ++m_script->undelivered;
        if (m_pending.size() == 1)
            scheduleNext();
    }

    void scheduleNext()
    {
        QTimer::singleShot(0, this, [this] {
            if (m_closed) {
                m_script->undelivered -= int(m_pending.size());
                m_pending.clear();
                return;
            }
            std::function<void()> action = std::move(m_pending.front());
            m_pending.pop_front();
            --m_script->undelivered;
            // Scheduled before the action runs: the client may close this transport in it.
            if (!m_pending.empty())
                scheduleNext();
            action();
        });
    }

    std::shared_ptr<Script> m_script;
    QByteArray m_written;
    QByteArray m_line;
    qsizetype m_literalLeft = 0;
    QByteArray m_incoming;
    std::deque<std::function<void()>> m_pending;
    bool m_closed = false;
    bool m_broken = false;
    bool m_inReadyRead = false;
};

ImapTranscript::ImapTranscript(QList<QByteArray> lines) : m_script(std::make_shared<Script>())
{
    m_script->lines = std::move(lines);
}

ImapTransportFactory ImapTranscript::factory()
{
    return [script = m_script]() -> std::unique_ptr<ImapTransport> { return std::make_unique<Transport>(script); };
}

void ImapTranscript::setChunkSize(int octets)
{
    m_script->chunkSize = octets;
}

QString ImapTranscript::verdict() const
{
    if (!m_script->mismatch.isEmpty())
        return m_script->mismatch;
    if (m_script->next < m_script->lines.size()) {
        return QStringLiteral("the conversation stopped before line %1: %2")
            .arg(m_script->next + 1)
            .arg(QString::fromUtf8(m_script->lines[m_script->next]));
    }
    return QString();
}

bool ImapTranscript::delivered() const
{
    return m_script->next >= m_script->lines.size() && m_script->undelivered == 0;
}

QList<QByteArray> ImapTranscript::clientLines() const
{
    return m_script->sent;
}

} // namespace larkspan::test
