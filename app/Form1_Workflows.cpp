// The buttons whose work lives with the help, list, filter and export features.
#include "app/Form1.h"

#include "app/HelpNotices.h"
#include "app/ExportLauncher.h"
#include "messagelist/windows/MainListActions.h"
#include "platform/core/ErrorReport.h"

#include <QPushButton>

namespace larkspan {

void Form1::connectWorkflows()
{
    // The list and export handlers trap their own failures.
    const std::pair<QPushButton *, void (*)(MainListParts &)> listButtons[] = {
        {PushButton3, &PushButton3_Click},   {PushButton2, &PushButton2_Click},
        {PushButton5, &PushButton5_Click},   {PushButton6, &PushButton6_Click},
        {PushButton7, &PushButton7_Click},   {PushButton9, &PushButton9_Click},
        {PushButton10, &PushButton10_Click}, {PushButton8, &PushButton8_Click},
        {PushButton14, &PushButton14_Click}, {PushButton15, &PushButton15_Click},
        {PushButton17, &PushButton17_Click}, {PushButton18, &OpenMailFiles_Click},
    };
    for (const auto &[button, handler] : listButtons)
        connect(button, &QPushButton::clicked, this, [this, handler] { handler(m_context); });

    connect(PushButton4, &QPushButton::clicked, this, [this] { OpenExportWindow(m_context); });
    connect(PushButton11, &QPushButton::clicked, this, [this] {
        ErrorTrap trap("Form1", "PushButton11_Click", __LINE__);
        trap.step(__LINE__, [&] { ShowHelpNotices(this); });
    });
    connect(PushButton12, &QPushButton::clicked, this, &Form1::showLoginHelp);
}

} // namespace larkspan
