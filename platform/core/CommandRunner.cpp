#include "platform/core/CommandRunner.h"

#include "platform/core/AppError.h"
#include "platform/core/Yield.h"

#include <QEventLoop>
#include <QProcess>
#include <QStringDecoder>

namespace larkspan {

namespace {

constexpr qint64 kReadSize = 1024;

// Runs a nested event loop until the process reports something (output, start, end,
// error); returns at once when done() holds already. The connections are made before
// the check, so no signal is missed.
template <typename Condition>
void waitFor(QProcess &process, Condition done)
{
    QEventLoop loop;
    const auto quit = [&loop] { loop.quit(); };
    const QMetaObject::Connection connections[] = {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, quit),
        QObject::connect(&process, &QProcess::readyReadStandardError, &loop, quit),
        QObject::connect(&process, &QProcess::started, &loop, quit),
        QObject::connect(&process, &QProcess::finished, &loop, quit),
        QObject::connect(&process, &QProcess::errorOccurred, &loop, quit),
    };
    const bool looped = done() || loop.exec() >= 0;
    for (const auto &c : connections)
        QObject::disconnect(c);
    // While the application quits, event loops return at once; wait on the process
    // itself then, in short steps, rather than spin.
    if (!looped && !done())
        process.waitForReadyRead(100);
}

} // namespace

QString RunCommandCapture(QString &commandLine, bool captureStdOut, bool captureStdErr, bool oemConvert)
{
    Q_UNUSED(oemConvert); // the console and the program share one encoding here
    if (!captureStdOut && !captureStdErr)
        throw AppError(ErrorCode::InvalidProcedureCall);

    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return QString::fromLatin1(kFailedToCreateProcess);
    const QString program = arguments.takeFirst();

    QProcess process;
    QProcess::ProcessChannel channel = QProcess::StandardOutput;
    if (captureStdOut && captureStdErr) {
        // One pipe for both streams, so their text keeps the order it was written in.
        process.setProcessChannelMode(QProcess::MergedChannels);
    } else if (captureStdOut) {
        process.setStandardErrorFile(QProcess::nullDevice());
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
        channel = QProcess::StandardError;
    }
    process.setReadChannel(channel);
    process.start(program, arguments, QIODevice::ReadOnly);
    process.closeWriteChannel();

    waitFor(process, [&] { return process.state() != QProcess::Starting; });
    if (process.state() == QProcess::NotRunning && process.error() == QProcess::FailedToStart)
        return QString::fromLatin1(kFailedToCreateProcess);

    // A decoder that keeps state, so a character split between two reads stays whole.
    QStringDecoder decode(QStringConverter::System);
    QString output;
    char buffer[kReadSize];
    for (;;) {
        YieldToEventLoop();
        const qint64 got = process.read(buffer, kReadSize);
        if (got > 0) {
            output += decode(QByteArrayView(buffer, got));
            continue;
        }
        if (process.state() == QProcess::NotRunning)
            break; // ended, and everything it wrote has been read
        waitFor(process, [&] { return process.bytesAvailable() > 0 || process.state() == QProcess::NotRunning; });
    }
    output += decode(QByteArrayView());
    return output;
}

} // namespace larkspan
