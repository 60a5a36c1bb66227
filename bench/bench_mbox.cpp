// Reads an mbox file of realistic mail (a provider's archive, see MboxBench.h) through
// the reading layer: scan, then read every message and parse it as the listing does.
// Python's mailbox.mbox and email package doing the same is the reference, when
// python3 is there. The file is generated into a private temporary folder and removed.
//
// usage: bench_mbox [--size MB] [--no-python]        default 1024 MB
//        bench_mbox --flat-memory [--python]          5 GB of 50,000 messages: the peak
//                                                      memory after 10,000 and 50,000
// The reading runs in a child process of its own, so that the peak is its own.
// Last line: mbox: N messages, X MB, larkspan R1 msg/s, python R2 msg/s, ratio R1/R2
//   (--flat-memory: flat memory: N messages, X MB, peak A MB after 10000, B MB after N)

#include "MboxBench.h"
#include "support/RecordingDialogs.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
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

// "result <messages> <failures> <bytes> <scan s> <total s> <peak at checkpoint KB> <peak KB>"
int RunChild(const QString &path, int checkpoint)
{
    const bench::MboxRound round = bench::ReadMboxRound(path, checkpoint);
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

ChildRound MeasureInChild(const QString &path, int checkpoint)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), path, QString::number(checkpoint)});
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
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        test::PrepareTestEnvironment();
        QCoreApplication app(argc, argv);
        app.setApplicationName(QStringLiteral("Larkspan"));
        return RunChild(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
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
    const ChildRound larkspan = MeasureInChild(path, checkpoint);
    if (!larkspan.ok || larkspan.messages != made.messages) {
        std::fprintf(stderr, "bench_mbox: read %d of %d messages, %d failed\n", larkspan.messages, made.messages,
                     larkspan.failures);
        return 1;
    }
    const double rate = larkspan.messages / larkspan.seconds;
    std::printf("larkspan reader + parse: %.0f msg/s, %.1f MB/s, %d messages (scan %.2f s, %.0f MB/s), peak %.0f MB\n",
                rate, larkspan.bytes / larkspan.seconds / 1e6, larkspan.messages, larkspan.scanSeconds,
                made.bytes / larkspan.scanSeconds / 1e6, larkspan.peakMb);
    std::fflush(stdout);

    if (flatMemory) {
        std::printf("flat memory: %d messages, %.0f MB, peak %.1f MB after %d messages, %.1f MB after %d (%.2fx)\n",
                    made.messages, made.bytes / 1e6, larkspan.peakAtCheckpointMb, checkpoint, larkspan.peakMb,
                    made.messages, larkspan.peakMb / larkspan.peakAtCheckpointMb);
        if (!python)
            return 0;
    }
    const double pythonRate = python ? MeasurePython(path) : 0;
    std::printf("mbox: %d messages, %.0f MB, larkspan %.0f msg/s, python %.0f msg/s, ratio %.2f\n", made.messages,
                made.bytes / 1e6, rate, pythonRate, pythonRate > 0 ? rate / pythonRate : 0.0);
    return 0;
}
