#pragma once

#include <QApplication>

namespace larkspan {

// The program's application object. Every handler traps its own failures; notify()
// is the last resort for one that does not, so the user sees the error report and
// the program goes on instead of ending.
class LarkspanApplication : public QApplication {
public:
    LarkspanApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace larkspan
