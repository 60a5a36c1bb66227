#include "messagelist/windows/RetrievalRun.h"

#include "mail/clsChilkatIMAP.h"
#include "messagelist/windows/Form2.h"
#include "messagelist/windows/ListCounters.h"
#include "messagelist/windows/MainListActions.h"
#include "messagelist/windows/MainListParts.h"
#include "messagelist/data/MessageRecord.h"
#include "messagelist/windows/RepaintPacer.h"
#include "platform/core/AppError.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/ListView.h"
#include "platform/core/Logging.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/widgets/WindowPointer.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <optional>
#include <utility>

namespace larkspan {

QString RememberedCaption;
bool SkipDoneMessage = false;
bool RangeAccepted = false;

namespace {

constexpr int kRunningWidth = 7800; // "Stop" covers both retrieval buttons
constexpr int kIdleWidth = 3840;

const QString kConnectCaption = QStringLiteral("1. Connect");
const QString kStopCaption = QStringLiteral("Stop");
const QString kGetAllCaption = QStringLiteral("2a. Get All Emails");
const QString kGetSomeCaption = QStringLiteral("2b. Get Some Emails");

enum class RunKind { GetAll, GetSome };

bool NotConnected(const MainListParts &ctx)
{
    if (ctx.PushButton1->text() != kConnectCaption)
        return false;
    MsgBox(QStringLiteral("Please connect first (Step 1) before using this feature."), ctx.window);
    return true;
}

bool NoFolder(const MainListParts &ctx)
{
    if (!ctx.Combo2->currentText().isEmpty())
        return false;
    MsgBox(QStringLiteral("Please select a folder."), ctx.window);
    return true;
}

// A run's own session when the window holds none. False when it cannot connect.
bool CreateRunSession(MainListParts &ctx)
{
    NewWindowSession(ctx); // the window's reference is the one that counts from here on
    SkipDoneMessage = false;
    if (!CurrentSession(ctx).Connect()) {
        SkipDoneMessage = true;
        return false;
    }
    return true;
}

void ClearListForRun(MainListParts &ctx)
{
    ctx.ListView1->clearItems();
    ctx.ListView1->setSorted(false);
    ctx.counters->RefreshCounters(true);
}

// The extraction of either run. A message store that refused a message ends it like
// a dropped connection, with the store's reason.
void ExtractIntoTheList(MainListParts &ctx, const QString &folder)
{
    BindSessionEvents(ctx, ctx.oChilkat);
    constexpr int kPaceMs = 100;
    RepaintPacer pacer(ctx.window, ctx.ListView1, kPaceMs);
    // New rows reach the view once per repaint: the view shows nothing sooner.
    ctx.ListView1->setAnnounceInterval(kPaceMs);
    const auto announceAtOnce = qScopeGuard([list = QPointer<ListView>(ctx.ListView1)] {
        if (list)
            list->setAnnounceInterval(0);
    });
    ctx.recorder.begin(CurrentSession(ctx).Username, folder);
    CurrentSession(ctx).StartMailExtraction(folder);
    if (const QString failure = ctx.recorder.takeStoreFailure(); !failure.isEmpty())
        throw AppError(failure);
}

void EndOfRun(MainListParts &ctx, RunKind kind, ErrorTrap &trap)
{
    qCDebug(lcUi) << (kind == RunKind::GetAll ? "Get All" : "Get Some") << "ended with" << ctx.ListView1->count()
                  << "rows listed";
    trap.step(__LINE__, [&] { ctx.oChilkat.reset(); });
    trap.step(__LINE__, [&] {
        ctx.ProgressBar1->setText(QStringLiteral("Progress Bar"));
        ctx.ProgressBar1->setValue(0);
    });
    trap.step(__LINE__, [&] { ctx.pointer->setPointer(MousePointer::Default); });
    trap.step(__LINE__, [&] {
        if (kind == RunKind::GetAll) {
            ctx.PushButton3->setText(RememberedCaption);
            ctx.PushButton2->setText(kGetSomeCaption);
        } else {
            ctx.PushButton2->setText(RememberedCaption);
            ctx.PushButton3->setText(kGetAllCaption);
        }
    });
    trap.step(__LINE__, [&] {
        SetButtonWidthTwips(ctx.PushButton3, kIdleWidth);
        ctx.PushButton2->show();
    });
    trap.step(__LINE__, [&] {
        // The list view takes new rows in batches; show all of them before "Done.".
        ctx.ListView1->refresh();
        if (!SkipDoneMessage)
            MsgBox(QStringLiteral("Done."), ctx.window);
    });
}

void StopAction(MainListParts &ctx, ErrorTrap &trap)
{
    trap.step(__LINE__, [&] {
        ctx.PushButton3->setText(RememberedCaption);
        ctx.PushButton2->setText(kGetSomeCaption);
        SetButtonWidthTwips(ctx.PushButton3, kIdleWidth);
        ctx.PushButton2->show();
    });
    trap.step(__LINE__, [&] { CurrentSession(ctx).AbortProcess = true; });
    trap.step(__LINE__, [&] { ctx.oChilkat.reset(); });
}

} // namespace

std::shared_ptr<clsChilkatIMAP> NewWindowSession(MainListParts &ctx)
{
    auto session = std::make_shared<clsChilkatIMAP>();
    ctx.oChilkat = session;
    BindSessionEvents(ctx, session);
    session->ChilkatIMAPObject = ctx.imapComponent;
    if (ctx.signIn)
        ctx.signIn(*session);
    return session;
}

clsChilkatIMAP &CurrentSession(MainListParts &ctx)
{
    if (!ctx.oChilkat)
        throw AppError(ErrorCode::ObjectNotSet);
    return *ctx.oChilkat;
}

void SetButtonWidthTwips(QWidget *button, int twips)
{
    button->setFixedWidth(TwipsToPixels(twips, button));
}

void PushButton3_Click(MainListParts &ctx)
{
    ErrorTrap trap("Form1", "PushButton3_Click", __LINE__);
    bool leave = false;
    trap.step(__LINE__, [&] { leave = NotConnected(ctx); });
    if (leave)
        return;
    trap.step(__LINE__, [&] {
        if (ctx.PushButton3->text() == kStopCaption) {
            StopAction(ctx, trap);
            leave = true;
        }
    });
    if (leave)
        return;
    trap.step(__LINE__, [&] { leave = NoFolder(ctx); });
    if (leave)
        return;

    trap.step(__LINE__, [&] {
        SetButtonWidthTwips(ctx.PushButton3, kRunningWidth);
        ctx.PushButton2->hide();
        ctx.pointer->setPointer(MousePointer::Hourglass);
        RememberedCaption = ctx.PushButton3->text();
        ctx.PushButton3->setText(kStopCaption);
    });
    trap.step(__LINE__, [&] {
        ClearListForRun(ctx);
        ctx.counters->AccumulateChecks = false;
    });

    bool connected = true;
    trap.step(__LINE__, [&] {
        if (!ctx.oChilkat)
            connected = CreateRunSession(ctx);
    });
    if (connected) {
        // Each step reads the folder box as it is then.
        auto folder = [&ctx] { return ctx.Combo2->currentText(); };
        trap.step(__LINE__, [&] { CurrentSession(ctx).CurrentLocation = 1; });
        trap.step(__LINE__, [&] { CurrentSession(ctx).MaxRecord = CurrentSession(ctx).GetTotalMessage(folder()); });
        // A failing test (no session after a Stop) takes neither branch.
        std::optional<bool> hasMessages;
        trap.step(__LINE__, [&] { hasMessages = CurrentSession(ctx).MaxRecord > 0; });
        if (hasMessages == true) {
            trap.step(__LINE__, [&] { Messages.redim(CurrentSession(ctx).MaxRecord); });
            trap.step(__LINE__, [&] { ExtractIntoTheList(ctx, folder()); });
        } else if (hasMessages == false) {
            trap.step(__LINE__, [&] {
                MsgBox(QStringLiteral("There are no emails in the Folder you selected."), ctx.window);
            });
            SkipDoneMessage = true;
        }
        trap.step(__LINE__, [&] { ctx.counters->RefreshCounters(false); });
    }
    EndOfRun(ctx, RunKind::GetAll, trap);
}

void PushButton2_Click(MainListParts &ctx)
{
    ErrorTrap trap("Form1", "PushButton2_Click", __LINE__);
    bool leave = false;
    trap.step(__LINE__, [&] { leave = NotConnected(ctx) || NoFolder(ctx); });
    if (leave)
        return;

    trap.step(__LINE__, [&] {
        ctx.PushButton3->setText(kStopCaption);
        SetButtonWidthTwips(ctx.PushButton3, kRunningWidth);
        ctx.PushButton2->hide();
        ctx.pointer->setPointer(MousePointer::Hourglass);
        RememberedCaption = ctx.PushButton2->text();
    });

    bool connected = true;
    trap.step(__LINE__, [&] {
        if (!ctx.oChilkat)
            connected = CreateRunSession(ctx);
    });
    if (connected) {
        // Each step reads the folder box as it is then.
        auto folder = [&ctx] { return ctx.Combo2->currentText(); };
        Form2 &dialog = Form2Instance();
        trap.step(__LINE__, [&] { dialog.setChilkatIMAP(ctx.oChilkat); });
        trap.step(__LINE__, [&] { dialog.setMaxMessage(CurrentSession(ctx).GetTotalMessage(folder())); });
        std::optional<bool> hasMessages;
        trap.step(__LINE__, [&] { hasMessages = CurrentSession(ctx).GetTotalMessage(folder()) > 0; });
        bool accepted = true;
        if (hasMessages == true) {
            trap.step(__LINE__, [&] { dialog.Show(ctx.window); });
            accepted = RangeAccepted;
            if (accepted) {
                trap.step(__LINE__, [&] { ClearListForRun(ctx); });
                SkipDoneMessage = false;
                trap.step(__LINE__, [&] { Messages.redim(CurrentSession(ctx).MaxRecord); });
                trap.step(__LINE__, [&] { ExtractIntoTheList(ctx, folder()); });
            }
        } else if (hasMessages == false) {
            trap.step(__LINE__, [&] {
                MsgBox(QStringLiteral("There are 0 emails in the Folder you selected."), ctx.window);
            });
            SkipDoneMessage = true;
        }
        // A range that was not accepted leaves the list and its counters as they were.
        if (accepted) {
            trap.step(__LINE__, [&] { ctx.counters->RefreshCounters(false); });
            ctx.counters->AccumulateChecks = false;
        }
    }
    EndOfRun(ctx, RunKind::GetSome, trap);
}

} // namespace larkspan
