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
    QString folder; // the output folder
    PageOptions page;
    ExportDestination *destination = nullptr;
    const ExportReport *report = nullptr; // what earlier runs exported
    bool skipping = false; // skip what the report lists as exported, its PDF still there
    int waitLimitMs = 3 * 60 * 1000;
    // Unexpected failures of a step, for the error report (the job goes on).
    std::function<void(const QString &description)> reportError;
};

// One message to one PDF: the skip check, its page, its name, loading the page, and
// printing it with the message's record. The run says when a loaded page may print,
// so that two messages can be in flight and their PDFs still come in order. A job
// ends with exactly one finished() signal; its outcome is read then. A job that needs
// no waiting (a skipped message, a page or a name that failed) finishes inside
// prepare().
class ExportJob : public QObject {
    Q_OBJECT
public:
    enum class Phase { Idle, Loading, Loaded, Printing, Rendered, Done };

    // A message whose page the job writes to pageFile and loads into page.
    ExportJob(const ExportJobContext &context, int count, const MessageRecord &record, WebPage *page,
              const QString &pageFile, QObject *parent = nullptr);
    // A message whose page is loaded already in page (the preview), named path already;
    // pageFailure says why that page could not be made (it is not printed then).
    static ExportJob *forLoadedPage(const ExportJobContext &context, int count, const MessageRecord &record,
                                    WebPage *page, const QString &path, const QString &pageFailure,
                                    QObject *parent = nullptr);

    // Up to a loaded page: skip check, page, name, loading.
    void prepare();
    // Prints the loaded page into its PDF, with the message's record inside.
    void print();
    // Ends the job as cancelled. now: at once, abandoning what it loads or prints;
    // otherwise when the print it waits for ends (the caller stops the page to end it
    // sooner). A job that has not begun printing ends at once either way.
    void cancel(bool now);

    Phase phase() const { return m_phase; }
    bool isFinished() const { return m_phase == Phase::Done; }
    // Loading or printing in its page: the page is not free for another message.
    bool holdsPage() const { return m_phase != Phase::Idle && m_phase != Phase::Done && !m_pageLoaded; }
    const ExportOutcome &outcome() const { return m_outcome; }
    int count() const { return m_count; }
    const MessageRecord &record() const { return m_record; }
    WebPage *page() const;

signals:
    // The page file was written (failure empty) or could not be (path empty).
    void pageWritten(const QString &path, const QString &failure);
    void loaded();
    // The engine has rendered the page; the PDF is completed and written now, and
    // finished() follows before anything else happens.
    void rendered();
    void finished();

private:
    bool skipped();
    bool pageMade();
    bool named();
    void onPageChanged();
    void onPrinted(bool ok, const QString &path, const QString &error);
    void fail(const QString &failure, const QString &listed = QString());
    void end(ExportOutcome::State state);
    void arm(const QString &failureWhenLate);

    ExportJobContext m_context;
    int m_count;
    MessageRecord m_record;
    QPointer<WebPage> m_page;
    QString m_pageFile;
    bool m_pageLoaded = false; // the page was loaded by someone else (the preview)
    QString m_presetFailure;
    MessageContent m_content; // read once for the page and the record
    PageContent m_shown;      // what the page shows
    Phase m_phase = Phase::Idle;
    bool m_cancelRequested = false;
    ExportOutcome m_outcome;
    QTimer m_limit;
    QString m_lateFailure;
    QList<QMetaObject::Connection> m_pageConnections;
};

} // namespace larkspan
