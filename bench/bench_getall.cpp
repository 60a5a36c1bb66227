// "2a. Get All Emails" on folders of 2,000 and 20,000 mixed messages: through the
// real main window offscreen, and the same folder listed by the session class alone.
// Also the memory the message records hold against the decoded text they keep.
//
// usage: bench_getall [largest size to run]   (default: both)
// LARKSPAN_PERF_CONTROL=<fifo> with LARKSPAN_PERF_SIDE=window|bare (or window@Large for
// one folder) switches a `perf record --control fifo:<fifo> -D -1` on for that side's
// timed listings only.
// Last line: getall: window <s> s, bare <s> s, ratio <r> at 2000; window <s> s,
//            bare <s> s, ratio <r> at 20000

#include "PerfControl.h"
#include "app/Form1.h"
#include "mail/ImapClient.h"
#include "mail/clsChilkatIMAP.h"
#include "messagelist/data/MessageRecord.h"
#include "platform/widgets/ListView.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"
#include "support/DovecotFixture.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>

using namespace larkspan;

namespace {

struct Size {
    int messages;
    const char *folder;
    int rounds;
};
constexpr Size kSizes[] = {{2000, "INBOX", 5}, {20000, "Large", 2}};

QByteArray Paragraphs(int n, int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "Paragraph " + QByteArray::number(i) + " of message " + QByteArray::number(n) +
                ": the quarterly figures, the minutes and a few words more to fill a line.\r\n";
    return text;
}

// Plain, HTML-only, alternative with both, and quoted-printable latin-1 in turn, of
// varying length.
QByteArray MixedMessage(int n)
{
    const QByteArray head = "From: Sender " + QByteArray::number(n) + " <sender" + QByteArray::number(n) +
                            "@example.org>\r\nTo: larkspan@example.org\r\nSubject: Message " +
                            QByteArray::number(n) + "\r\nDate: Mon, 02 Mar 2026 10:" +
                            QByteArray::number(10 + n % 50) + ":00 +0000\r\nMIME-Version: 1.0\r\n";
    const int size = 5 + (n * 37) % 60;
    switch (n % 4) {
    case 0:
        return head + "Content-Type: text/plain; charset=utf-8\r\n\r\n" + Paragraphs(n, size);
    case 1:
        return head + "Content-Type: text/html; charset=utf-8\r\n\r\n<html><body><p>" +
               Paragraphs(n, size).replace("\r\n", "</p>\r\n<p>") + "</p></body></html>\r\n";
    case 2:
        return head + "Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n--b\r\n"
                      "Content-Type: text/plain; charset=utf-8\r\n\r\n" +
               Paragraphs(n, size) + "--b\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<div>" +
               Paragraphs(n, size) + "</div>\r\n--b--\r\n";
    default:
        return head + "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
                      "quoted-printable\r\n\r\nCaf=E9 cr=E8me br=FBl=E9e.\r\n" +
               Paragraphs(n, size);
    }
}

// Profiles this side's timed listings when it is the one LARKSPAN_PERF_SIDE names.
void ProfileSide(const char *side, const QString &folder, bool on)
{
    const QString wanted = qEnvironmentVariable("LARKSPAN_PERF_SIDE");
    const QString name = QString::fromLatin1(side);
    if (wanted == name || wanted == name + QLatin1Char('@') + folder)
        bench::PerfControl(on);
}

double Seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// This process's processor time so far (user and system): steadier than the clock
// on a shared machine, and free of the server's share.
double ProcessorSeconds()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The folder listed by the session class alone, events counted and dropped.
double BareListing(const test::DovecotFixture &server, const QString &folder, int *listed, const char *side = "bare")
{
    ImapClient client;
    auto session = std::make_shared<clsChilkatIMAP>();
    session->ChilkatIMAPObject = &client;
    session->SSL = true;
    session->PORT = server.port();
    session->IMAPServer = server.host();
    session->Username = server.user();
    session->Password = server.password();
    *listed = 0;
    QObject::connect(session.get(), &clsChilkatIMAP::MailExtractListing, [listed] { ++*listed; });
    QElapsedTimer timer;
    timer.start();
    ProfileSide(side, folder, true);
    const auto stop = qScopeGuard([side, &folder] { ProfileSide(side, folder, false); });
    if (!session->Connect())
        return -1;
    session->CurrentLocation = 1;
    session->MaxRecord = session->GetTotalMessage(folder);
    session->StartMailExtraction(folder);
    return Seconds(timer);
}

// Signs in through the main window, then times Get All to its "Done.".
double WindowListing(const test::DovecotFixture &server, Form1 &form, const QString &folder, int messages)
{
    form.Text1->setText(server.user());
    form.Text2->setText(server.password());
    form.PushButton1->click();
    form.Combo2->setCurrentIndex(form.Combo2->findText(folder));
    test::Recorded().clear();
    QElapsedTimer timer;
    timer.start();
    ProfileSide("window", folder, true);
    form.PushButton3->click();
    const double seconds = Seconds(timer);
    ProfileSide("window", folder, false);
    if (!test::Recorded().messages().contains(QStringLiteral("Done.")) || form.ListView1->count() != messages)
        return -1;
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    test::PrepareTestEnvironment();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    test::InstallRecordingDialogs();
    Printers().replacePrinters({PdfWriterDeviceName()}, PdfWriterDeviceName());

    const int largest = argc > 1 ? QByteArray(argv[1]).toInt() : 20000;
    std::vector<Size> sizes;
    for (const Size &size : kSizes)
        if (size.messages <= largest)
            sizes.push_back(size);
    test::DovecotFixture server;
    for (const Size &size : sizes) {
        QList<QByteArray> messages;
        qint64 rawBytes = 0;
        for (int n = 1; n <= size.messages; ++n) {
            messages << MixedMessage(n);
            rawBytes += messages.last().size();
        }
        server.addFolder(QString::fromLatin1(size.folder), messages);
        std::printf("folder %s: %d messages, %.1f MB as stored\n", size.folder, size.messages, double(rawBytes) / 1e6);
    }
    if (!server.start()) {
        std::fprintf(stderr, "bench_getall: %s\n", qPrintable(server.errorText()));
        return 1;
    }
    qputenv("LARKSPAN_IMAP_PORT", QByteArray::number(server.port()));
    qputenv("LARKSPAN_IMAP_CA_FILE", server.caFile().toLocal8Bit());

    QStringList summary;
    for (const Size &size : sizes) {
        const QString folder = QString::fromLatin1(size.folder);
        int warm = 0;
        BareListing(server, folder, &warm, "warm-up"); // the server indexes a folder when it is first read
        // Best of several each, alternating, so a busy machine hurts both alike.
        double bare = 1e9, window = 1e9;
        double recordsBytes = 0, textBytes = 0;
        for (int round = 0; round < size.rounds; ++round) {
            int listed = 0;
            const double bareCpuFrom = ProcessorSeconds();
            const double b = BareListing(server, folder, &listed);
            const double bareCpu = ProcessorSeconds() - bareCpuFrom;
            if (b < 0 || listed != size.messages) {
                std::fprintf(stderr, "bench_getall: bare listing failed (%d listed)\n", listed);
                return 1;
            }
            bare = std::min(bare, b);

            Messages.clear();
            malloc_trim(0);
            auto form = std::make_unique<Form1>();
            form->setProgramEnd([] {});
            form->Form_Load();
            form->show();
            const double windowCpuFrom = ProcessorSeconds();
            const double wnd = WindowListing(server, *form, folder, size.messages);
            const double windowCpu = ProcessorSeconds() - windowCpuFrom;
            if (wnd < 0) {
                std::fprintf(stderr, "bench_getall: the window did not list the folder\n");
                return 1;
            }
            window = std::min(window, wnd);

            // What the records hold: the heap they free when they go.
            textBytes = 0;
            for (int i = 1; i <= Messages.upperBound(); ++i)
                textBytes += double(Messages(i).textBytes());
            const size_t held = mallinfo2().uordblks;
            Messages.clear();
            const size_t after = mallinfo2().uordblks;
            recordsBytes = double(held - after);
            std::printf("%d messages, round %d: window %.3f s, bare %.3f s, processor %.3f s against %.3f s, "
                        "records %.1f MB for %.1f MB of text\n",
                        size.messages, round + 1, wnd, b, windowCpu, bareCpu, recordsBytes / 1e6, textBytes / 1e6);
            std::fflush(stdout);
        }
        std::printf("%d messages: window %.3f s, bare %.3f s, overhead %.1f%%, records %.2fx decoded text\n",
                    size.messages, window, bare, (window - bare) / bare * 100.0, recordsBytes / textBytes);
        summary << QStringLiteral("window %1 s, bare %2 s, ratio %3 at %4")
                       .arg(window, 0, 'f', 3)
                       .arg(bare, 0, 'f', 3)
                       .arg(window / bare, 0, 'f', 2)
                       .arg(size.messages);
    }
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory (max RSS): %.1f MB\n", double(usage.ru_maxrss) / 1024.0);
    std::printf("getall: %s\n", qPrintable(summary.join(QStringLiteral("; "))));
    return 0;
}
