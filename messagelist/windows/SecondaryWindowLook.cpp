#include "messagelist/windows/SecondaryWindowLook.h"

#include "platform/widgets/Appearance.h"
#include "platform/core/FileExists.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/PointerRules.h"
#include "platform/core/ProgramFolder.h"
#include "platform/widgets/WindowPointer.h"

#include <QApplication>
#include <QWidget>

namespace larkspan {

void ApplySecondaryWindowLook(QWidget *window, WindowPointer *pointer)
{
    ApplyClassicColors(window);
    window->setWindowIcon(QApplication::windowIcon());
    const QString cursorFile = ProgramFile(QStringLiteral("HAND-M.CUR"));
    if (FileExists(cursorFile))
        pointer->loadCustomCursor(cursorFile);
    InstallPointerRules(window, pointer);
}

void PlaceTwips(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(TwipsToPixels(left, control), TwipsToPixels(top, control), TwipsToPixels(width, control),
                         TwipsToPixels(height, control));
}

} // namespace larkspan
