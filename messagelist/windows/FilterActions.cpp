#include "messagelist/windows/Form5.h"
#include "messagelist/windows/MainListActions.h"
#include "messagelist/windows/MainListParts.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/SettingsStore.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace larkspan {

void PushButton14_Click(MainListParts &ctx)
{
    ErrorTrap trap("Form1", "PushButton14_Click", __LINE__);
    bool leave = false;
    trap.step(__LINE__, [&] {
        if (ctx.PushButton1->text() == QStringLiteral("1. Connect")) {
            MsgBox(QStringLiteral("Please connect first (Step 1) before using this feature."), ctx.window);
            leave = true;
        }
    });
    if (leave)
        return;
    trap.step(__LINE__, [&] {
        QPointer<Form5> dialog = new Form5(ctx, ctx.window);
        dialog->exec();
        delete dialog.data();
    });
    trap.step(__LINE__, [&] {
        // An emptied filter leaves the label's last text.
        if (!ctx.CharactersFilter.isEmpty())
            ctx.Label3->setText(QStringLiteral("Character Filter set to ") + ctx.CharactersFilter);
    });
}

void PushButton15_Click(MainListParts &ctx)
{
    ErrorTrap trap("Form1", "PushButton15_Click", __LINE__);
    trap.step(__LINE__, [&] {
        MsgBox(QStringLiteral("This feature will allow you to only show emails containing certain text ") +
                   QStringLiteral("\r\n") +
                   QStringLiteral("so that you do not have to look at all the emails in the folder."),
               ctx.window);
    });
}

void PushButton17_Click(MainListParts &ctx)
{
    ErrorTrap trap("Form1", "PushButton17_Click", __LINE__);
    trap.step(__LINE__, [&] { ctx.CharactersFilter.clear(); });
    trap.step(__LINE__, [&] { WriteSetting(QStringLiteral("CharactersFilter"), QString()); });
    trap.step(__LINE__, [&] { ctx.Label3->setText(QStringLiteral("No Character Filter set")); });
}

} // namespace larkspan
