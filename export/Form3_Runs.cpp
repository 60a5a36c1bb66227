// The export runs: one message ("Export To PDF") and all messages ("Export All To
// PDF"), their cancel step and their waits.
#include "export/Form3.h"

#include "messagelist/RepaintPacer.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/FileHelpers.h"
#include "platform/core/Logging.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/widgets/WebBrowser.h"
#include "platform/widgets/WindowPointer.h"
#include "platform/core/Yield.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace larkspan {

namespace {
const QString kCancelCaption = QStringLiteral("Cancel Export");
const QString kExportCaption = QStringLiteral("Export To PDF");
const QString kExportAllCaption = QStringLiteral("Export All To PDF");
const QString kIdleProgress = QStringLiteral("Progress Bar");
constexpr int kListedFailures = 20;
} // namespace

// Counts the runs on the stack, so that a window closed during a run goes away only
// once the run has unwound.
class RunScope {
public:
    explicit RunScope(int &depth, Form3 *form, const bool &closing) : m_depth(depth), m_form(form), m_closing(closing) { ++m_depth; }
    ~RunScope()
    {
        if (--m_depth == 0 && m_closing)
            m_form->deleteLater();
    }

private:
    int &m_depth;
    Form3 *m_form;
    const bool &m_closing;
};

void Form3::PushButton1_Click()
{
    if (PushButton1->text() == kCancelCaption)
        cancelStep(WebBrowser1, PushButton1, kExportCaption, m_createdOne);
    else
        RunExport();
}

void Form3::PushButton2_Click()
{
    if (PushButton2->text() == kCancelCaption)
        cancelStep(WebBrowser2, PushButton2, kExportAllCaption, m_createdAll);
    else
        RunExportAll();
}

void Form3::setApplicationBusy(bool busy)
{
    if (busy && !m_appBusy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!busy && m_appBusy)
        QApplication::restoreOverrideCursor();
    m_appBusy = busy;
    pointer->setPointer(busy ? MousePointer::Hourglass : MousePointer::Default);
}

bool Form3::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &Form3::wake, &loop, [&] {
        if (done())
            loop.quit();
    });
    limit.start(timeoutMs);
    loop.exec();
    return done();
}

QString Form3::printAndWait(WebBrowser *browser, const QString &path, const PdfRecord &record, bool cancelEndsWait,
                            bool *cancelled, QString *recordWarning)
{
    *cancelled = false;
    bool finished = false;
    bool ok = false;
    QString written;
    QString error;
    const auto connection = connect(browser, &WebBrowser::printFinished, this,
                                    [&](bool success, const QString &file, const QString &reason) {
                                        finished = true;
                                        ok = success;
                                        written = file.isEmpty() ? path : file;
                                        error = reason;
                                        emit wake();
                                    });
    if (!browser->printWithoutPrompt(record)) {
        disconnect(connection);
        return QStringLiteral("The page was not ready to print.");
    }
    waitFor([&] { return finished || m_closing || (cancelEndsWait && CancelExport); }, WaitLimitMs);
    disconnect(connection);
    if (CancelExport || m_closing) {
        *cancelled = true;
        return QString();
    }
    if (!finished)
        return QStringLiteral("The PDF file was not written within %1 minutes.").arg(WaitLimitMs / 60000.0, 0, 'g', 3);
    if (!ok)
        return error.isEmpty() ? QStringLiteral("The PDF file could not be written.") : error;
    if (!FileExistsOnDisk(written))
        return QStringLiteral("The PDF file did not appear at \"%1\".").arg(written);
    if (recordWarning->isEmpty())
        *recordWarning = browser->lastRecordWarning();
    return QString();
}

