// The export runs as the window drives them: one message ("Export To PDF") and all
// messages ("Export All To PDF"), and their cancel step. The runs themselves are
// ExportRun's; the window gives them its choices and shows what they report.
#include "export/window/Form3.h"

#include "export/pipeline/ExportDestination.h"
#include "export/pipeline/OnePdfForAll.h"
#include "messagelist/windows/RepaintPacer.h"
#include "platform/core/AppError.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/widgets/WebBrowser.h"
#include "platform/widgets/WindowPointer.h"
#include "platform/core/Yield.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QRadioButton>
#include <QLineEdit>
#include <QPushButton>

namespace larkspan {

namespace {
const QString kCancelCaption = QStringLiteral("Cancel Export");
const QString kExportCaption = QStringLiteral("Export To PDF");
const QString kExportAllCaption = QStringLiteral("Export All To PDF");
const QString kIdleProgress = QStringLiteral("Progress Bar");

QString WithoutAttachments(const QString &reason)
{
    return QStringLiteral("PDF created without its attachments: ") + reason;
}

// The closing words of a run into one PDF for all: the file, or why there is none, and
// the emails it could not hold.
QString OnePdfClosing(const ExportRun &run, const QString &failed, const QString &summary, const QString &list)
{
    if (!run.destinationProblem().isEmpty())
        return QStringLiteral("Failed to create the PDF file.\r\n\r\n") + run.destinationProblem() + summary + list;
    if (run.deliveredFile().isEmpty()) {
        const bool allSkipped = run.failures().isEmpty() && run.report().count(ExportReport::Status::Skipped) > 0;
        const QString why = allSkipped ? QStringLiteral("No PDF was written: every email was already exported to this folder.")
                                       : run.nothingDelivered();
        return (run.failures().isEmpty() ? QStringLiteral("Done.") : failed) + summary + QStringLiteral("\r\n\r\n") + why + list;
    }
    QString text = (run.failures().isEmpty() ? QStringLiteral("Done.") : failed) + summary +
                   QStringLiteral("\r\n\r\nOne PDF for all: \"%1\"").arg(QFileInfo(run.deliveredFile()).fileName());
    if (!run.failures().isEmpty())
        text += QStringLiteral("\r\nThese emails are not in it:");
    return text + list;
}
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
        cancelStep(WebBrowser1, PushButton1, kExportCaption, m_oneRun);
    else
        RunExport();
}

void Form3::PushButton2_Click()
{
    if (PushButton2->text() == kCancelCaption)
        cancelStep(WebBrowser2, PushButton2, kExportAllCaption, m_allRun);
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

ExportSettings Form3::runSettings() const
{
    ExportSettings settings;
    settings.folder = txtBackupPath->text();
    settings.page = PageOptions{PrintAsHTML, chkShowAttachments->isChecked()};
    settings.skipExported = chkSkipExported->isChecked();
    settings.startedAt = Now();
    settings.waitLimitMs = WaitLimitMs;
    return settings;
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
        // The name is made; the run prints the preview's page to it.
        PdfPerMessage destination([this](int count) { return fileNameFields(count); });
        ExportRun run(runSettings(), destination, {WebBrowser1->webPage()});
        run.setLoadedPage(CurrentIndex, Records(CurrentIndex), WebBrowser1->webPage(), path, m_previewFailure);
        run.setErrorReporter([&trap](const QString &description) { trap.step(__LINE__, [&] { throw AppError(description); }); });
        m_oneRun = &run;
        run.exec();
        m_oneRun = nullptr;
        if (m_closing)
            return;
        const ExportOutcome outcome = run.outcomes().value(0);
        trap.step(__LINE__, [&] {
            setApplicationBusy(false);
            if (CancelExport)
                return;
            const QString summary = run.reportSummary(chkSkipExported->isChecked());
            const QString folder = txtBackupPath->text();
            switch (outcome.state) {
            case ExportOutcome::State::Skipped:
                MsgBox(QStringLiteral("Done.") + summary +
                           QStringLiteral("\r\n\r\nThis email was already exported to this folder as \"%1\".")
                               .arg(outcome.path.mid(folder.size())),
                       this);
                break;
            case ExportOutcome::State::Exported:
                MsgBox(QStringLiteral("Done.") + summary +
                           (outcome.recordWarning.isEmpty() ? QString()
                                                            : QStringLiteral("\r\n\r\n") + WithoutAttachments(outcome.recordWarning)),
                       this);
                break;
            default:
                MsgBox(QStringLiteral("Failed to create the PDF file.\r\n\r\n") + path + QStringLiteral("\r\n") +
                           outcome.failure + summary,
                       this);
                break;
            }
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
    trap.step(__LINE__, [&] {
        CancelExport = false;
        PushButton2->setText(kCancelCaption);
        setApplicationBusy(true);
    });

    // Each message is named from the pattern and folder as the window holds them then.
    const FieldsAtNaming fields = [this](int count) { return fileNameFields(count); };
    const bool onePdf = optOnePdfForAll->isChecked();
    std::unique_ptr<ExportDestination> destination;
    if (onePdf)
        destination = std::make_unique<OnePdfForAll>(fields, txtOnePdfName->text());
    else
        destination = std::make_unique<PdfPerMessage>(fields);
    // Two messages in flight: WebBrowser2 and a second printing browser beside it.
    ExportRun run(runSettings(), *destination, {WebBrowser2->webPage(), m_secondPrintingBrowser->webPage()});
    connect(&run, &ExportRun::finishing, this, [&] {
        if (onePdf && !CancelExport && !m_closing)
            ProgressBar1->setText(QStringLiteral("Putting the one PDF together...Please Wait."));
    });
    run.setMessages(Records);
    run.setErrorReporter([&trap](const QString &description) { trap.step(__LINE__, [&] { throw AppError(description); }); });
    connect(&run, &ExportRun::messageStarting, this, [&](int i, int count) {
        trap.step(__LINE__, [&] {
            ProgressBar1->setText(QStringLiteral("Exporting to PDF [%1 of %2]...Please Wait.").arg(i).arg(count));
            ProgressBar1->setPreciseValue(double(i) / double(count) * 100.0);
            YieldToEventLoop();
        });
        // A cancel pressed during that yield ends the run before this message prints.
        if (CancelExport || m_closing)
            run.stop(ExportRun::Stop::Now);
        else
            CurrentIndex = i;
    });
    m_allRun = &run;
    run.exec();
    m_allRun = nullptr;

    CurrentIndex = remembered;
    LastFailures = run.failures();
    if (m_closing)
        return;
    trap.step(__LINE__, [&] { setApplicationBusy(false); });

    trap.step(__LINE__, [&] {
        const QString failed = QStringLiteral("Done.\r\rFailed to create PDFs for some emails.");
        const QString list = ExportRun::listed(run.failures() + run.withoutAttachments());
        const QString summary = run.reportSummary(chkSkipExported->isChecked());
        const bool allSkipped = !run.anyPrinted() && run.failures().isEmpty() &&
                                run.report().count(ExportReport::Status::Skipped) > 0;
        if (onePdf) {
            if (!CancelExport) // the cancel said what there is to say
                MsgBox(OnePdfClosing(run, failed, summary, list), this);
            return;
        }
        if (!run.anyPrinted() && !allSkipped)
            MsgBox(failed + summary + list, this);
        else if (!CancelExport)
            MsgBox((run.failures().isEmpty() ? QStringLiteral("Done.") : failed) + summary + list, this);
    });
    trap.step(__LINE__, [&] {
        ProgressBar1->setPreciseValue(0);
        ProgressBar1->setText(kIdleProgress);
        PushButton2->setText(kExportAllCaption);
    });
}

void Form3::cancelStep(WebBrowser *browser, QPushButton *button, const QString &idleCaption, ExportRun *run)
{
    ErrorTrap trap("Form3", "CancelExport", __LINE__);
    trap.step(__LINE__, [&] {
        CancelExport = true;
        // "Export All To PDF" leaves its waits at once; "Export To PDF" waits for its
        // print to end, which stopping the browser below brings about.
        if (run)
            run->stop(run == m_allRun ? ExportRun::Stop::Now : ExportRun::Stop::WhenPrinted);
    });
    trap.step(__LINE__, [&] {
        // Stopping also abandons the page's print job, so nothing more is written.
        if (browser->queryStatusPrint() == WebBrowser::PrintReady)
            browser->stop();
    });
    trap.step(__LINE__, [&] {
        setApplicationBusy(false);
        ProgressBar1->setPreciseValue(0);
        ProgressBar1->setText(kIdleProgress);
        button->setText(idleCaption);
    });
    trap.step(__LINE__, [&] {
        const bool created = run && run->exportedCount() > 0;
        MsgBox(QStringLiteral("Cancelled.\r\n\r\n") + (created ? QStringLiteral("Some PDF file(s) were created.")
                                                               : QStringLiteral("No PDF file was created.")),
               this);
    });
}

} // namespace larkspan
