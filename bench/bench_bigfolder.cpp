// "2a. Get All Emails" on big folders of realistic mail, through the real main window
// offscreen, against the session class listing the same folder alone; the program's
// peak memory at each size. Each listing runs in a process of its own, so that its
// peak is its own.
//
//   bench_bigfolder [sizes...]      default 10000 50000
//
// The mix: 60% multipart/alternative with the HTML in multipart/related and 1-3 inline
// PNG pictures (20-60 KB), 30% plain text (2-10 KB), 10% with one 50-300 KB attachment;
// UTF-8, ISO-8859-1 and windows-1252; quoted-printable and base64.

#include "app/Form1.h"
#include "mail/ImapClient.h"
#include "mail/clsChilkatIMAP.h"
#include "messagelist/data/MessageStore.h"
#include "platform/widgets/ListView.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"
#include "support/DovecotFixture.h"
#include "GeneratedMail.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>

#include <sys/resource.h>

#include <cstdio>
#include <memory>

using namespace larkspan;
using larkspan::bench::Base64Lines;

namespace {

using bench::QuotedPrintable;
using bench::RandomBytes;
using bench::TextPart;

// A PNG file's signature and header, then random octets: the size of a picture.
QByteArray Picture(QRandomGenerator &random, int size)
{
    return QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + RandomBytes(random, size - 16);
}

QByteArray MixedMessage(int n)
{
    QRandomGenerator random(quint32(n) * 2654435761u);
    QByteArray head = "From: Sender " + QByteArray::number(n) + " <sender" + QByteArray::number(n) +
                      "@example.org>\r\nTo: larkspan@example.org\r\nSubject: =?utf-8?q?Message_" +
                      QByteArray::number(n) + "_=E2=80=94_Gr=C3=BC=C3=9Fe?=\r\nDate: Mon, 02 Mar 2026 10:" +
                      QByteArray::number(10 + n % 50) + ":00 +0000\r\nMessage-ID: <bigfolder-" + QByteArray::number(n) +
                      "@example.org>\r\nMIME-Version: 1.0\r\n";
    const int kind = n % 10;
    if (kind < 6) {
        const int pictures = 1 + int(random.bounded(3u));
        QByteArray related, references;
        for (int p = 0; p < pictures; ++p) {
            const QByteArray cid = "pic" + QByteArray::number(p) + "." + QByteArray::number(n) + "@example.org";
            references += "<img src=\"cid:" + cid + "\">\r\n";
            related += "--rel\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <" + cid +
                       ">\r\n\r\n" + Base64Lines(Picture(random, 20000 + int(random.bounded(40000u))));
        }
        QByteArray html = TextPart(random, n, "html", 2000 + int(random.bounded(6000u)));
        html.replace("%PICTURES%", references);
        return head + "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\n" +
               TextPart(random, n, "plain", 1000 + int(random.bounded(3000u))) +
               "--alt\r\nContent-Type: multipart/related; boundary=\"rel\"\r\n\r\n--rel\r\n" + html + related +
               "--rel--\r\n--alt--\r\n";
    }
    if (kind < 9)
        return head + TextPart(random, n, "plain", 2000 + int(random.bounded(8000u)));
    return head + "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n--mix\r\n" +
           TextPart(random, n, "plain", 1000 + int(random.bounded(2000u))) +
           "--mix\r\nContent-Type: application/pdf; name=\"report-" + QByteArray::number(n) +
           ".pdf\"\r\nContent-Disposition: attachment; filename=\"report-" + QByteArray::number(n) +
           ".pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           Base64Lines(RandomBytes(random, 50000 + int(random.bounded(250000u)))) + "--mix--\r\n";
}

double Seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

long PeakKilobytes()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QString FolderName(int size)
{
    return QStringLiteral("Folder%1").arg(size);
}

// One listing in this process: "result <seconds> <listed> <peak KB> <stored bytes>".
int RunChild(const QString &how, const QString &folder, int argc, char **argv)
{
    test::PrepareTestEnvironment();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    test::InstallRecordingDialogs();
    Printers().replacePrinters({PdfWriterDeviceName()}, PdfWriterDeviceName());
    const QString user = qEnvironmentVariable("BIGFOLDER_USER");
    const QString password = qEnvironmentVariable("BIGFOLDER_PASSWORD");
    int listed = 0;
    double seconds = -1;
    if (how == QLatin1String("bare")) {
        ImapClient client;
        auto session = std::make_shared<clsChilkatIMAP>();
        session->ChilkatIMAPObject = &client;
        session->SSL = true;
        session->PORT = qEnvironmentVariableIntValue("LARKSPAN_IMAP_PORT");
        session->IMAPServer = QStringLiteral("127.0.0.1");
        session->Username = user;
        session->Password = password;
        QObject::connect(session.get(), &clsChilkatIMAP::MailExtractListing, [&listed] { ++listed; });
        QElapsedTimer timer;
        timer.start();
        if (session->Connect()) {
            session->CurrentLocation = 1;
            session->MaxRecord = session->GetTotalMessage(folder);
            session->StartMailExtraction(folder);
            seconds = Seconds(timer);
        }
    } else {
        auto form = std::make_unique<Form1>();
        form->setProgramEnd([] {});
        form->Form_Load();
        form->show();
        form->Text1->setText(user);
        form->Text2->setText(password);
        form->PushButton1->click();
        form->Combo2->setCurrentIndex(form->Combo2->findText(folder));
        test::Recorded().clear();
        QElapsedTimer timer;
        timer.start();
        form->PushButton3->click();
        seconds = Seconds(timer);
        listed = form->ListView1->count();
        if (!test::Recorded().messages().contains(QStringLiteral("Done.")))
            seconds = -1;
    }
    std::printf("result %.3f %d %ld %lld\n", seconds, listed, PeakKilobytes(),
                (long long)MessageStore::instance().bytesStored());
    return seconds < 0 ? 1 : 0;
}

struct ChildResult {
    double seconds = -1;
    int listed = 0;
    double peakMb = 0;
    double storedGb = 0;
};

ChildResult Measure(const QString &how, const QString &folder)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // LARKSPAN_BENCH_WRAPPER runs the window's child under a profiler, for example
    // "valgrind --tool=callgrind --callgrind-out-file=/tmp/window.callgrind".
    QStringList command = QProcess::splitCommand(how == QLatin1String("window")
                                                     ? qEnvironmentVariable("LARKSPAN_BENCH_WRAPPER")
                                                     : QString());
    command << QCoreApplication::applicationFilePath() << QStringLiteral("--child") << how << folder;
    child.start(command.takeFirst(), command);
    child.waitForFinished(-1);
    ChildResult result;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 5 && words[0] == "result") {
            result.seconds = words[1].toDouble();
            result.listed = words[2].toInt();
            result.peakMb = words[3].toDouble() / 1024.0;
            result.storedGb = words[4].toDouble() / 1e9;
        }
    }
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--child")
        return RunChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), argc, argv);

    test::PrepareTestEnvironment();
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {10000, 50000};

    test::DovecotFixture server;
    double folderBytes = 0;
    for (int size : sizes)
        server.addGeneratedFolder(FolderName(size), size, [&folderBytes](int n) {
            QByteArray message = MixedMessage(n);
            folderBytes += double(message.size());
            return message;
        });
    QElapsedTimer setUp;
    setUp.start();
    if (!server.start()) {
        std::fprintf(stderr, "bench_bigfolder: %s\n", qPrintable(server.errorText()));
        return 1;
    }
    std::printf("folders written in %.0f s: %.2f GB in all\n", Seconds(setUp), folderBytes / 1e9);
    std::fflush(stdout);
    qputenv("LARKSPAN_IMAP_PORT", QByteArray::number(server.port()));
    qputenv("LARKSPAN_IMAP_CA_FILE", server.caFile().toLocal8Bit());
    qputenv("BIGFOLDER_USER", server.user().toUtf8());
    qputenv("BIGFOLDER_PASSWORD", server.password().toUtf8());

    QString last;
    QStringList peaks;
    for (int size : sizes) {
        const QString folder = FolderName(size);
        // The server indexes a new folder when it is first opened; that is not ours to time.
        Measure(QStringLiteral("bare"), folder);
        const ChildResult window = Measure(QStringLiteral("window"), folder);
        const ChildResult bare = Measure(QStringLiteral("bare"), folder);
        if (window.seconds < 0 || bare.seconds < 0 || window.listed != size || bare.listed != size) {
            std::fprintf(stderr, "bench_bigfolder: %d messages: window listed %d, bare %d\n", size, window.listed,
                         bare.listed);
            return 1;
        }
        std::printf("%d messages: stored %.2f GB, window %.1f s, bare %.1f s (%.2fx), peak %.0f MB window, %.0f MB bare\n",
                    size, window.storedGb, window.seconds, bare.seconds, window.seconds / bare.seconds, window.peakMb,
                    bare.peakMb);
        std::fflush(stdout);
        peaks << QStringLiteral("%1 MB at %2").arg(window.peakMb, 0, 'f', 0).arg(size);
        last = QStringLiteral("bigfolder: %1 messages, %2 GB, window %3 s, bare %4 s")
                   .arg(size)
                   .arg(window.storedGb, 0, 'f', 2)
                   .arg(window.seconds, 0, 'f', 1)
                   .arg(bare.seconds, 0, 'f', 1);
    }
    std::printf("%s, peak %s\n", qPrintable(last), qPrintable(peaks.join(QStringLiteral(", "))));
    return 0;
}
