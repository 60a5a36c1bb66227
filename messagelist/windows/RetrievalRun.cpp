#include "messagelist/windows/RetrievalRun.h"

#include "mail/clsChilkatIMAP.h"
#include "messagelist/windows/Form2.h"
#include "messagelist/windows/ListCounters.h"
#include "messagelist/windows/MainListActions.h"
#include "messagelist/windows/MainListParts.h"
#include "messagelist/data/LocalListing.h"
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
#include <QScopeGuard>

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

bool LocalSourceOpen(const MainListParts &ctx)
{
    return !ctx.localPaths.isEmpty();
}

bool NotConnected(const MainListParts &ctx)
{
    // Mail on the disk needs no sign-in.
    if (LocalSourceOpen(ctx) || ctx.PushButton1->text() != kConnectCaption)
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

// While a run fills the list: new rows reach the view once per repaint, the view
// shows nothing sooner.
class FillingPace {
public:
    explicit FillingPace(MainListParts &ctx) : m_pacer(ctx.window, ctx.ListView1, kPaceMs), m_list(ctx.ListView1)
    {
        ctx.ListView1->setAnnounceInterval(kPaceMs);
    }
    ~FillingPace()
    {
        if (m_list)
            m_list->setAnnounceInterval(0);
    }
    FillingPace(const FillingPace &) = delete;
    FillingPace &operator=(const FillingPace &) = delete;

private:
    static constexpr int kPaceMs = 100;
    RepaintPacer m_pacer;
    QPointer<ListView> m_list;
};

// The extraction of either run. A message store that refused a message ends it like
// a dropped connection, with the store's reason.
void ExtractIntoTheList(MainListParts &ctx, const QString &folder)
{
    BindSessionEvents(ctx, ctx.oChilkat);
    const FillingPace pace(ctx);
    ctx.recorder.begin(CurrentSession(ctx).Username, folder);
    CurrentSession(ctx).StartMailExtraction(folder);
    if (const QString failure = ctx.recorder.takeStoreFailure(); !failure.isEmpty())
        throw AppError(failure);
}

// Either run over mail on the disk: the source is scanned, then read message by
// message into rows and records as a server folder's extraction fills them. A Get
// Some run asks for its range once the scan has counted the messages; the count
// dialog writes it into a session object's fields, as for a server folder.
void ListFromTheDisk(MainListParts &ctx, RunKind kind)
{
    LocalListing listing;
    listing.setKeepRecords(false);
    LocalListing *const outer = std::exchange(ctx.localListing, &listing);
    const auto restore = qScopeGuard([&ctx, outer] { ctx.localListing = outer; });
    ProgressBar *bar = ctx.ProgressBar1;
    QObject::connect(&listing, &LocalListing::scanning, ctx.window, [bar](qint64 done, qint64 total) {
        bar->setMaximum(100);
        bar->setValue(total > 0 ? int(done * 100 / total) : 0);
    });
    int first = 1;
    QObject::connect(&listing, &LocalListing::progress, ctx.window, [bar, &first](int current, int last) {
        bar->setMaximum(100);
        bar->setValue(last >= first ? int(qint64(current - first + 1) * 100 / (last - first + 1)) : 0);
        bar->setText(QStringLiteral("Reading mail ") + QString::number(current) + QStringLiteral(" of ") +
                     QString::number(last));
    });
    QObject::connect(&listing, &LocalListing::listed, ctx.window, [&ctx, &listing] {
        ErrorTrap trap("Form1", "LocalListing_Listed", __LINE__);
        const MessageRecord &record = listing.latest();
        const ListedTexts texts{record.from(), record.fromName(), record.fromAddress(), record.subject(),
                                record.receivedDate(), QString(), QString()};
        AppendListedRow(ctx, trap, texts, [&record] { return record; });
    });

    SkipDoneMessage = false;
    const QString folder = ctx.Combo2->currentText();
    if (!listing.scan(ctx.localPaths, ctx.localTree ? folder : QString())) {
        if (listing.failure() != LocalListing::Failure::Stopped)
            MsgBox(listing.error(), ctx.window);
        SkipDoneMessage = true;
        return;
    }
    int last = listing.sourceSize();
    if (last == 0) {
        MsgBox(kind == RunKind::GetAll ? QStringLiteral("There are no emails in the Folder you selected.")
                                       : QStringLiteral("There are 0 emails in the Folder you selected."),
               ctx.window);
        SkipDoneMessage = true;
        return;
    }
    if (kind == RunKind::GetSome) {
        Form2 &dialog = Form2Instance();
        const auto range = std::make_shared<clsChilkatIMAP>();
        dialog.setChilkatIMAP(range);
        dialog.setMaxMessage(last);
        dialog.Show(ctx.window);
        if (!RangeAccepted)
            return;
        ClearListForRun(ctx);
        SkipDoneMessage = false;
        first = range->CurrentLocation;
        last = range->MaxRecord;
    }
    Messages.redim(last);
    {
        const FillingPace pace(ctx);
        listing.list(first, last, ctx.CharactersFilter);
    }
    // A message that cannot be read ends the run at its place, the rows before it
    // stay. A range past the end lists nothing, as in a server folder.
    if (listing.failure() == LocalListing::Failure::Read)
        MsgBox(listing.error(), ctx.window);
    if (const int left = listing.expungedLeftOut(); left > 0)
        ctx.closingNote = left == 1 ? QStringLiteral("1 deleted message still in the file was left out.")
                                    : QStringLiteral("%1 deleted messages still in the file were left out.").arg(left);
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
        const QString note = std::exchange(ctx.closingNote, QString());
        if (!SkipDoneMessage)
            MsgBox(note.isEmpty() ? QStringLiteral("Done.") : QStringLiteral("Done. ") + note, ctx.window);
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
    if (ctx.localListing) {
        ctx.localListing->stop();
        return;
    }
    trap.step(__LINE__, [&] { CurrentSession(ctx).AbortProcess = true; });
    trap.step(__LINE__, [&] { ctx.oChilkat.reset(); });
}

} // namespace