namespace {
QString WithoutAttachments(const QString &reason)
{
    return QStringLiteral("PDF created without its attachments: ") + reason;
}

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

// The PDF's name as the report gives it: relative to the output folder.
QString ReportedFile(const QString &folder, const QString &path)
{
    return path.startsWith(folder) ? path.mid(folder.size()) : path;
}

// The report's row for a message that went to the printer: cancelled, failed, or
// exported (perhaps without its attachments).
void ReportPrinted(ExportReport &report, const QString &runTime, const MessageRecord &record, const QString &file,
                   bool cancelled, const QString &failure, const QString &recordWarning)
{
    if (cancelled)
        report.add(runTime, record, file, ExportReport::Status::Cancelled, QStringLiteral("the export was cancelled"));
    else if (!failure.isEmpty())
        report.add(runTime, record, file, ExportReport::Status::Failed, failure);
    else
        report.add(runTime, record, file, ExportReport::Status::Exported,
                   recordWarning.isEmpty() ? QString() : WithoutAttachments(recordWarning));
}
} // namespace

QString Form3::reportSummary(const ExportReport &report, const QString &saveProblem) const
{
    QString text = QStringLiteral("\r\n\r\nExported: %1, skipped: %2, failed: %3.")
                       .arg(report.count(ExportReport::Status::Exported))
                       .arg(report.count(ExportReport::Status::Skipped))
                       .arg(report.count(ExportReport::Status::Failed));
    if (!report.problem().isEmpty())
        text += QStringLiteral("\r\n") + report.problem() + QStringLiteral(" It was left as it is and this run was not added to it.");
    else if (!saveProblem.isEmpty())
        text += QStringLiteral("\r\nThe report \"%1\" could not be written: %2").arg(ExportReport::fileName(), saveProblem);
    else
        text += QStringLiteral("\r\nReport: ") + ExportReport::fileName();
    if (report.wasKeptAside())
        text += QStringLiteral("\r\nThe earlier report could not be read; it was kept aside as \"%1\"%2.")
                    .arg(report.keptAside(), chkSkipExported->isChecked() ? QStringLiteral(", so nothing was skipped")
                                                                          : QString());
    return text;
}

QString Form3::describeMessage(int index) const
{
    QString subject;
    if (index >= 1 && index <= Records.upperBound())
        subject = Records(index).subject();
    return QStringLiteral("%1. %2").arg(index).arg(subject.isEmpty() ? QStringLiteral("(no subject)") : subject);
}

void Form3::RunExport()
{
    ErrorTrap trap("Form3", "RunExport", __LINE__);
    RunScope scope(m_runDepth, this, m_closing);
    trap.step(__LINE__, [&] {
        PushButton1->setText(kCancelCaption);
        CancelExport = false;
    });
    if (Text1->text().isEmpty()) {
        trap.step(__LINE__, [&] {
            MsgBox(QStringLiteral("Please give input for Output Filename Option. Click Default if you are unsure."), this);
            Text1->setFocus();
            PushButton1->setText(kExportCaption);
        });
        return;
    }
    if (WebBrowser1->busy()) {
        PushButton1->setText(kExportCaption);
        return;
    }
    trap.step(__LINE__, [&] {
        setApplicationBusy(true);
        ProgressBar1->setText(QStringLiteral("Exporting to PDF... please wait."));
    });

    QString path;
    trap.step(__LINE__, [&] { path = CreatePDF_File(); });
    if (path.isEmpty()) {
        trap.step(__LINE__, [&] {
            MsgBox(QStringLiteral("Invalid output filename.\r\nPlease correct the Output Filename Option"), this);
            setApplicationBusy(false);
        });
    } else {
        m_createdOne = 0;
        bool cancelled = false;
        QString failure;
        QString recordWarning;
        const QString folder = txtBackupPath->text();
        const QString runTime = IsoTime(Now());
        ExportReport report(folder, ReportStamp(Now()));
        const QString done = chkSkipExported->isChecked() && report.knowsEarlierRuns()
                                 ? report.exportedFile(Records(CurrentIndex))
                                 : QString();
        if (!done.isEmpty())
            report.add(runTime, Records(CurrentIndex), done, ExportReport::Status::Skipped,
                       QStringLiteral("already exported to this folder"));
        else if (!m_previewFailure.isEmpty())
            failure = QStringLiteral("The page of this message could not be written: ") + m_previewFailure;
        else
            trap.step(__LINE__, [&] {
                const PdfRecord record = DocumentRecordFor(Records(CurrentIndex), path, &recordWarning);
                failure = printAndWait(WebBrowser1, path, record, false, &cancelled, &recordWarning);
            });
        if (done.isEmpty())
            ReportPrinted(report, runTime, Records(CurrentIndex), ReportedFile(folder, path), cancelled || CancelExport,
                          failure, recordWarning);
        const QString saveProblem = report.problem().isEmpty() ? report.save() : QString();
        if (m_closing)
            return;
        if (!cancelled && failure.isEmpty() && done.isEmpty())
            ++m_createdOne;
        trap.step(__LINE__, [&] {
            setApplicationBusy(false);
            if (CancelExport)
                return;
            const QString summary = reportSummary(report, saveProblem);
            if (!done.isEmpty())
                MsgBox(QStringLiteral("Done.") + summary + QStringLiteral("\r\n\r\nThis email was already exported to this folder as \"%1\".").arg(done), this);
            else if (failure.isEmpty() && !recordWarning.isEmpty())
                MsgBox(QStringLiteral("Done.") + summary + QStringLiteral("\r\n\r\n") + WithoutAttachments(recordWarning), this);
            else if (failure.isEmpty())
                MsgBox(QStringLiteral("Done.") + summary, this);
            else
                MsgBox(QStringLiteral("Failed to create the PDF file.\r\n\r\n") + path + QStringLiteral("\r\n") + failure + summary, this);
        });
    }
    trap.step(__LINE__, [&] {
        ProgressBar1->setPreciseValue(0);
        ProgressBar1->setText(kIdleProgress);
        PushButton1->setText(kExportCaption);
    });
}

