// Reads an mbox file of realistic mail (a provider's archive, see MboxBench.h) through
// the reading layer: scan, then read every message and parse it as the listing does.
// Python's mailbox.mbox and email package doing the same is the reference, when
// python3 is there. The file is generated into a private temporary folder and removed.
//
// A second round lists the same file through LocalListing, which is what the main
// window drives: the records with their texts, pointing into the file. A third lists it
// through the main window itself, offscreen: "Open Mail Files..." with its rows, its
// progress and its counters, the program's own memory.
//
// usage: bench_mbox [--size MB] [--no-python]        default 1024 MB
//        bench_mbox --flat-memory [--python]          5 GB of 50,000 messages: the peak
//                                                      memory after 10,000 and 50,000
// Each round runs in a child process of its own, so that the peak is its own.
// Last lines: mbox: N messages, X MB, larkspan R1 msg/s, python R2 msg/s, ratio R1/R2
//             listing: N messages, X MB, listing R3 msg/s, python R2 msg/s, ratio R3/R2
//             window: N messages, X MB, window R4 msg/s, python R2 msg/s, ratio R4/R2
//   (--flat-memory: flat memory: N messages, X MB, peak A MB after 10000, B MB after N,
//    for the reader and for the listing)

#include "MboxBench.h"
#include "app/Form1.h"
#include "platform/widgets/ListView.h"
#include "messagelist/data/LocalListing.h"
#include "support/RecordingDialogs.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace larkspan;

namespace {

double Seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// The listing as the window drives it: scan, then every message read, parsed, filtered
// (no filter) and made a record.
bench::MboxRound ListMboxRound(const QString &path, int checkpoint)
{
    bench::MboxRound round;
    QElapsedTimer clock;
    clock.start();
    LocalListing listing;
    QObject::connect(&listing, &LocalListing::listed, [&](int n) {
        if (n == checkpoint)
            round.peakAtCheckpointKb = test::PeakResidentKb();
    });
    const bool scanned = listing.scan({path});
    round.scanSeconds = double(clock.nsecsElapsed()) / 1e9;
    if (!scanned || !listing.list() || listing.failure() != LocalListing::Failure::None) {
        std::fprintf(stderr, "bench_mbox: %s\n", qPrintable(listing.error()));
        round.failures = 1;
    }
    round.messages = listing.records().upperBound();
    for (int i = 1; i <= round.messages; ++i)
        round.bytes += listing.records()(i).stored().size;
    round.seconds = double(clock.nsecsElapsed()) / 1e9;
    round.peakKb = test::PeakResidentKb();
    return round;
}

// The main window opens the file as a user does, through "Open Mail Files...".
bench::MboxRound WindowMboxRound(const QString &path, int checkpoint)
{
    bench::MboxRound round;
    test::InstallRecordingDialogs();
    auto form = std::make_unique<Form1>();
    form->setProgramEnd([] {});
    form->Form_Load();
    form->show();
    test::Recorded().clear();
    test::Recorded().mailSourceAnswers << QStringList{path};
    // The peak once the list holds checkpoint rows, looked at as the rows come in.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (round.peakAtCheckpointKb < 0 && form->ListView1->count() >= checkpoint)
            round.peakAtCheckpointKb = test::PeakResidentKb();
    });
    watch.start(5);
    QElapsedTimer clock;
    clock.start();
    form->PushButton18->click();
    round.seconds = double(clock.nsecsElapsed()) / 1e9;
    round.messages = form->ListView1->count();
    if (!test::Recorded().messages().contains(QStringLiteral("Done."))) {
        std::fprintf(stderr, "bench_mbox: the window said %s\n", qPrintable(test::Recorded().messages().join(QLatin1Char('|'))));
        round.failures = 1;
    }
    round.bytes = double(QFileInfo(path).size());
    round.peakKb = test::PeakResidentKb();
    return round;
}

// "result <messages> <failures> <bytes> <scan s> <total s> <peak at checkpoint KB> <peak KB>"
enum class Round { Reader, Listing, Window };
const char *const kRoundFlags[] = {"--child", "--child-listing", "--child-window"};

int RunChild(const QString &path, int checkpoint, Round which)
{
    const bench::MboxRound round = which == Round::Window    ? WindowMboxRound(path, checkpoint)
                                   : which == Round::Listing ? ListMboxRound(path, checkpoint)
                                                             : bench::ReadMboxRound(path, checkpoint);
    std::printf("result %d %d %lld %.3f %.3f %ld %ld\n", round.messages, round.failures, (long long)round.bytes,
                round.scanSeconds, round.seconds, round.peakAtCheckpointKb, round.peakKb);
    return round.failures == 0 ? 0 : 1;
}

struct ChildRound {
    bool ok = false;
    int messages = 0;
    int failures = 0;
    double bytes = 0;
    double scanSeconds = 0;
    double seconds = 0;
    double peakAtCheckpointMb = 0;
    double peakMb = 0;
};

ChildRound MeasureInChild(const QString &path, int checkpoint, Round which)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QLatin1String(kRoundFlags[int(which)]), path, QString::number(checkpoint)});
    child.waitForFinished(-1);
    ChildRound round;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 8 || words[0] != "result")
            continue;
        round.ok = true;
        round.messages = words[1].toInt();
        round.failures = words[2].toInt();
        round.bytes = words[3].toDouble();
        round.scanSeconds = words[4].toDouble();
        round.seconds = words[5].toDouble();
        round.peakAtCheckpointMb = words[6].toDouble() / 1024.0;
        round.peakMb = words[7].toDouble() / 1024.0;
    }
    return round;
}