void OpenMailFiles_Click(MainListParts &ctx)
{
    ErrorTrap trap("Form1", "OpenMailFiles_Click", __LINE__);
    bool leave = false;
    // One run at a time from this button: a running one is stopped first.
    trap.step(__LINE__, [&] {
        if (ctx.PushButton3->text() == kStopCaption) {
            MsgBox(QStringLiteral("Please stop the retrieval first."), ctx.window);
            leave = true;
        }
    });
    if (leave)
        return;
    QStringList paths;
    trap.step(__LINE__, [&] { paths = Dialogs().chooseMailSource(ctx.window, QStringLiteral("Open Mail Files")); });
    if (paths.isEmpty())
        return;
    // A Maildir++ tree offers its folders as a server offers its own.
    LocalListing::Folders folders;
    trap.step(__LINE__, [&] { folders = LocalListing::foldersOf(paths); });
    trap.step(__LINE__, [&] {
        ctx.localPaths = paths;
        ctx.localTree = folders.tree;
        ctx.Combo2->clear();
        ctx.Combo2->addItems(folders.names);
        ctx.Combo2->setCurrentIndex(0);
    });
    // Then listed whole, as "Get All Emails" lists a folder.
    PushButton3_Click(ctx);
}

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

    if (LocalSourceOpen(ctx)) {
        trap.step(__LINE__, [&] { ListFromTheDisk(ctx, RunKind::GetAll); });
        trap.step(__LINE__, [&] { ctx.counters->RefreshCounters(false); });
        EndOfRun(ctx, RunKind::GetAll, trap);
        return;
    }
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

    if (LocalSourceOpen(ctx)) {
        RangeAccepted = false;
        trap.step(__LINE__, [&] { ListFromTheDisk(ctx, RunKind::GetSome); });
        // A range that was not accepted leaves the list and its counters as they were.
        if (RangeAccepted) {
            trap.step(__LINE__, [&] { ctx.counters->RefreshCounters(false); });
            ctx.counters->AccumulateChecks = false;
        }
        EndOfRun(ctx, RunKind::GetSome, trap);
        return;
    }
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
