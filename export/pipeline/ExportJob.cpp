#include "export/pipeline/ExportJob.h"

#include "export/pipeline/DocumentRecord.h"
#include "export/pipeline/ExportDestination.h"
#include "export/pipeline/ExportReport.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/FileHelpers.h"
#include "platform/core/Logging.h"
#include "platform/web/WebPage.h"

namespace larkspan {

ExportJob::ExportJob(const ExportJobContext &context, int count, const MessageRecord &record, WebPage *page,
                     const QString &pageFile, QObject *parent)
    : QObject(parent), m_context(context), m_count(count), m_record(record), m_page(page), m_pageFile(pageFile)
{
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        if (m_page && (m_phase == Phase::Loading || m_phase == Phase::Printing))
            m_page->stop(); // nothing more of this message may arrive late
        fail(m_lateFailure);
    });
}

ExportJob *ExportJob::forLoadedPage(const ExportJobContext &context, int count, const MessageRecord &record,
                                    WebPage *page, const QString &path, const QString &pageFailure, QObject *parent)
{
    auto *job = new ExportJob(context, count, record, page, QString(), parent);
    job->m_pageLoaded = true;
    job->m_outcome.path = path;
    job->m_presetFailure = pageFailure;
    return job;
}

WebPage *ExportJob::page() const
{
    return m_page;
}

void ExportJob::prepare()
{
    if (m_phase != Phase::Idle)
        return;
    if (skipped())
        return;
    if (m_pageLoaded) {
        if (!m_presetFailure.isEmpty()) {
            fail(QStringLiteral("The page of this message could not be written: ") + m_presetFailure);
            return;
        }
        m_phase = Phase::Loaded;
        emit loaded();
        return;
    }
    if (!pageMade() || !named())
        return;
    m_phase = Phase::Loading;
    m_pageConnections << connect(m_page, &WebPage::stateChanged, this, &ExportJob::onPageChanged);
    arm(QStringLiteral("The page did not finish loading."));
    m_page->navigate(m_pageFile);
}

bool ExportJob::skipped()
{
    if (!m_context.skipping)
        return false;
    const QString done = m_context.report->exportedFile(m_record);
    if (done.isEmpty())
        return false;
    m_outcome.path = m_context.folder + done;
    end(ExportOutcome::State::Skipped);
    return true;
}

bool ExportJob::pageMade()
{
    try {
        m_content = ReadMessageContent(m_record);
        m_shown = WriteMessagePage(m_record, m_content, m_context.page, m_pageFile);
    } catch (...) {
        const QString reason = DescribeException(std::current_exception());
        if (m_context.reportError)
            m_context.reportError(reason);
        emit pageWritten(QString(), reason);
        qCDebug(lcExport).noquote() << "message" << m_count << "not printed, its page failed:" << reason;
        fail(QStringLiteral("its page could not be written: ") + reason);
        return false;
    }
    emit pageWritten(m_pageFile, QString());
    return true;
}

bool ExportJob::named()
{
    QList<AppError> failures;
    QString path;
    try {
        path = m_context.destination->pathFor(m_count, m_record, &failures);
    } catch (...) {
        failures << AppError(DescribeException(std::current_exception()));
    }
    if (m_context.reportError)
        for (const AppError &failure : std::as_const(failures))
            m_context.reportError(failure.description());
    if (path.isEmpty()) {
        fail(QStringLiteral("invalid output file name"), QStringLiteral("invalid output file name."));
        return false;
    }
    m_outcome.path = path;
    return true;
}

void ExportJob::arm(const QString &failureWhenLate)
{
    m_lateFailure = failureWhenLate;
    m_limit.start(m_context.waitLimitMs);
}

