#include "app/MainWindowContext.h"

#include <QLineEdit>
#include <QWidget>

namespace larkspan {

QString MainWindowContext::account() const
{
    return Text1 ? Text1->text() : QString();
}

void MainWindowContext::showAgain()
{
    if (window)
        window->show();
}

void MainWindowContext::quitApplication()
{
    if (endProgram)
        endProgram();
}

} // namespace larkspan
