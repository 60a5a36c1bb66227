#include "mail/MailMessage.h"
#include "mail/clsChilkatIMAP.h"
#include "messagelist/MainListActions.h"
#include "messagelist/MainWindowContext.h"
#include "messagelist/MessageFilter.h"
#include "messagelist/MessageRecord.h"
#include "messagelist/MessageStore.h"
#include "platform/core/AppError.h"
#include "messagelist/RetrievalRun.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/core/Yield.h"

#include <QWidget>

namespace larkspan {

namespace {

// The receiver of the session events of one main window; a session is bound to it
// at most once, and the connections end with the window or the session.
QObject *SessionEventReceiver(MainWindowContext &ctx)
{
    static const char *const kName = "oChilkatEvents";
    QObject *receiver = ctx.window->findChild<QObject *>(QLatin1String(kName), Qt::FindDirectChildrenOnly);
    if (!receiver) {
        receiver = new QObject(ctx.window);
        receiver->setObjectName(QLatin1String(kName));
    }
    return receiver;
}

// One source per listing, made again should the folder's UIDVALIDITY change under it.
std::shared_ptr<const MessageSource> ListingSource(MainWindowContext &ctx, const clsChilkatIMAP &session)
{
    const quint32 validity = session.FolderUidValidity();
    if (!ctx.ListingSource || ctx.ListingSource->uidValidity != validity ||
        ctx.ListingSource->account != session.Username || ctx.ListingSource->folder != ctx.ListingFolder)
        ctx.ListingSource = std::make_shared<const MessageSource>(MessageSource{session.Username, ctx.ListingFolder, validity});
    return ctx.ListingSource;
}

} // namespace

void BindSessionEvents(MainWindowContext &ctx, const std::shared_ptr<clsChilkatIMAP> &session)
{
    if (!session)
        return;
    QObject *receiver = SessionEventReceiver(ctx);
    clsChilkatIMAP *source = session.get();
    QObject::disconnect(source, nullptr, receiver, nullptr);
    MainWindowContext *context = &ctx;
    QObject::connect(source, &clsChilkatIMAP::MailExtractListing, receiver,
                     [context, source](const QString &From, const QString &FromName, const QString &FromAddress,
                                       const QString &Subject, const QString &ReceivedDate,
                                       const QString &PlainTextBody, const QString &HTMLTextBody, int uID) {
                         // A session the window has let go of (Stop) or replaced is no longer heard.
                         if (context->oChilkat.get() != source)
                             return;
                         oChilkat_MailExtractListing(*context, From, FromName, FromAddress, Subject, ReceivedDate,
                                                     PlainTextBody, HTMLTextBody, uID);
                     });
    QObject::connect(source, &clsChilkatIMAP::ScrapProgress, receiver, [context, source](int percent) {
        if (context->oChilkat.get() != source)
            return;
        oChilkat_ScrapProgress(*context, percent);
    });
}

void oChilkat_MailExtractListing(MainWindowContext &ctx, const QString &From, const QString &FromName,
                                 const QString &FromAddress, const QString &Subject,
                                 const QString &ReceivedDate, const QString &PlainTextBody,
                                 const QString &HTMLTextBody, int)
{
    ErrorTrap trap("Form1", "oChilkat_MailExtractListing", __LINE__);
    bool listed = true;
    trap.step(__LINE__, [&] {
        listed = PassesCharactersFilter(ctx.CharactersFilter, From, FromName, FromAddress, Subject,
                                        ReceivedDate, PlainTextBody);
    });
    // The whole message goes to the store, the record keeps where. A store that cannot
    // take it ends the run: a row without its message would export nothing.
    const MailMessage *message = ctx.oChilkat ? ctx.oChilkat->ListedMessage() : nullptr;
    StoredMessage stored;
    if (listed && message) {
        try {
            stored = MessageStore::instance().append(message->raw());
        } catch (const AppError &error) {
            listed = false;
            ctx.StoreFailure = error.description();
            ctx.oChilkat->AbortProcess = true;
        }
    }
    if (listed) {
        ListView *list = ctx.ListView1;
        int n = 0;
        trap.step(__LINE__, [&] {
            list->append(From);
            n = list->count();
        });
        trap.step(__LINE__, [&] {
            Messages(n) = stored.isStored() ? MessageRecord(From, FromName, FromAddress, Subject, ReceivedDate, stored,
                                                            message->messageId())
                                            : MessageRecord(From, FromName, FromAddress, Subject, ReceivedDate,
                                                            PlainTextBody, HTMLTextBody);
            if (message && ctx.oChilkat)
                Messages(n).setSource(ListingSource(ctx, *ctx.oChilkat), quint32(std::max<qint64>(0, message->uid())));
        });
        trap.step(__LINE__, [&] { list->setSubItem(n, 1, FromName); });
        trap.step(__LINE__, [&] { list->setSubItem(n, 2, FromAddress); });
        trap.step(__LINE__, [&] { list->setSubItem(n, 3, Subject); });
        trap.step(__LINE__, [&] { list->setSubItem(n, 4, ReceivedDate); });
        trap.step(__LINE__, [&] { list->setSubItem(n, 5, RecDateText(ReceivedDate)); });
    }
    YieldToEventLoop();
}

void oChilkat_ScrapProgress(MainWindowContext &ctx, int percent)
{
    // A report that comes in after a Stop finds no session: nothing to show.
    if (!ctx.oChilkat)
        return;
    ErrorTrap trap("Form1", "oChilkat_ScrapProgress", __LINE__);
    trap.step(__LINE__, [&] {
        ctx.ProgressBar1->setMaximum(100);
        ctx.ProgressBar1->setValue(percent);
    });
    trap.step(__LINE__, [&] {
        const clsChilkatIMAP &session = CurrentSession(ctx);
        ctx.ProgressBar1->setText(QStringLiteral("Reading mail ") + QString::number(session.CurrentLocation) +
                                  QStringLiteral(" of ") + QString::number(session.MaxRecord));
    });
    YieldToEventLoop();
}

} // namespace larkspan
