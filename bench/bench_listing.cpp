// Lists a folder of 2,000 mixed messages from a local Dovecot over TLS through the
// mail session, once direct and twice through a loopback relay that delays each
// direction by 5 ms: with fetches pipelined, and with one round trip per message.
// Also runs Python's imaplib on the direct connection as references, when python3 is
// there: one fetch per round trip, and the whole folder in one FETCH 1:*.
//
// usage: bench_listing [--messages N] [--no-python] [--direct-only]
//        (--direct-only skips the relay runs, for profiling the listing itself)
// LARKSPAN_PERF_CONTROL=<fifo> switches a `perf record --control fifo:<fifo> -D -1` on
// for the counted direct listing only.
// Last line: listing: direct <n> msg/s, relay <n> msg/s, relay speed-up <r>x,
//            imaplib one-by-one <n> msg/s, imaplib bulk <n> msg/s

#include "PerfControl.h"
#include "mail/ImapClient.h"
#include "mail/clsChilkatIMAP.h"
#include "support/DovecotFixture.h"
#include "support/RecordingDialogs.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <deque>
#include <future>

using namespace larkspan;

namespace {

// ---- test mail -------------------------------------------------------------

QByteArray Filler(QRandomGenerator &random, qsizetype bytes)
{
    static const char *words[] = {"quarterly", "figures", "meeting", "Larkspan", "invoice", "delivery", "schedule",
                                  "report", "the", "and", "of", "to", "in", "for", "Grüße", "naïve", "café"};
    QByteArray out;
    out.reserve(bytes + 80);
    qsizetype column = 0;
    while (out.size() < bytes) {
        const QByteArray word = words[random.bounded(int(std::size(words)))];
        out += word;
        column += word.size() + 1;
        if (column > 70) {
            out += "\r\n";
            column = 0;
        } else {
            out += ' ';
        }
    }
    return out;
}

QByteArray MakeMessage(int n, QRandomGenerator &random, bool bigAttachment)
{
    const qsizetype size = 1024 + random.bounded(59 * 1024);
    const int kind = random.bounded(3);
    QByteArray m = "From: Sender " + QByteArray::number(n) + " <sender" + QByteArray::number(n % 97) +
                   "@example.org>\r\nTo: larkspan@example.org\r\nSubject: =?UTF-8?Q?Benchmark_message_" +
                   QByteArray::number(n) + "_=E2=80=93_gr=C3=BC=C3=9Fe?=\r\nDate: Mon, 02 Mar 2026 " +
                   QByteArray::number(10 + n % 12) + ":" + QByteArray::number(10 + n % 50) +
                   ":00 +0000\r\nMessage-ID: <bench" + QByteArray::number(n) + "@larkspan.test>\r\nMIME-Version: 1.0\r\n";
    const QByteArray text = Filler(random, size);
    QByteArray body;
    if (kind == 0) {
        body = "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + text;
    } else if (kind == 1) {
        body = "Content-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n<html><body><p>" +
               text.toPercentEncoding(" \r\n<>/", {}, '=') + "</p></body></html>\r\n";
    } else {
        body = "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\nContent-Type: text/plain; "
               "charset=utf-8\r\n\r\n" +
               text.left(text.size() / 2) + "\r\n--alt\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<p>" +
               text.mid(text.size() / 2) + "</p>\r\n--alt--\r\n";
    }
    if (!bigAttachment)
        return m + body;
    QByteArray blob(500 * 1024, Qt::Uninitialized);
    for (char &c : blob)
        c = char(random.bounded(256));
    QByteArray encoded = blob.toBase64();
    QByteArray wrapped;
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        wrapped += encoded.mid(i, 76) + "\r\n";
    return m + "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n--mix\r\n" + body +
           "\r\n--mix\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\nContent-Disposition: attachment; "
           "filename=\"data.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           wrapped + "--mix--\r\n";
}

// ---- loopback relay with a fixed delay per direction -------------------------

class DelayRelay : public QThread {
public:
    DelayRelay(quint16 target, int delayMs) : m_target(target), m_delay(delayMs) {}
    ~DelayRelay() override
    {
        quit();
        wait();
    }
    quint16 listen()
    {
        start();
        return m_port.get_future().get();
    }

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            while (QTcpSocket *client = server.nextPendingConnection()) {
                auto *upstream = new QTcpSocket(client);
                upstream->connectToHost(QHostAddress::LocalHost, m_target);
                new Direction(client, upstream, m_delay);
                new Direction(upstream, client, m_delay);
            }
        });
        m_port.set_value(server.serverPort());
        exec();
    }

