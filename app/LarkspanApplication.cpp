#include "app/LarkspanApplication.h"

#include "platform/core/ErrorReport.h"

#include <QSocketNotifier>

#include <csignal>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace larkspan {

namespace {
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}
} // namespace

LarkspanApplication::LarkspanApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    quitOnTerminationSignals();
}

void LarkspanApplication::quitOnTerminationSignals()
{
    // A signal handler may only write to a pipe; the event loop reads it and quits.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        // As if the user closed the windows: the main window ends the program.
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool LarkspanApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        try {
            QString object = QStringLiteral("Larkspan");
            if (receiver && !receiver->objectName().isEmpty())
                object = receiver->objectName();
            ShowErrorReport(DescribeException(error), object, QStringLiteral("Event"), 0);
        } catch (...) {
            // Nothing more can be done; the event counts as not handled.
        }
        return false;
    }
}

} // namespace larkspan
