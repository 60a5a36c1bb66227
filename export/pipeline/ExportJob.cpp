#include "export/pipeline/ExportJob.h"

#include "export/pipeline/DocumentRecord.h"
#include "export/pipeline/ExportDestination.h"
#include "export/pipeline/ExportReport.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/FileHelpers.h"
#include "platform/core/Logging.h"
#include "platform/web/WebPage.h"

namespace larkspan {

namespace {

// The PDF's name as the report gives it: relative to the output folder.
QString ReportedFile(const QString &folder, const QString &path)
{
    return path.startsWith(folder) ? path.mid(folder.size()) : path;
}

QString WithoutAttachments(const QString &reason)
{
    return QStringLiteral("PDF created without its attachments: ") + reason;
}

} // namespace

ExportJob::ExportJob(const ExportJobContext &context, int count, const MessageRecord &record, QObject *parent)
    : QObject(parent), m_context(context), m_count(count), m_record(record), m_page(context.printingPage)
{
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] { fail(m_lateFailure); });
}

ExportJob *ExportJob::forLoadedPage(const ExportJobContext &context, int count, const MessageRecord &record,
                                    WebPage *page, const QString &path, const QString &pageFailure, QObject *parent)
{
    auto *job = new ExportJob(context, count, record, parent);
    job->m_page = page;
    job->m_pageLoaded = true;
    job->m_outcome.path = path;
    job->m_presetFailure = pageFailure;
    return job;
}

void ExportJob::start()
{
    if (m_step != Step::Idle || m_finished)
        return;
    run();
}

void ExportJob::run()
{
    if (skipped())
        return;
    if (m_pageLoaded) {
        if (!m_presetFailure.isEmpty()) {
            fail(QStringLiteral("The page of this message could not be written: ") + m_presetFailure);
            return;
        }
        print();
        return;
    }
    if (!pageMade() || !named())
        return;
    load();
}

bool ExportJob::skipped()
{
    if (!m_context.skipping)
        return false;
    const QString done = m_context.report->exportedFile(m_record);
    if (done.isEmpty())
        return false;
    m_outcome.path = m_context.folder + done;
    m_context.report->add(m_context.runTime, m_record, done, ExportReport::Status::Skipped,
                          QStringLiteral("already exported to this folder"));
    end(ExportOutcome::State::Skipped);
    return true;
}

bool ExportJob::pageMade()
{
    try {
        m_content = ReadMessageContent(m_record);
        m_shown = WriteMessagePage(m_record, m_content, m_context.page, m_context.pageFile);
    } catch (...) {
        const QString reason = DescribeException(std::current_exception());
        if (m_context.reportError)
            m_context.reportError(reason);
        emit pageWritten(QString(), reason);
        qCDebug(lcExport).noquote() << "message" << m_count << "not printed, its page failed:" << reason;
        fail(QStringLiteral("its page could not be written: ") + reason);
        return false;
    }
    emit pageWritten(m_context.pageFile, QString());
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

void ExportJob::load()
{
    m_step = Step::Loading;
    m_pageConnection = connect(m_page, &WebPage::stateChanged, this, &ExportJob::onPageChanged);
    arm(QStringLiteral("The page did not finish loading."));
    m_page->navigate(m_context.pageFile);
}

void ExportJob::onPageChanged()
{
    if (m_step != Step::Loading || !m_page || m_page->readyState() != WebPage::Complete)
        return;
    if (m_page->queryStatusPrint() != WebPage::PrintReady)
        return; // the print command comes with the complete document
    disconnect(m_pageConnection);
    m_limit.stop();
    print();
}

void ExportJob::print()
{
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
        record = DocumentRecordFor(m_record, m_content, m_outcome.path, &warning);
        m_content = MessageContent(); // the record holds what is still needed
    } catch (...) {
        warning = DescribeException(std::current_exception());
    }
    m_outcome.recordWarning = warning;
    m_step = Step::Printing;
    m_pageConnection = connect(m_page, &WebPage::printFinished, this, &ExportJob::onPrinted);
    if (!m_page->printWithoutPrompt(record)) {
        disconnect(m_pageConnection);
        fail(QStringLiteral("The page was not ready to print."));
        return;
    }
    arm(QStringLiteral("The PDF file was not written within %1 minutes.").arg(m_context.waitLimitMs / 60000.0, 0, 'g', 3));
}

void ExportJob::onPrinted(bool ok, const QString &path, const QString &error)
{
    if (m_step != Step::Printing)
        return;
    disconnect(m_pageConnection);
    m_limit.stop();
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
    if (m_finished)
        return;
    m_cancelRequested = true;
    if (now || m_step != Step::Printing)
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
    if (m_finished)
        return;
    m_finished = true;
    m_step = Step::Done;
    m_limit.stop();
    disconnect(m_pageConnection);
    m_outcome.state = state;
    const QString file = ReportedFile(m_context.folder, m_outcome.path);
    switch (state) {
    case ExportOutcome::State::Cancelled:
        m_context.report->add(m_context.runTime, m_record, file, ExportReport::Status::Cancelled,
                              QStringLiteral("the export was cancelled"));
        break;
    case ExportOutcome::State::Failed:
        m_context.report->add(m_context.runTime, m_record, file, ExportReport::Status::Failed, m_outcome.failure);
        break;
    case ExportOutcome::State::Exported:
        m_context.report->add(m_context.runTime, m_record, file, ExportReport::Status::Exported,
                              m_outcome.recordWarning.isEmpty() ? QString() : WithoutAttachments(m_outcome.recordWarning));
        break;
    case ExportOutcome::State::Skipped: // its row is added where the earlier file is known
    case ExportOutcome::State::Pending:
        break;
    }
    qCDebug(lcExport).noquote() << "message" << m_count << "->" << m_outcome.path << ":"
                                << (state == ExportOutcome::State::Failed ? m_outcome.failure : QStringLiteral("ended"));
    emit finished();
}

} // namespace larkspan
