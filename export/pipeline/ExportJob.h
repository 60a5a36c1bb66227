#pragma once

#include "export/pipeline/MessagePage.h"
#include "messagelist/data/MessageRecord.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

namespace larkspan {

class ExportDestination;
class ExportReport;
class WebPage;

// How one message's export ended.
struct ExportOutcome {
    enum class State { Pending, Exported, Skipped, Failed, Cancelled };
    State state = State::Pending;
    QString path;          // the PDF: written, aimed at, or (skipped) written by an earlier run
    QString failure;       // Failed: why, as the report gives it
    QString listedFailure; // Failed: why, as the closing message lists it
    QString recordWarning; // Exported without its embedded files: why
    bool printed = false;  // the page went to the printer
};

// What every job of one run shares.
struct ExportJobContext {
    QString folder;  // the output folder, as the report names files relative to it
    QString runTime; // the report's time for this run
    PageOptions page;
    QString pageFile; // where a job writes the page it loads
    WebPage *printingPage = nullptr;
    ExportDestination *destination = nullptr;
    ExportReport *report = nullptr;
    bool skipping = false; // skip what the report lists as exported, its PDF still there
    int waitLimitMs = 3 * 60 * 1000;
    // Unexpected failures of a step, for the error report (the job goes on).
    std::function<void(const QString &description)> reportError;
};

// One message to one PDF: the skip check, its page, its name, loading and printing the
// page with the message's record, and its row in the report. A job ends with exactly
// one finished() signal; its outcome is read then. A job that needs no waiting (a
// skipped message, a page or a name that failed) finishes inside start().
class ExportJob : public QObject {
    Q_OBJECT
public:
    // A message whose page the job writes and loads into the context's printing page.
    ExportJob(const ExportJobContext &context, int count, const MessageRecord &record, QObject *parent = nullptr);
    // A message whose page is already loaded in page (the preview), named path already;
    // pageFailure says why that page could not be made (it is not printed then).
    static ExportJob *forLoadedPage(const ExportJobContext &context, int count, const MessageRecord &record,
                                    WebPage *page, const QString &path, const QString &pageFailure,
                                    QObject *parent = nullptr);

    void start();
    // Ends the job as cancelled. now: at once, leaving whatever it waits for; otherwise
    // when the print it waits for ends (the caller stops the page to end it sooner).
    void cancel(bool now);

    bool isFinished() const { return m_finished; }
    const ExportOutcome &outcome() const { return m_outcome; }
    int count() const { return m_count; }
    const MessageRecord &record() const { return m_record; }

signals:
    // The page file was written (failure empty) or could not be (path empty).
    void pageWritten(const QString &path, const QString &failure);
    void finished();

private:
    enum class Step { Idle, Loading, Printing, Done };

    void run();
    bool skipped();
    bool pageMade();
    bool named();
    void load();
    void onPageChanged();
    void print();
    void onPrinted(bool ok, const QString &path, const QString &error);
    void fail(const QString &failure, const QString &listed = QString());
    void end(ExportOutcome::State state);
    void arm(const QString &failureWhenLate);

    ExportJobContext m_context;
    int m_count;
    MessageRecord m_record;
    QPointer<WebPage> m_page;
    MessageContent m_content; // read once for the page and the record
    PageContent m_shown;      // what the page shows
    bool m_pageLoaded = false;
    QString m_presetFailure;
    Step m_step = Step::Idle;
    bool m_cancelRequested = false;
    bool m_finished = false;
    ExportOutcome m_outcome;
    QTimer m_limit;
    QString m_lateFailure;
    QMetaObject::Connection m_pageConnection;
};

} // namespace larkspan