void Form3::RunExportAll()
{
    ErrorTrap trap("Form3", "RunExportAll", __LINE__);
    RunScope scope(m_runDepth, this, m_closing);
    // The progress changes with every message; painting it each time cost as much as a
    // tenth of the loop's own work.
    RepaintPacer pacer(this, nullptr, 100);
    const int remembered = CurrentIndex;
    bool AnyPrinted = false;
    QStringList failures;
    QStringList withoutAttachments; // written, but their files could not go in
    const QString folder = txtBackupPath->text();
    const QString runTime = IsoTime(Now());
    ExportReport report(folder, ReportStamp(Now()));
    const bool skipping = chkSkipExported->isChecked() && report.knowsEarlierRuns();
    QSet<QString> paths;
    QSet<QString> *outerPaths = m_runPaths;
    m_runPaths = &paths;
    m_createdAll = 0;
    trap.step(__LINE__, [&] {
        CancelExport = false;
        PushButton2->setText(kCancelCaption);
        setApplicationBusy(true);
    });

    for (int i = 1; i <= RecordCount; ++i) {
        if (CancelExport || m_closing)
            break;
        trap.step(__LINE__, [&] {
            ProgressBar1->setText(QStringLiteral("Exporting to PDF [%1 of %2]...Please Wait.").arg(i).arg(RecordCount));
            ProgressBar1->setPreciseValue(double(i) / double(RecordCount) * 100.0);
            YieldToEventLoop();
        });
        // A cancel pressed during that yield ends the run before this message prints.
        if (CancelExport || m_closing)
            break;
        CurrentIndex = i;
        if (skipping) {
            const QString done = report.exportedFile(Records(i));
            if (!done.isEmpty()) {
                report.add(runTime, Records(i), done, ExportReport::Status::Skipped,
                           QStringLiteral("already exported to this folder"));
                continue;
            }
        }
        if (!trap.step(__LINE__, [&] { CreateHTMLFile(); })) {
            qCDebug(lcExport).noquote() << "message" << i << "not printed, its page failed:" << PageFailure;
            failures << describeMessage(i) + QStringLiteral(": its page could not be written: ") + PageFailure;
            report.add(runTime, Records(i), QString(), ExportReport::Status::Failed,
                       QStringLiteral("its page could not be written: ") + PageFailure);
            continue;
        }
        QString path;
        trap.step(__LINE__, [&] { path = CreatePDF_File(); });
        if (path.isEmpty()) {
            failures << describeMessage(i) + QStringLiteral(": invalid output file name.");
            report.add(runTime, Records(i), QString(), ExportReport::Status::Failed,
                       QStringLiteral("invalid output file name"));
            continue;
        }

        QString failure;
        QString recordWarning;
        bool cancelled = false;
        trap.step(__LINE__, [&] {
            WebBrowser2->navigate(HTMLFilePath);
            const auto stop = [&] { return CancelExport || m_closing; };
            if (!waitFor([&] { return stop() || WebBrowser2->readyState() == WebBrowser::Complete; }, WaitLimitMs)) {
                failure = QStringLiteral("The page did not finish loading.");
                return;
            }
            if (!waitFor([&] { return stop() || WebBrowser2->queryStatusPrint() == 3; }, WaitLimitMs)) {
                failure = QStringLiteral("The page could not be printed.");
                return;
            }
            if (stop()) {
                cancelled = true;
                return;
            }
            AnyPrinted = true;
            const PdfRecord record = DocumentRecordFor(Records(i), path, &recordWarning);
            failure = printAndWait(WebBrowser2, path, record, true, &cancelled, &recordWarning);
        });
        ReportPrinted(report, runTime, Records(i), ReportedFile(folder, path), cancelled || m_closing, failure,
                      recordWarning);
        if (cancelled || m_closing)
            break;
        if (failure.isEmpty() && !recordWarning.isEmpty())
            withoutAttachments << describeMessage(i) + QStringLiteral(": ") + WithoutAttachments(recordWarning);
        if (failure.isEmpty())
            ++m_createdAll;
        else
            failures << describeMessage(i) + QStringLiteral(": ") + failure;
        qCDebug(lcExport).noquote() << "message" << i << "of" << RecordCount << "->" << path << ":"
                                    << (failure.isEmpty() ? QStringLiteral("written") : failure);
    }

    CurrentIndex = remembered;
    m_runPaths = outerPaths;
    LastFailures = failures;
    const QString saveProblem = report.problem().isEmpty() ? report.save() : QString();
    if (m_closing)
        return;
    trap.step(__LINE__, [&] { setApplicationBusy(false); });

    trap.step(__LINE__, [&] {
        const QString failed = QStringLiteral("Done.\r\rFailed to create PDFs for some emails.");
        const QStringList named = failures + withoutAttachments;
        QString list;
        if (!named.isEmpty()) {
            QStringList shown = named.mid(0, kListedFailures);
            if (named.size() > kListedFailures)
                shown << QStringLiteral("... and %1 more.").arg(named.size() - kListedFailures);
            list = QStringLiteral("\r\n\r\n") + shown.join(QStringLiteral("\r\n"));
        }
        const QString summary = reportSummary(report, saveProblem);
        const bool allSkipped = !AnyPrinted && failures.isEmpty() && report.count(ExportReport::Status::Skipped) > 0;
        if (!AnyPrinted && !allSkipped)
            MsgBox(failed + summary + list, this);
        else if (!CancelExport)
            MsgBox((failures.isEmpty() ? QStringLiteral("Done.") : failed) + summary + list, this);
    });
    trap.step(__LINE__, [&] {
        ProgressBar1->setPreciseValue(0);
        ProgressBar1->setText(kIdleProgress);
        PushButton2->setText(kExportAllCaption);
    });
}

void Form3::cancelStep(WebBrowser *browser, QPushButton *button, const QString &idleCaption, int created)
{
    ErrorTrap trap("Form3", "CancelExport", __LINE__);
    trap.step(__LINE__, [&] {
        CancelExport = true;
        emit wake();
    });
    trap.step(__LINE__, [&] {
        // Stopping also abandons the page's print job, so nothing more is written.
        if (browser->queryStatusPrint() == 3)
            browser->stop();
    });
    trap.step(__LINE__, [&] {
        setApplicationBusy(false);
        ProgressBar1->setPreciseValue(0);
        ProgressBar1->setText(kIdleProgress);
        button->setText(idleCaption);
    });
    trap.step(__LINE__, [&] {
        MsgBox(QStringLiteral("Cancelled.\r\n\r\n")
                   + (created > 0 ? QStringLiteral("Some PDF file(s) were created.")
                                  : QStringLiteral("No PDF file was created.")),
               this);
    });
}

} // namespace larkspan