void ExportJob::onPageChanged()
{
    if (m_phase != Phase::Loading || !m_page || m_page->readyState() != WebPage::Complete)
        return;
    if (m_page->queryStatusPrint() != WebPage::PrintReady)
        return; // the print command comes with the complete document
    for (const auto &connection : std::as_const(m_pageConnections))
        disconnect(connection);
    m_pageConnections.clear();
    m_limit.stop();
    m_phase = Phase::Loaded;
    emit loaded();
}

void ExportJob::print()
{
    if (m_phase != Phase::Loaded)
        return;
    if (!m_page) {
        fail(QStringLiteral("The page to print is gone."));
        return;
    }
    m_outcome.printed = true;
    QString warning;
    PdfRecord record;
    try {
        if (m_pageLoaded) { // the page was made for the preview: the message is read now
            m_content = ReadMessageContent(m_record);
            m_shown = ComposePageContent(m_content.bodies, m_context.page);
        }
        record = DocumentRecordFor(m_record, m_content, m_shown, m_outcome.path, &warning);
        m_content = MessageContent(); // the record holds what is still needed
    } catch (...) {
        warning = DescribeException(std::current_exception());
    }
    m_outcome.recordWarning = warning;
    m_phase = Phase::Printing;
    m_pageConnections << connect(m_page, &WebPage::printRendered, this, [this] {
        if (m_phase != Phase::Printing)
            return;
        m_phase = Phase::Rendered;
        emit rendered();
    });
    m_pageConnections << connect(m_page, &WebPage::printFinished, this, &ExportJob::onPrinted);
    // Handed over only now: a page loaded ahead must not take this one's name.
    m_context.destination->handOff(m_outcome.path);
    if (!m_page->printWithoutPrompt(record)) {
        fail(QStringLiteral("The page was not ready to print."));
        return;
    }
    arm(QStringLiteral("The PDF file was not written within %1 minutes.").arg(m_context.waitLimitMs / 60000.0, 0, 'g', 3));
}

void ExportJob::onPrinted(bool ok, const QString &path, const QString &error)
{
    if (m_phase != Phase::Printing && m_phase != Phase::Rendered)
        return;
    if (m_cancelRequested) {
        end(ExportOutcome::State::Cancelled);
        return;
    }
    const QString written = path.isEmpty() ? m_outcome.path : path;
    if (!ok) {
        fail(error.isEmpty() ? QStringLiteral("The PDF file could not be written.") : error);
        return;
    }
    if (!FileExistsOnDisk(written)) {
        fail(QStringLiteral("The PDF file did not appear at \"%1\".").arg(written));
        return;
    }
    if (m_outcome.recordWarning.isEmpty() && m_page)
        m_outcome.recordWarning = m_page->lastRecordWarning();
    end(ExportOutcome::State::Exported);
}

void ExportJob::cancel(bool now)
{
    if (isFinished())
        return;
    m_cancelRequested = true;
    const bool printing = m_phase == Phase::Printing || m_phase == Phase::Rendered;
    if (printing && !now)
        return;
    if (m_page && (m_phase == Phase::Loading || printing))
        m_page->stop(); // abandons the load or the print: nothing of it is written
    end(ExportOutcome::State::Cancelled);
}

void ExportJob::fail(const QString &failure, const QString &listed)
{
    if (m_cancelRequested) {
        end(ExportOutcome::State::Cancelled);
        return;
    }
    m_outcome.failure = failure;
    m_outcome.listedFailure = listed.isEmpty() ? failure : listed;
    end(ExportOutcome::State::Failed);
}

void ExportJob::end(ExportOutcome::State state)
{
    if (isFinished())
        return;
    m_phase = Phase::Done;
    m_limit.stop();
    for (const auto &connection : std::as_const(m_pageConnections))
        disconnect(connection);
    m_pageConnections.clear();
    m_outcome.state = state;
    qCDebug(lcExport).noquote() << "message" << m_count << "->" << m_outcome.path << ":"
                                << (state == ExportOutcome::State::Failed ? m_outcome.failure : QStringLiteral("ended"));
    emit finished();
}

} // namespace larkspan
