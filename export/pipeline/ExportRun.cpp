#include "export/pipeline/ExportRun.h"

#include "export/pipeline/ExportDestination.h"
#include "platform/web/WebPage.h"

#include <QEventLoop>

namespace larkspan {

namespace {

constexpr int kListedNames = 20;

// A run's time in the report: ISO 8601 with the offset from UTC.
QString IsoTime(const QDateTime &when)
{
    return when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate);
}

// For the name of a damaged report kept aside: no characters a file system refuses.
QString ReportStamp(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
}

} // namespace

ExportRun::ExportRun(const ExportSettings &settings, ExportDestination &destination, WebPage *printingPage,
                     QObject *parent)
    : QObject(parent), m_settings(settings), m_destination(destination),
      m_report(std::make_unique<ExportReport>(settings.folder, ReportStamp(settings.startedAt)))
{
    m_context.folder = settings.folder;
    m_context.runTime = IsoTime(settings.startedAt);
    m_context.page = settings.page;
    m_context.pageFile = settings.pageFile;
    m_context.printingPage = printingPage;
    m_context.destination = &destination;
    m_context.report = m_report.get();
    m_context.skipping = settings.skipExported && m_report->knowsEarlierRuns();
    m_context.waitLimitMs = settings.waitLimitMs;
}

ExportRun::~ExportRun()
{
    if (m_current)
        m_current->disconnect(this);
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
    next();
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
    if (!m_stop || how == Stop::Now)
        m_stop = how;
    if (m_current && !m_current->isFinished() && how != Stop::AfterCurrentMessage)
        m_current->cancel(how == Stop::Now);
}

// Goes from message to message. A job that finishes inside its start() (a skipped
// message) is collected by the loop at once, so a long row of them costs no stack and
// no turn of the event loop each.
void ExportRun::next()
{
    if (m_inNext)
        return; // the loop below is running already (a handler of messageStarting yielded)
    m_inNext = true;
    while (!m_finished) {
        if (m_current) {
            if (!m_current->isFinished())
                break; // its finished() brings us back
            if (!m_collected)
                collect(m_current);
            m_current->deleteLater();
            m_current = nullptr;
        }
        if (m_stop || m_index >= m_total) {
            finish();
            break;
        }
        const int count = ++m_index;
        emit messageStarting(m_loaded ? m_loaded->count : count, m_total);
        // A stop asked for while the handler yielded ends the run before this message.
        if (m_stop) {
            finish();
            break;
        }
        ExportJob *job = m_loaded ? ExportJob::forLoadedPage(m_context, m_loaded->count, m_loaded->record,
                                                             m_loaded->page, m_loaded->path, m_loaded->failure, this)
                                  : new ExportJob(m_context, count, m_records(count), this);
        m_current = job;
        m_collected = false;
        connect(job, &ExportJob::pageWritten, this,
                [this, job](const QString &path, const QString &failure) { emit pageWritten(job->count(), path, failure); });
        // Counted at once, so that the counts are right whenever they are read; but the
        // next message starts from the event loop, not from deep inside the signal that
        // ended this one (a print job's end, say).
        connect(job, &ExportJob::finished, this, [this, job] {
            if (job == m_current && !m_collected)
                collect(job);
        });
        connect(job, &ExportJob::finished, this, &ExportRun::next, Qt::QueuedConnection);
        job->start();
        if (!job->isFinished())
            break;
    }
    m_inNext = false;
}

void ExportRun::collect(ExportJob *job)
{
    m_collected = true;
    const ExportOutcome &outcome = job->outcome();
    m_outcomes << outcome;
    if (outcome.printed)
        m_anyPrinted = true;
    switch (outcome.state) {
    case ExportOutcome::State::Exported:
        ++m_exported;
        if (!outcome.recordWarning.isEmpty())
            m_withoutAttachments << describe(job->count(), job->record()) +
                                        QStringLiteral(": PDF created without its attachments: ") + outcome.recordWarning;
        break;
    case ExportOutcome::State::Failed:
        m_failures << describe(job->count(), job->record()) + QStringLiteral(": ") + outcome.listedFailure;
        break;
    default:
        break;
    }
    emit messageFinished(job->count(), outcome);
}

void ExportRun::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_destinationProblem = m_destination.finish(m_stop.has_value());
    m_saveProblem = m_report->problem().isEmpty() ? m_report->save() : QString();
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
