#pragma once

#include <QApplication>

namespace larkspan {

// The program's application object. Every handler traps its own failures; notify()
// is the last resort for one that does not, so the user sees the error report and
// the program goes on instead of ending. A request to end from outside (SIGTERM,
// SIGINT, SIGHUP: logging out, Ctrl+C) ends the program through its own code, so
// that the message store is deleted on the way out.
class LarkspanApplication : public QApplication {
public:
    LarkspanApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

private:
    void quitOnTerminationSignals();
};

} // namespace larkspan
