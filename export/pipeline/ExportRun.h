#pragma once

#include "export/pipeline/ExportJob.h"
#include "export/pipeline/ExportReport.h"
#include "export/pipeline/MessagePage.h"
#include "messagelist/data/MessageRecord.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>

namespace larkspan {

class ExportDestination;
class WebPage;

// The choices of one export run.
struct ExportSettings {
    QString folder;            // the output folder, as typed; the report lives there
    PageOptions page;          // how each message's page is made
    bool skipExported = false; // "Skip emails already exported to this folder"
    QDateTime startedAt;       // the run's time in the report
    int waitLimitMs = 3 * 60 * 1000; // longest wait for a page to load or a PDF to be written
};

// An export run: its messages in order, each by an ExportJob, into the destination;
// every message gets a row in the output folder's export report, which is written
// when the run ends. Window-free: the export window drives it, and so can a program
// without windows. The run goes on in the event loop; start() returns at once and
// finished() tells the end.
//
// With two printing pages, two messages are in flight: while one page prints, the
// next message's page loads in the other, and it starts printing while the first PDF
// is being completed and written. Everything that is seen stays in the messages'
// order: their turns (messageStarting), names, report rows and outcomes. The pages are
// written into a private folder of the run, removed when it ends.
class ExportRun : public QObject {
    Q_OBJECT
public:
    enum class Stop {
        Now,                // the message being exported ends as cancelled at once
        WhenPrinted,        // it ends as cancelled when its print ends
        AfterCurrentMessage // it is exported as usual; no further one starts
    };

    // printingPages: one or two pages to load and print the messages in.
    ExportRun(const ExportSettings &settings, ExportDestination &destination, const QList<WebPage *> &printingPages,
              QObject *parent = nullptr);
    ~ExportRun() override;

    // The messages, numbered from 1 in this order (their "<Count>").
    void setMessages(const RecordArray &records);
    // Instead: one message whose page is loaded already in page, printed to path.
    // A message's turn comes when every message before it has ended.
    void setLoadedPage(int count, const MessageRecord &record, WebPage *page, const QString &path,
                       const QString &pageFailure);
    // Where unexpected failures of a step are reported; the run goes on after them.
    void setErrorReporter(std::function<void(const QString &description)> report);

    void start();
    // start(), then waits with the event loop running until the run has ended.
    void exec();
    void stop(Stop how);

    bool isFinished() const { return m_finished; }
    bool wasStopped() const { return m_stop.has_value(); }
    int total() const { return m_total; }

    const ExportReport &report() const { return *m_report; }
    // Why the report could not be written; empty when it was (or had a problem of its
    // own, report().problem()).
    QString reportSaveProblem() const { return m_saveProblem; }
    // Why the destination could not finish its work; empty when it did.
    QString destinationProblem() const { return m_destinationProblem; }
    // The one file the destination wrote at the end (the PDF for all), or why none was
    // needed; both empty for one PDF per message.
    QString deliveredFile() const { return m_delivered; }
    QString nothingDelivered() const { return m_nothingDelivered; }
    // Outcomes of the messages handled, in their order.
    const QList<ExportOutcome> &outcomes() const { return m_outcomes; }
    // "n. Subject: reason" for every message that failed.
    const QStringList &failures() const { return m_failures; }
    // "n. Subject: PDF created without its attachments: reason".
    const QStringList &withoutAttachments() const { return m_withoutAttachments; }
    bool anyPrinted() const { return m_anyPrinted; }
    int exportedCount() const { return m_exported; }

    // The closing words about the report: counts, its name, and what went wrong with
    // it. skipAsked: the user asked to skip what was exported before.
    QString reportSummary(bool skipAsked) const;
    // The named messages as the closing message lists them: the first twenty, then how
    // many more.
    static QString listed(const QStringList &named);
    // "n. Subject" ("(no subject)" when it has none).
    static QString describe(int count, const MessageRecord &record);
    // The private folder the runs of this program write their pages into.
    static QString privatePageFolder();

signals:
    // Message count of total has its turn: every message before it has ended. A
    // handler may yield to the event loop; a stop asked for meanwhile ends the run
    // before this message.
    void messageStarting(int count, int total);
    void pageWritten(int count, const QString &path, const QString &failure);
    void messageFinished(int count, const larkspan::ExportOutcome &outcome);
    // Every message has ended; the destination completes its work now (the one PDF
    // for all is put together).
    void finishing();
    void finished();

private:
    struct InFlight {
        ExportJob *job;
        bool hadTurn = false;
    };
    void advance();
    bool takeTurnOrCollect();
    bool prepareAhead();
    void startPrints();
    void collect(ExportJob *job, bool hadTurn);
    void finish();
    void writeReportRows();
    ExportJob *newJob();

    ExportSettings m_settings;
    ExportDestination &m_destination;
    ExportJobContext m_context;
    std::unique_ptr<ExportReport> m_report;
    QString m_runTime;
    RecordArray m_records;
    int m_total = 0;
    int m_prepared = 0; // messages given to a job so far
    QList<QPointer<WebPage>> m_pages;
    QString m_pageFolder; // where this run writes its pages; empty until it writes one
    std::deque<InFlight> m_flight; // in the messages' order
    // A message whose page is loaded already (the preview).
    struct LoadedPage {
        int count;
        MessageRecord record;
        QPointer<WebPage> page;
        QString path;
        QString failure;
    };
    std::optional<LoadedPage> m_loaded;
    std::optional<Stop> m_stop;
    bool m_started = false;
    bool m_finished = false;
    bool m_inAdvance = false;
    bool m_advanceAgain = false;

    QList<ExportOutcome> m_outcomes;
    QList<MessageRecord> m_handled; // the records of m_outcomes
    bool m_finishing = false;
    QStringList m_failures;
    QStringList m_withoutAttachments;
    bool m_anyPrinted = false;
    int m_exported = 0;
    QString m_saveProblem;
    QString m_destinationProblem;
    QString m_delivered;
    QString m_nothingDelivered;
};

} // namespace larkspan
