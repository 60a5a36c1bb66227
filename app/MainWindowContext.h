#pragma once

#include "export/window/ExportWindowHost.h"
#include "messagelist/windows/MainListParts.h"

#include <functional>

class QLineEdit;
class QRadioButton;

namespace larkspan {

// The main window's parts that its workflows work on: those of the message list,
// the sign-in boxes and the export options. The main window owns everything here and
// fills it in once when it is built. It is also what the export window knows of the
// main window.
struct MainWindowContext : MainListParts, ExportWindowHost {
    // Login group
    QLineEdit *Text1 = nullptr; // user name
    QLineEdit *Text2 = nullptr; // password

    // Export options
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;

    // Runs the main window's query-unload step (restores the default printer) and ends
    // the program; the export window asks for it when it is closed other than by "< Back".
    std::function<void()> endProgram;

    QString account() const override;
    void showAgain() override;
    void quitApplication() override;
};

} // namespace larkspan
