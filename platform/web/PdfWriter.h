#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPageLayout>
#include <QPointer>
#include <QString>

#include "platform/core/PdfRecord.h"

class QWebEnginePage;
class QWidget;

namespace larkspan {

class IniStore;

// One print job taken by the PDF writer. It always ends with exactly one finished()
// signal, never inside the call that created it.
class PdfPrintJob : public QObject {
    Q_OBJECT
public:
    // The path the PDF goes to (empty when the job ended before one was known).
    QString outputPath() const { return m_path; }
    bool isFinished() const { return m_finished; }
    bool succeeded() const { return m_ok; }
    // Why the job failed, in words for the user; empty on success.
    QString errorText() const { return m_error; }
    // Why a written PDF lacks its document record (information and embedded files);
    // empty when it has it or none was asked for.
    QString recordWarning() const { return m_recordWarning; }

    // Abandons the job: nothing is written, finished(false) follows.
    void cancel();

signals:
    // The page has been rendered; the PDF is being completed and written now, and
    // finished() follows before anything else this thread does.
    void rendered();
    void finished(bool ok);

private:
    friend class PdfWriter;
    explicit PdfPrintJob(QObject *parent) : QObject(parent) {}
    void finish(bool ok, const QString &error);

    QPointer<QWebEnginePage> m_page;
    QPageLayout m_layout;
    QString m_path;
    QString m_error;
    PdfRecord m_record;
    QString m_recordWarning;
    bool m_finished = false;
    bool m_ok = false;
    bool m_cancelled = false;
};

// Our PDF printer device, installed under PdfWriterDeviceName(). For each job it reads
// "OutputFile" and "BypassSaveAs" from its own per-user store; with "1" the PDF goes to
// exactly OutputFile, otherwise the user is asked for a file name. The PDF is rendered
// by the page itself and written through a temporary file in the target folder that is
// then renamed over the target, so a file present at the path is always complete and
// an existing file there is replaced. A folder that is missing or cannot be written
// fails the job with a clear error; nothing is left half-written.
class PdfWriter : public QObject {
    Q_OBJECT
public:
    static PdfWriter &instance();

    // The writer's store: application "Vornhelm PDF Writer", section "Settings".
    static IniStore store();
    static QString outputFileKey() { return QStringLiteral("OutputFile"); }
    static QString bypassSaveAsKey() { return QStringLiteral("BypassSaveAs"); }

    // Takes a job printing the page's current document with the given layout. The
    // store is read now, so a later naming cannot redirect this job. dialogOwner is
    // the parent of the save dialog when one is needed. The job belongs to the writer
    // and deletes itself some time after finished(). The record, when given, is added
    // to the rendered PDF before it is written; a PDF that cannot take it is written
    // without it (see PdfPrintJob::recordWarning).
    PdfPrintJob *print(QWebEnginePage *page, const QPageLayout &layout, QWidget *dialogOwner = nullptr,
                       const PdfRecord &record = {});

    // Jobs taken and not yet finished.
    int pendingJobs() const { return m_pending; }
    // The page is rendering a PDF at this moment (even for a job already abandoned).
    bool isRendering(QWebEnginePage *page) const { return m_rendering.value(page); }

signals:
    void jobFinished(const QString &path, bool ok, const QString &error);

private:
    PdfWriter() = default;
    void startNext(QWebEnginePage *page);
    void rendered(QWebEnginePage *page, PdfPrintJob *job, const QByteArray &pdf);
    void end(PdfPrintJob *job, bool ok, const QString &error);

    // Jobs waiting for their page; a page renders one document at a time.
    QHash<QWebEnginePage *, QList<QPointer<PdfPrintJob>>> m_queues;
    QHash<QWebEnginePage *, bool> m_rendering;
    int m_pending = 0;
};

// The folder of path must exist and accept new files; the reason in words otherwise.
QString PdfTargetProblem(const QString &path);

} // namespace larkspan
