#include "mail/MailMessage.h"
#include "mail/clsChilkatIMAP.h"
#include "messagelist/windows/MainListActions.h"
#include "messagelist/windows/MainListParts.h"
#include "messagelist/data/MessageFilter.h"
#include "messagelist/data/MessageRecord.h"
#include "messagelist/data/ListingRecorder.h"
#include "messagelist/data/MessageStore.h"
#include "platform/core/AppError.h"
#include "messagelist/windows/RetrievalRun.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/core/Yield.h"

#include <QWidget>

namespace larkspan {

namespace {

// The receiver of the session events of one main window; a session is bound to it
// at most once, and the connections end with the window or the session.
QObject *SessionEventReceiver(MainListParts &ctx)
{
    static const char *const kName = "oChilkatEvents";
    QObject *receiver = ctx.window->findChild<QObject *>(QLatin1String(kName), Qt::FindDirectChildrenOnly);
    if (!receiver) {
        receiver = new QObject(ctx.window);
        receiver->setObjectName(QLatin1String(kName));
    }
    return receiver;
}

} // namespace

void BindSessionEvents(MainListParts &ctx, const std::shared_ptr<clsChilkatIMAP> &session)
{
    if (!session)
        return;
    QObject *receiver = SessionEventReceiver(ctx);
    clsChilkatIMAP *source = session.get();
    QObject::disconnect(source, nullptr, receiver, nullptr);
    MainListParts *context = &ctx;
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

void oChilkat_MailExtractListing(MainListParts &ctx, const QString &From, const QString &FromName,
                                 const QString &FromAddress, const QString &Subject,
                                 const QString &ReceivedDate, const QString &PlainTextBody,
                                 const QString &HTMLTextBody, int)
{
    ErrorTrap trap("Form1", "oChilkat_MailExtractListing", __LINE__);
    const ListedTexts texts{From, FromName, FromAddress, Subject, ReceivedDate, PlainTextBody, HTMLTextBody};
    bool listed = true;
    trap.step(__LINE__, [&] { listed = ListingRecorder::passes(ctx.CharactersFilter, texts); });
    // The whole message goes to the store, the record keeps where. A store that cannot
    // take it ends the run: a row without its message would export nothing.
    const MailMessage *message = ctx.oChilkat ? ctx.oChilkat->ListedMessage() : nullptr;
    StoredMessage stored;
    if (listed && message) {
        stored = ctx.recorder.store(*message);
        if (!stored.isStored()) {
            listed = false;
            ctx.oChilkat->AbortProcess = true;
        }
    }
    if (listed) {
        AppendListedRow(ctx, trap, texts, [&] {
            const quint32 validity = ctx.oChilkat ? ctx.oChilkat->FolderUidValidity() : 0;
            return ctx.recorder.record(texts, stored, message, validity);
        });
    }
    YieldToEventLoop();
}

void AppendListedRow(MainListParts &ctx, ErrorTrap &trap, const ListedTexts &texts,
                     const std::function<MessageRecord()> &record)
{
    ListView *list = ctx.ListView1;
    int n = 0;
    trap.step(__LINE__, [&] {
        list->append(texts.From);
        n = list->count();
    });
    trap.step(__LINE__, [&] { Messages(n) = record(); });
    trap.step(__LINE__, [&] { list->setSubItem(n, 1, texts.FromName); });
    trap.step(__LINE__, [&] { list->setSubItem(n, 2, texts.FromAddress); });
    trap.step(__LINE__, [&] { list->setSubItem(n, 3, texts.Subject); });
    trap.step(__LINE__, [&] { list->setSubItem(n, 4, texts.ReceivedDate); });
    trap.step(__LINE__, [&] { list->setSubItem(n, 5, RecDateText(texts.ReceivedDate)); });
}

void oChilkat_ScrapProgress(MainListParts &ctx, int percent)
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