private:
    // Everything read from one side is written to the other m_delay ms later.
    class Direction : public QObject {
    public:
        Direction(QTcpSocket *from, QTcpSocket *to, int delay) : QObject(from), m_from(from), m_to(to), m_delay(delay)
        {
            m_clock.start();
            m_timer.setSingleShot(true);
            m_timer.setTimerType(Qt::PreciseTimer);
            connect(&m_timer, &QTimer::timeout, this, &Direction::flush);
            connect(from, &QTcpSocket::readyRead, this, [this] {
                m_queue.push_back({m_clock.elapsed() + m_delay, m_from->readAll()});
                if (!m_timer.isActive())
                    m_timer.start(m_delay);
            });
            connect(from, &QTcpSocket::disconnected, this, [this] {
                m_closing = true;
                if (m_queue.empty())
                    m_to->disconnectFromHost();
            });
        }

    private:
        void flush()
        {
            const qint64 now = m_clock.elapsed();
            while (!m_queue.empty() && m_queue.front().first <= now) {
                // The other side may still be connecting; QTcpSocket buffers until then.
                m_to->write(m_queue.front().second);
                m_queue.pop_front();
            }
            if (!m_queue.empty())
                m_timer.start(int(std::max<qint64>(1, m_queue.front().first - now)));
            else if (m_closing)
                m_to->disconnectFromHost();
        }

        QTcpSocket *m_from;
        QTcpSocket *m_to;
        int m_delay;
        QElapsedTimer m_clock;
        QTimer m_timer;
        std::deque<std::pair<qint64, QByteArray>> m_queue;
        bool m_closing = false;
    };

    quint16 m_target;
    int m_delay;
    std::promise<quint16> m_port;
};

// ---- one listing through the session -----------------------------------------

struct Run {
    int messages = 0;
    double seconds = 0;
    qint64 textBytes = 0;
};

// window 0: the client's own.
Run ListFolder(const test::DovecotFixture &server, quint16 port, int count, int window)
{
    ImapClient client;
    if (window > 0)
        client.setPipelineWindow(window);
    auto session = std::make_shared<clsChilkatIMAP>();
    session->ChilkatIMAPObject = &client;
    session->SSL = true;
    session->PORT = port;
    session->IMAPServer = server.host();
    session->Username = server.user();
    session->Password = server.password();
    session->CurrentLocation = 1;
    session->MaxRecord = count;
    Run run;
    QObject::connect(session.get(), &clsChilkatIMAP::MailExtractListing,
                     [&run](QString a, QString b, QString c, QString d, QString e, QString f, QString g, int) {
                         ++run.messages;
                         run.textBytes += a.size() + b.size() + c.size() + d.size() + e.size() + f.size() + g.size();
                     });
    QElapsedTimer clock;
    clock.start();
    session->StartMailExtraction(QStringLiteral("Bench"));
    run.seconds = clock.nsecsElapsed() / 1e9;
    client.disconnectFromServer();
    return run;
}

