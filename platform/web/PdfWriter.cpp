#include "platform/web/PdfWriter.h"

#include "platform/core/Dialogs.h"
#include "platform/core/FileHelpers.h"
#include "platform/core/Logging.h"
#include "platform/web/PdfWriterName.h"
#include "platform/core/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>
#include <QWebEnginePage>

namespace larkspan {

void PdfPrintJob::cancel()
{
    if (m_finished || m_cancelled)
        return;
    m_cancelled = true;
    // The page may still be rendering; its result is thrown away when it arrives.
    QTimer::singleShot(0, this, [this] { finish(false, QStringLiteral("The print job was cancelled.")); });
}

void PdfPrintJob::finish(bool ok, const QString &error)
{
    if (m_finished)
        return;
    m_finished = true;
    m_ok = ok;
    m_error = error;
    emit finished(ok);
    deleteLater();
}

PdfWriter &PdfWriter::instance()
{
    static PdfWriter *writer = new PdfWriter;
    return *writer;
}

IniStore PdfWriter::store()
{
    return IniStore(PdfWriterDeviceName(), QStringLiteral("Settings"), IniStore::Rewrite::InPlace);
}

QString PdfTargetProblem(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("No output file name was given.");
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    const QFileInfo dir(folder);
    if (!dir.exists())
        return QStringLiteral("The folder \"%1\" does not exist.").arg(QDir::toNativeSeparators(folder));
    if (!dir.isDir())
        return QStringLiteral("\"%1\" is not a folder.").arg(QDir::toNativeSeparators(folder));
    if (!dir.isWritable())
        return QStringLiteral("The folder \"%1\" cannot be written to.").arg(QDir::toNativeSeparators(folder));
    if (target.isDir())
        return QStringLiteral("\"%1\" is a folder, not a file.").arg(QDir::toNativeSeparators(path));
    return QString();
}

PdfPrintJob *PdfWriter::print(QWebEnginePage *page, const QPageLayout &layout, QWidget *dialogOwner,
                              const PdfRecord &record)
{
    auto *job = new PdfPrintJob(this);
    job->m_page = page;
    job->m_layout = layout;
    job->m_record = record;
    ++m_pending;
    connect(job, &PdfPrintJob::finished, this, [this, job](bool ok) {
        --m_pending;
        emit jobFinished(job->m_path, ok, job->m_error);
    });

    IniStore settings = store();
    QString path = settings.read(outputFileKey());
    if (settings.read(bypassSaveAsKey()) != QLatin1String("1") || path.isEmpty())
        path = Dialogs().saveFileName(dialogOwner, QStringLiteral("Save PDF File As"), path);
    job->m_path = path;

    QString problem = path.isEmpty() ? QStringLiteral("The print job was cancelled: no file name was chosen.")
                                     : PdfTargetProblem(path);
    if (problem.isEmpty() && !page)
        problem = QStringLiteral("There is no page to print.");
    if (!problem.isEmpty()) {
        QTimer::singleShot(0, job, [job, problem] { job->finish(false, problem); });
        return job;
    }

    if (!m_queues.contains(page)) {
        // A page that goes away fails whatever it still had to print.
        connect(page, &QObject::destroyed, this, [this, page] {
            const auto jobs = m_queues.take(page);
            m_rendering.remove(page);
            for (const auto &waiting : jobs)
                if (waiting)
                    waiting->finish(false, QStringLiteral("The page was closed before it was printed."));
        });
    }
    m_queues[page].append(job);
    startNext(page);
    return job;
}

void PdfWriter::startNext(QWebEnginePage *page)
{
    if (m_rendering.value(page))
        return;
    auto &queue = m_queues[page];
    while (!queue.isEmpty() && (!queue.first() || queue.first()->m_cancelled || queue.first()->m_finished))
        queue.removeFirst();
    if (queue.isEmpty())
        return;
    PdfPrintJob *job = queue.first();
    m_rendering[page] = true;
    QPointer<PdfWriter> self(this);
    QPointer<PdfPrintJob> guard(job);
    page->printToPdf(
        [self, page, guard](const QByteArray &pdf) {
            if (!self)
                return;
            self->rendered(page, guard, pdf);
        },
        job->m_layout);
}

void PdfWriter::rendered(QWebEnginePage *page, PdfPrintJob *job, const QByteArray &pdf)
{
    const auto queue = m_queues.find(page);
    if (queue != m_queues.end()) {
        m_rendering[page] = false;
        if (!queue->isEmpty() && queue->first() == job)
            queue->removeFirst();
    }
    if (job && !job->m_cancelled && !job->m_finished) {
        if (pdf.isEmpty()) {
            job->finish(false, QStringLiteral("The page could not be rendered to PDF."));
        } else {
            QPointer<PdfPrintJob> alive(job);
            emit job->rendered();
            if (!alive || job->m_cancelled || job->m_finished)
                job = nullptr; // given up on while it was told
        }
        if (job && !pdf.isEmpty()) {
            QByteArray document = pdf;
            if (!job->m_record.isEmpty()) {
                job->m_recordWarning = AddRecordToPdf(document, job->m_record);
                job->m_record = PdfRecord(); // its files may be large
                if (!job->m_recordWarning.isEmpty())
                    qCWarning(lcExport).noquote() << "the PDF for" << job->m_path
                                                  << "is written without its record:" << job->m_recordWarning;
            }
            // Checked again: the folder may have gone while the page was rendering.
            QString problem = PdfTargetProblem(job->m_path);
            if (problem.isEmpty()) {
                QSaveFile file(job->m_path);
                QString reason;
                // Unbuffered: a buffered tail that fails to reach the disk on commit
                // would still be renamed into place, cut short.
                if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                    reason = file.errorString();
                else if (reason = WriteAllBytes(file, document); reason.isEmpty() && !file.commit())
                    reason = file.errorString();
                if (!reason.isEmpty())
                    problem = QStringLiteral("The PDF file \"%1\" could not be written: %2")
                                  .arg(QDir::toNativeSeparators(job->m_path), reason);
            }
            job->finish(problem.isEmpty(), problem);
        }
    }
    if (m_queues.contains(page))
        QTimer::singleShot(0, this, [this, page] {
            if (m_queues.contains(page))
                startNext(page);
        });
}

} // namespace larkspan