// Python's messages a second; 0 when python3 is not there or failed.
double MeasurePython(const QString &path)
{
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
        return 0;
    QProcess py;
    py.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    py.start(QStringLiteral("python3"),
             {QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/mbox_python.py"), path});
    py.waitForFinished(-1);
    const QByteArray said = py.readAllStandardOutput();
    std::printf("python mailbox + email:  %s", said.constData());
    std::fflush(stdout);
    // "python: <n> msg/s, ..."
    return said.startsWith("python: ") ? said.mid(8).split(' ').value(0).toDouble() : 0;
}

} // namespace

int main(int argc, char **argv)
{
    for (int which = 0; argc == 4 && which < 3; ++which) {
        if (QByteArray(argv[1]) != kRoundFlags[which])
            continue;
        test::PrepareTestEnvironment();
        // Every round in a QApplication, so that their peaks start from the same base.
        QApplication app(argc, argv);
        app.setApplicationName(QStringLiteral("Larkspan"));
        return RunChild(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt(), Round(which));
    }

    test::PrepareTestEnvironment();
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    test::InstallRecordingDialogs();

    qint64 sizeMb = 1024;
    bool flatMemory = false;
    bool python = true;
    bool pythonAsked = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--size") && i + 1 < args.size())
            sizeMb = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--flat-memory"))
            flatMemory = true;
        else if (args[i] == QLatin1String("--no-python"))
            python = false;
        else if (args[i] == QLatin1String("--python"))
            pythonAsked = true;
    }
    const int count = flatMemory ? 50000 : 0;
    const qint64 targetBytes = flatMemory ? qint64(5) * 1000 * 1000 * 1000 : sizeMb * 1024 * 1024;
    if (flatMemory)
        python = pythonAsked;

    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/larkspan-bench-mbox-XXXXXX"));
    if (!folder.isValid()) {
        std::fprintf(stderr, "bench_mbox: no temporary folder\n");
        return 1;
    }
    const qint64 free = QStorageInfo(folder.path()).bytesAvailable();
    if (free < targetBytes + qint64(2) * 1000 * 1000 * 1000) {
        std::printf("bench_mbox: skipped: %.1f GB free in %s, the file needs %.1f GB\n", free / 1e9,
                    qPrintable(folder.path()), targetBytes / 1e9);
        return 0;
    }
    const QString path = folder.filePath(QStringLiteral("archive.mbox"));
    QElapsedTimer setUp;
    setUp.start();
    const bench::GeneratedMbox made = bench::WriteArchiveMbox(path, targetBytes, count);
    if (made.messages == 0) {
        std::fprintf(stderr, "bench_mbox: %s could not be written\n", qPrintable(path));
        return 1;
    }
    std::printf("mbox written in %.0f s: %d messages, %.0f MB\n", Seconds(setUp), made.messages, made.bytes / 1e6);
    std::fflush(stdout);

    const int checkpoint = flatMemory ? 10000 : made.messages / 5;
    ChildRound rounds[3];
    const char *const names[3] = {"larkspan reader + parse", "larkspan LocalListing (what the window drives)",
                                  "larkspan main window, Open Mail Files..."};
    for (int listing = 0; listing < 3; ++listing) {
        const ChildRound &round = rounds[listing] = MeasureInChild(path, checkpoint, Round(listing));
        if (!round.ok || round.messages != made.messages) {
            std::fprintf(stderr, "bench_mbox: %s read %d of %d messages, %d failed\n", names[listing], round.messages,
                         made.messages, round.failures);
            return 1;
        }
        // The window's round cannot tell its scan apart.
        const QString scan = round.scanSeconds > 0 ? QStringLiteral(" (scan %1 s, %2 MB/s)")
                                                         .arg(round.scanSeconds, 0, 'f', 2)
                                                         .arg(made.bytes / round.scanSeconds / 1e6, 0, 'f', 0)
                                                   : QString();
        std::printf("%s: %.0f msg/s, %.1f MB/s, %d messages%s, peak %.0f MB\n", names[listing],
                    round.messages / round.seconds, round.bytes / round.seconds / 1e6, round.messages, qPrintable(scan),
                    round.peakMb);
        if (flatMemory)
            std::printf("flat memory (%s): %d messages, %.0f MB, peak %.1f MB after %d messages, %.1f MB after %d (%.2fx)\n",
                        names[listing], made.messages, made.bytes / 1e6, round.peakAtCheckpointMb, checkpoint,
                        round.peakMb, made.messages, round.peakMb / round.peakAtCheckpointMb);
        std::fflush(stdout);
    }
    if (flatMemory && !python)
        return 0;
    const double pythonRate = python ? MeasurePython(path) : 0;
    const double rate = rounds[0].messages / rounds[0].seconds;
    const double listingRate = rounds[1].messages / rounds[1].seconds;
    std::printf("mbox: %d messages, %.0f MB, larkspan %.0f msg/s, python %.0f msg/s, ratio %.2f\n", made.messages,
                made.bytes / 1e6, rate, pythonRate, pythonRate > 0 ? rate / pythonRate : 0.0);
    std::printf("listing: %d messages, %.0f MB, listing %.0f msg/s, python %.0f msg/s, ratio %.2f\n", made.messages,
                made.bytes / 1e6, listingRate, pythonRate, pythonRate > 0 ? listingRate / pythonRate : 0.0);
    const double windowRate = rounds[2].messages / rounds[2].seconds;
    std::printf("window: %d messages, %.0f MB, window %.0f msg/s, python %.0f msg/s, ratio %.2f\n", made.messages,
                made.bytes / 1e6, windowRate, pythonRate, pythonRate > 0 ? windowRate / pythonRate : 0.0);
    return 0;
}