void Print(const char *label, const Run &run, qint64 folderBytes, int count)
{
    std::printf("%-28s %5d messages in %7.2f s: %7.0f msg/s, %6.1f MB/s\n", label, run.messages, run.seconds,
                run.messages / run.seconds, folderBytes * (double(run.messages) / count) / run.seconds / 1e6);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    test::PrepareTestEnvironment();
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    test::InstallRecordingDialogs();

    int count = 2000;
    bool python = true;
    bool relayRuns = true;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--messages") && i + 1 < args.size())
            count = args[++i].toInt();
        else if (args[i] == QLatin1String("--no-python"))
            python = false;
        else if (args[i] == QLatin1String("--direct-only"))
            relayRuns = python = false;
    }

    QRandomGenerator random(20260302);
    QList<QByteArray> messages;
    qint64 folderBytes = 0;
    int big = 0;
    for (int n = 1; n <= count; ++n) {
        const bool attachment = n % 50 == 25; // 2 % of the folder
        big += attachment;
        messages.append(MakeMessage(n, random, attachment));
        folderBytes += messages.last().size();
    }
    test::DovecotFixture server;
    server.addFolder(QStringLiteral("Bench"), messages);
    messages.clear();
    if (!server.start()) {
        std::fprintf(stderr, "bench_listing: %s\n", qPrintable(server.errorText()));
        return 1;
    }
    qputenv("LARKSPAN_IMAP_CA_FILE", server.caFile().toLocal8Bit());
    std::printf("folder: %d messages (%d with a 500 KB attachment), %.1f MB\n", count, big, folderBytes / 1e6);

    // Dovecot builds its index and cache on the first read of every message; that
    // first pass is not measured, so every client below meets the same server state.
    const Run warmUp = ListFolder(server, server.port(), count, 0);
    Print("first pass (not counted):", warmUp, folderBytes, count);

    bench::PerfControl(true);
    const Run direct = ListFolder(server, server.port(), count, 0);
    bench::PerfControl(false);
    Print("direct, pipelined:", direct, folderBytes, count);

    double imaplibOneByOne = 0;
    double imaplibBulk = 0;
    if (python && !QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty()) {
        for (const bool bulk : {false, true}) {
            QProcess py;
            py.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QStringList arguments = {QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/imaplib_fetch.py"),
                                     server.host(), QString::number(server.port()), server.user(), server.password(),
                                     QStringLiteral("Bench"), server.caFile(), QString::number(count)};
            if (bulk)
                arguments << QStringLiteral("--bulk");
            py.start(QStringLiteral("python3"), arguments);
            py.waitForFinished(-1);
            const QByteArray said = py.readAllStandardOutput();
            std::printf("python imaplib, %s  %s", bulk ? "bulk 1:*:   " : "one by one:", said.constData());
            // "imaplib: <n> msg/s, ..."
            const double rate = said.mid(9).split(' ').value(0).toDouble();
            (bulk ? imaplibBulk : imaplibOneByOne) = rate;
        }
    }

    if (!relayRuns)
        return direct.messages == count ? 0 : 2;
    DelayRelay relay(server.port(), 5);
    const quint16 relayPort = relay.listen();
    const Run relayed = ListFolder(server, relayPort, count, 0);
    Print("relay 2x5 ms, pipelined:", relayed, folderBytes, count);
    const Run oneByOne = ListFolder(server, relayPort, count, 1);
    Print("relay 2x5 ms, one by one:", oneByOne, folderBytes, count);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory (RSS): %.0f MB\n", usage.ru_maxrss / 1024.0);
    const double directRate = direct.messages / direct.seconds;
    const double relayRate = relayed.messages / relayed.seconds;
    const double slowRate = oneByOne.messages / oneByOne.seconds;
    std::printf("listing: direct %.0f msg/s, relay %.0f msg/s, relay speed-up %.1fx, imaplib one-by-one %.0f msg/s, "
                "imaplib bulk %.0f msg/s\n",
                directRate, relayRate, relayRate / slowRate, imaplibOneByOne, imaplibBulk);
    return direct.messages == count && relayed.messages == count && oneByOne.messages == count ? 0 : 2;
}
