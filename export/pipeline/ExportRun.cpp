#include "export/pipeline/ExportRun.h"

#include "export/pipeline/ExportDestination.h"
#include "platform/core/ProgramFolder.h"
#include "platform/web/WebPage.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>

namespace larkspan {

namespace {

constexpr int kListedNames = 20;
constexpr int kMostInFlight = 2; // a third page in flight gave nothing more

// A run's time in the report: ISO 8601 with the offset from UTC, to the millisecond,
// so that two runs in one second (a scheduled run after a manual one) stay apart.
QString IsoTime(const QDateTime &when)
{
    return when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// For the name of a damaged report kept aside: no characters a file system refuses.
QString ReportStamp(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
}

// The PDF's name as the report gives it: relative to the output folder.
QString ReportedFile(const QString &folder, const QString &path)
{
    return path.startsWith(folder) ? path.mid(folder.size()) : path;
}

// Runs at one time in this program, each with its own page folder.
int g_runsWritingPages = 0;

} // namespace

QString ExportRun::privatePageFolder()
{
    return TempFolder() + QStringLiteral("/larkspan-pages-%1").arg(QCoreApplication::applicationPid());
}

ExportRun::ExportRun(const ExportSettings &settings, ExportDestination &destination,
                     const QList<WebPage *> &printingPages, QObject *parent)
    : QObject(parent), m_settings(settings), m_destination(destination),
      m_report(std::make_unique<ExportReport>(settings.folder, ReportStamp(settings.startedAt))),
      m_runTime(IsoTime(settings.startedAt))
{
    for (WebPage *page : printingPages.mid(0, kMostInFlight))
        m_pages << page;
    m_context.folder = settings.folder;
    m_context.page = settings.page;
    m_context.destination = &destination;
    m_context.report = m_report.get();
    m_context.skipping = settings.skipExported && m_report->knowsEarlierRuns();
    m_context.waitLimitMs = settings.waitLimitMs;
}

ExportRun::~ExportRun()
{
    for (const InFlight &entry : m_flight) {
        entry.job->disconnect(this);
        entry.job->cancel(true);
    }
    if (!m_pageFolder.isEmpty()) {
        QDir(m_pageFolder).removeRecursively();
        --g_runsWritingPages;
    }
}

void ExportRun::setMessages(const RecordArray &records)
{
    m_records = records;
    m_total = records.upperBound();
    m_loaded.reset();
}

void ExportRun::setLoadedPage(int count, const MessageRecord &record, WebPage *page, const QString &path,
                              const QString &pageFailure)
{
    m_loaded = LoadedPage{count, record, page, path, pageFailure};
    m_records.redim(0);
    m_total = 1;
}

void ExportRun::setErrorReporter(std::function<void(const QString &)> report)
{
    m_context.reportError = std::move(report);
}

void ExportRun::start()
{
    if (m_started)
        return;
    m_started = true;
    advance();
}

void ExportRun::exec()
{
    start();
    if (m_finished)
        return;
    QEventLoop loop;
    connect(this, &ExportRun::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

void ExportRun::stop(Stop how)
{
    if (m_finished)
        return;
    if (m_finishing) {
        m_stop = how;
        m_destination.cancelFinish();
        return;
    }
    if (!m_stop || how == Stop::Now)
        m_stop = how;
    // A message whose turn has not come is given up at once; the one whose turn it is
    // ends as asked.
    const std::deque<InFlight> flight = m_flight;
    for (const InFlight &entry : flight) {
        if (!entry.hadTurn)
            entry.job->cancel(true);
        else if (how != Stop::AfterCurrentMessage)
            entry.job->cancel(how == Stop::Now);
    }
    advance();
}

ExportJob *ExportRun::newJob()
{
    const int count = ++m_prepared;
    if (m_loaded)
        return ExportJob::forLoadedPage(m_context, m_loaded->count, m_loaded->record, m_loaded->page, m_loaded->path,
                                        m_loaded->failure, this);
    // The page no message in flight holds, and a page file of its own.
    int slot = 0;
    while (slot < m_pages.size() &&
           std::any_of(m_flight.begin(), m_flight.end(),
                       [&](const InFlight &entry) { return entry.job->holdsPage() && entry.job->page() == m_pages[slot]; }))
        ++slot;
    if (m_pageFolder.isEmpty()) {
        m_pageFolder = privatePageFolder() + (g_runsWritingPages > 0 ? QStringLiteral("-%1").arg(g_runsWritingPages + 1) : QString());
        ++g_runsWritingPages;
        // Owner only: the pages hold mail.
        QDir().mkpath(m_pageFolder);
        QFile::setPermissions(m_pageFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    WebPage *page = m_pages.value(slot);
    return new ExportJob(m_context, count, m_records(count), page,
                         m_pageFolder + QStringLiteral("/page-%1.html").arg(slot + 1), this);
}

// Moves the run on as far as it can go now: turns and outcomes in order, pages loaded
// ahead, prints started. Called whenever a job moves; a call made while it runs (a
// handler of messageStarting yielded) makes it go round once more.
void ExportRun::advance()
{
    if (m_inAdvance) {
        m_advanceAgain = true;
        return;
    }
    m_inAdvance = true;
    do {
        m_advanceAgain = false;
        while (!m_finished && !m_finishing && (takeTurnOrCollect() || prepareAhead()))
            ;
        if (!m_finished && !m_finishing)
            startPrints();
        if (!m_finished && !m_finishing && m_flight.empty() && (m_stop || m_prepared >= m_total)) {
            // From the event loop, not from inside the signal that ended the last message
            // (a print job's end): the destination may still use the page to render.
            m_finishing = true;
            QMetaObject::invokeMethod(this, &ExportRun::finish, Qt::QueuedConnection);
        }
    } while (m_advanceAgain && !m_finished && !m_finishing);
    m_inAdvance = false;
}

// The oldest message in flight: its turn, or its outcome once it has ended. True when
// something happened.
bool ExportRun::takeTurnOrCollect()
{
    if (m_flight.empty())
        return false;
    InFlight &oldest = m_flight.front();
    if (!oldest.hadTurn) {
        if (m_stop) {
            // Its turn never came: it leaves no trace, unless its PDF was written.
            ExportJob *job = oldest.job;
            m_flight.pop_front();
            job->cancel(true);
            if (job->outcome().state == ExportOutcome::State::Exported)
                collect(job, false);
            job->deleteLater();
            return true;
        }
        oldest.hadTurn = true;
        ExportJob *job = oldest.job;
        emit messageStarting(job->count(), m_loaded ? 1 : m_total);
        // A stop asked for while the handler yielded ends the run before this message:
        // it goes as one whose turn never came.
        if (m_stop && !m_flight.empty() && m_flight.front().job == job)
            m_flight.front().hadTurn = false;
        return true;
    }
    if (!oldest.job->isFinished())
        return false;
    ExportJob *job = oldest.job;
    m_flight.pop_front();
    collect(job, true);
    job->deleteLater();
    return true;
}

// Starts the next message while there is room for one more in flight.
bool ExportRun::prepareAhead()
{
    const int room = m_loaded ? 1 : std::max<int>(1, int(m_pages.size()));
    if (m_stop || m_prepared >= m_total || int(m_flight.size()) >= room)
        return false;
    ExportJob *job = newJob();
    m_flight.push_back(InFlight{job});
    connect(job, &ExportJob::pageWritten, this,
            [this, job](const QString &path, const QString &failure) { emit pageWritten(job->count(), path, failure); });
    connect(job, &ExportJob::loaded, this, &ExportRun::advance);
    connect(job, &ExportJob::rendered, this, &ExportRun::advance);
    connect(job, &ExportJob::finished, this, &ExportRun::advance);
    job->prepare();
    return true;
}

// A loaded page prints when its message's turn has come, or as soon as the PDF before
// it is rendered and being written: the engine renders the one while this thread
// completes the other, and the PDFs still end in order.
void ExportRun::startPrints()
{
    for (size_t i = 0; i < m_flight.size(); ++i) {
        ExportJob *job = m_flight[i].job;
        if (job->phase() != ExportJob::Phase::Loaded)
            continue;
        const bool mayPrint = i == 0 ? m_flight[0].hadTurn
                                     : m_flight[i - 1].hadTurn && (m_flight[i - 1].job->phase() == ExportJob::Phase::Rendered ||
                                                                   m_flight[i - 1].job->isFinished());
        if (mayPrint && !m_stop)
            job->print();
    }
}

void ExportRun::collect(ExportJob *job, bool hadTurn)
{
    const ExportOutcome &outcome = job->outcome();
    m_outcomes << outcome;
    m_handled << job->record();
    if (outcome.printed && hadTurn)
        m_anyPrinted = true;
    const MessageRecord &record = job->record();
    switch (outcome.state) {
    case ExportOutcome::State::Exported:
        m_anyPrinted = true;
        if (m_destination.deliversEachMessage())
            ++m_exported;
        else
            m_destination.keep(job->count(), record, outcome.path);
        if (!outcome.recordWarning.isEmpty())
            m_withoutAttachments << describe(job->count(), record) +
                                        QStringLiteral(": PDF created without its attachments: ") + outcome.recordWarning;
        break;
    case ExportOutcome::State::Failed:
        m_failures << describe(job->count(), record) + QStringLiteral(": ") + outcome.listedFailure;
        break;
    default:
        break;
    }
    emit messageFinished(job->count(), outcome);
}

// A row per message handled, in their order. The messages of a PDF for all name that
// file, and say what became of it.
void ExportRun::writeReportRows()
{
    const bool each = m_destination.deliversEachMessage();
    const QString bundle = ReportedFile(m_settings.folder, m_delivered);
    for (qsizetype i = 0; i < m_outcomes.size(); ++i) {
        const ExportOutcome &outcome = m_outcomes[i];
        const MessageRecord &record = m_handled[i];
        const QString file = each ? ReportedFile(m_settings.folder, outcome.path) : bundle;
        switch (outcome.state) {
        case ExportOutcome::State::Exported:
            if (each || !m_delivered.isEmpty()) {
                if (!each)
                    ++m_exported;
                m_report->add(m_runTime, record, file, ExportReport::Status::Exported,
                              outcome.recordWarning.isEmpty()
                                  ? QString()
                                  : QStringLiteral("PDF created without its attachments: ") + outcome.recordWarning);
            } else if (m_stop) {
                m_report->add(m_runTime, record, QString(), ExportReport::Status::Cancelled,
                              QStringLiteral("the export was cancelled"));
            } else {
                m_report->add(m_runTime, record, QString(), ExportReport::Status::Failed,
                              m_destinationProblem.isEmpty() ? QStringLiteral("the PDF was not written") : m_destinationProblem);
            }
            break;
        case ExportOutcome::State::Skipped:
            m_report->add(m_runTime, record, ReportedFile(m_settings.folder, outcome.path), ExportReport::Status::Skipped,
                          QStringLiteral("already exported to this folder"));
            break;
        case ExportOutcome::State::Failed:
            m_report->add(m_runTime, record, file, ExportReport::Status::Failed, outcome.failure);
            break;
        case ExportOutcome::State::Cancelled:
            m_report->add(m_runTime, record, file, ExportReport::Status::Cancelled, QStringLiteral("the export was cancelled"));
            break;
        case ExportOutcome::State::Pending:
            break;
        }
    }
}

void ExportRun::finish()
{
    if (m_finished)
        return;
    m_finishing = true;
    emit finishing();
    m_destinationProblem = m_destination.finish(m_stop.has_value(), m_pages.value(0));
    m_delivered = m_destination.delivered();
    m_nothingDelivered = m_destination.nothingToDeliver();
    writeReportRows();
    m_finished = true;
    m_saveProblem = m_report->problem().isEmpty() ? m_report->save() : QString();
    if (!m_pageFolder.isEmpty()) {
        QDir(m_pageFolder).removeRecursively();
        m_pageFolder.clear();
        --g_runsWritingPages;
    }
    emit finished();
}

QString ExportRun::describe(int count, const MessageRecord &record)
{
    const QString subject = record.subject();
    return QStringLiteral("%1. %2").arg(count).arg(subject.isEmpty() ? QStringLiteral("(no subject)") : subject);
}

QString ExportRun::listed(const QStringList &named)
{
    if (named.isEmpty())
        return QString();
    QStringList shown = named.mid(0, kListedNames);
    if (named.size() > kListedNames)
        shown << QStringLiteral("... and %1 more.").arg(named.size() - kListedNames);
    return QStringLiteral("\r\n\r\n") + shown.join(QStringLiteral("\r\n"));
}

QString ExportRun::reportSummary(bool skipAsked) const
{
    const ExportReport &report = *m_report;
    QString text = QStringLiteral("\r\n\r\nExported: %1, skipped: %2, failed: %3.")
                       .arg(report.count(ExportReport::Status::Exported))
                       .arg(report.count(ExportReport::Status::Skipped))
                       .arg(report.count(ExportReport::Status::Failed));
    if (!report.problem().isEmpty())
        text += QStringLiteral("\r\n") + report.problem() + QStringLiteral(" It was left as it is and this run was not added to it.");
    else if (!m_saveProblem.isEmpty())
        text += QStringLiteral("\r\nThe report \"%1\" could not be written: %2").arg(ExportReport::fileName(), m_saveProblem);
    else
        text += QStringLiteral("\r\nReport: ") + ExportReport::fileName();
    if (report.wasKeptAside())
        text += QStringLiteral("\r\nThe earlier report could not be read; it was kept aside as \"%1\"%2.")
                    .arg(report.keptAside(), skipAsked ? QStringLiteral(", so nothing was skipped") : QString());
    return text;
}

} // namespace larkspan
