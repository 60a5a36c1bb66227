#include "app/ExportLauncher.h"

#include "app/MainWindowContext.h"
#include "export/window/Form3.h"
#include "messagelist/windows/ListCounters.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/WindowPointer.h"

#include <QRadioButton>

namespace larkspan {

std::optional<ExportHandOff> CollectExportHandOff(MainWindowContext &ctx)
{
    if (!ctx.ListView1 || ctx.ListView1->count() == 0)
        return std::nullopt;
    const int ticked = ctx.counters ? ctx.counters->CountChecked() : 0;
    if (ticked == 0) {
        MsgBox(QStringLiteral("Please select at least 1 email message."), ctx.window);
        return std::nullopt;
    }
    ExportHandOff handOff;
    {
        std::optional<BusyPointer> busy;
        if (ctx.pointer)
            busy.emplace(*ctx.pointer);
        handOff.records.redim(0);
        // The count may have changed while CountChecked yielded: take what is ticked now.
        const int rows = ctx.ListView1->count();
        for (int row = 1; row <= rows; ++row)
            if (ctx.ListView1->checked(row))
                handOff.records.append(Messages(row));
    }
    handOff.printAsHTML = ctx.Option1 && ctx.Option1->isChecked();
    return handOff;
}

Form3 *ShowExportWindow(MainWindowContext &ctx, const ExportHandOff &handOff)
{
    SelectedRecords = handOff.records;
    auto *form = new Form3(ctx);
    form->PrintAsHTML = handOff.printAsHTML;
    form->Form_Load();
    form->show();
    if (ctx.window)
        ctx.window->hide();
    return form;
}

Form3 *OpenExportWindow(MainWindowContext &ctx)
{
    ErrorTrap trap("Form1", "PushButton4_Click", __LINE__);
    Form3 *form = nullptr;
    trap.step(__LINE__, [&] {
        if (std::optional<ExportHandOff> handOff = CollectExportHandOff(ctx))
            form = ShowExportWindow(ctx, *handOff);
    });
    return form;
}

} // namespace larkspan
