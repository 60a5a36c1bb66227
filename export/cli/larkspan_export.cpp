// larkspan-export: the whole export unattended, for scheduled runs. See --help and
// the manual page (larkspan-export.1).

#include "export/cli/ExportCommandLine.h"
#include "export/cli/ExportCommandRunner.h"
#include "messagelist/data/MessageStore.h"
#include "platform/core/Dialogs.h"
#include "platform/core/TimeZoneRules.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstring>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

void InstallStopSignals()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The windows' message boxes have no one to read them here: what matters is said on
// the command line's own terms.
class SilentDialogs final : public larkspan::DialogService {
public:
    larkspan::MsgResult messageBox(QWidget *, const QString &, const QString &, larkspan::MsgButtons buttons,
                                   larkspan::MsgIcon) override
    {
        return buttons == larkspan::MsgButtons::YesNo ? larkspan::MsgResult::No : larkspan::MsgResult::Ok;
    }
    QString inputBox(QWidget *, const QString &, const QString &, const QString &) override { return QString(); }
    QString browseForFolder(QWidget *, const QString &, const QString &) override { return QString(); }
    QString saveFileName(QWidget *, const QString &, const QString &) override { return QString(); }
    void beep() override {}
};

// What Qt and the web engine say of themselves (their set-up, the graphics they do
// without) is not for the user of a command; the program's own categories still reach
// the terminal when QT_LOGGING_RULES turns them on.
void QuietQtMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool ours = context.category && std::strncmp(context.category, "larkspan", 8) == 0;
    if (!ours && type != QtCriticalMsg && type != QtFatalMsg)
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// The web engine runs off-screen, with no window system at all, also as root.
void PrepareHeadlessWebEngine()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const larkspan::ParsedCommand parsed = larkspan::ParseExportCommandLine(arguments);
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "larkspan-export: %s\nTry \"larkspan-export --help\".\n", parsed.error.toLocal8Bit().constData());
        return int(larkspan::ExitStatus::Usage);
    }
    if (parsed.command.action == larkspan::ExportCommand::Action::Help) {
        std::fputs(larkspan::ExportCommandLineHelp().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parsed.command.action == larkspan::ExportCommand::Action::Version) {
        std::printf("larkspan-export %s\n", LARKSPAN_VERSION);
        return 0;
    }

    larkspan::LoadTimeZoneRulesOnce();
    PrepareHeadlessWebEngine();
    qInstallMessageHandler(QuietQtMessages);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    larkspan::InstallDialogs(std::make_unique<SilentDialogs>());
    larkspan::MessageStore::sweepLeftovers();

    larkspan::ExportCommandRunner runner(parsed.command);
    // SIGINT and SIGTERM reach the event loop through a pipe: the run stops cleanly.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &runner, [&runner] {
            char byte;
            [[maybe_unused]] const ssize_t read = ::read(g_signalPipe[1], &byte, 1);
            runner.stop();
        });
        InstallStopSignals();
    }
    const larkspan::ExitStatus status = runner.run();
    // Nothing of the mail stays behind.
    larkspan::MessageStore::instance().remove();
    return int(status);
}
