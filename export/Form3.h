#pragma once

#include "messagelist/MessageRecord.h"
#include "export/ExportReport.h"
#include "platform/core/PdfRecord.h"

#include <QDateTime>
#include <QSet>
#include <QStringList>
#include <QWidget>
#include <functional>

class QGroupBox;
class QLineEdit;
class QPushButton;

class QCheckBox;

namespace larkspan {

class ProgressBar;
class WebBrowser;
class WindowPointer;
struct MainWindowContext;

// The export window: previews the ticked messages one at a time, holds the output
// folder and the file-name pattern, and runs the exports to PDF.
// The message page: the template with the six fields of every page, then the To, Cc
// and attachment lines where the template has their placeholders.
QString FillPageTemplate(const QString &page, const MessageRecord &record, const MessageBodies &details,
                         bool printAsHtml);

// What the PDF of a record carries besides its pages: the document information and,
// embedded, the original message (named after the PDF, ending ".eml") and every
// attachment. When the message cannot be read from the store, the record holds what
// the list knows and problem says why the files are missing.
PdfRecord DocumentRecordFor(const MessageRecord &record, const QString &pdfPath, QString *problem);

// The address the page's line for attachment n (from 1) links to; the PDF turns the
// link into that attachment's file annotation. Never a network address.
inline QString AttachmentLinkTarget(int n)
{
    return QStringLiteral("larkspan-attachment:%1").arg(n);
}

class Form3 : public QWidget {
    Q_OBJECT
public:
    explicit Form3(MainWindowContext &main, QWidget *parent = nullptr);
    ~Form3() override;

    static QString DefaultPattern() { return QStringLiteral("<Count> - <Current Date> <Subject>"); }

    // The load step: silent browsers, colours, pointer, records from SelectedRecords,
    // the first preview, the stored folder and pattern.
    void Form_Load();

    // The page of Records(CurrentIndex) into TEMP/tmp.tmp; sets HTMLFilePath, which
    // stays empty (and PageFailure says why) when the page could not be written.
    void CreateHTMLFile();
    // Shows HTMLFilePath in the preview (about:blank first); does not wait. Without a
    // page the preview stays blank.
    void Navigate();
    // The PDF path for Records(CurrentIndex) from the pattern and folder, handed to
    // the PDF writer; empty when the pattern gives no usable name.
    QString CreatePDF_File();

    // Button handlers.
    void PushButton1_Click(); // "Export To PDF" / "Cancel Export"
    void PushButton2_Click(); // "Export All To PDF" / "Cancel Export"
    void PushButton3_Click(); // "Page Setup"
    void PushButton4_Click(); // "< Prev Email"
    void PushButton5_Click(); // "Next Email >"
    void PushButton6_Click(); // "..."
    void PushButton7_Click(); // "?"
    void PushButton8_Click(); // "< Back"
    void PushButton9_Click(); // "Use Default"

    void RunExport();
    void RunExportAll();

    // State.
    RecordArray Records;
    int CurrentIndex = 0;
    int RecordCount = 0;
    QString HTMLFilePath;
    QString PageFailure; // why the last page could not be written; empty after success
    bool GoingBack = false;
    bool CancelExport = false;
    bool PrintAsHTML = true;

    // "Today" and "now" for the file names; tests fix it.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };
    // Longest wait for one page to load or one PDF to be written before the message
    // counts as failed.
    int WaitLimitMs = 3 * 60 * 1000;

    // Controls, named as the window's controls are named.
    QGroupBox *Frame1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QPushButton *PushButton7 = nullptr;
    QPushButton *PushButton9 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QCheckBox *chkSkipExported = nullptr; // "Skip emails already exported to this folder"
    QLineEdit *txtBackupPath = nullptr;
    QPushButton *PushButton6 = nullptr;
    WebBrowser *WebBrowser1 = nullptr;
    QWidget *Picture1 = nullptr;
    WebBrowser *WebBrowser2 = nullptr;
    ProgressBar *ProgressBar1 = nullptr;
    QPushButton *PushButton1 = nullptr;
    QPushButton *PushButton2 = nullptr;
    QPushButton *PushButton3 = nullptr;
    QPushButton *PushButton4 = nullptr;
    QPushButton *PushButton5 = nullptr;
    QPushButton *PushButton8 = nullptr;
    WindowPointer *pointer = nullptr;

    // What the last all-messages run could not export: one line per message.
    QStringList LastFailures;

signals:
    // Something an export wait may be waiting for has happened.
    void wake();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QString writeMessagePage();
    // The closing words about the report: counts, its name, and what went wrong with it.
    QString reportSummary(const ExportReport &report, const QString &saveProblem) const;
    void buildControls();
    void layoutControls();
    void setApplicationBusy(bool busy);
    void cancelStep(WebBrowser *browser, QPushButton *button, const QString &idleCaption, int created);
    // Runs a nested event loop until done() holds or timeoutMs has passed; done() is
    // checked again at every wake(). Returns done().
    bool waitFor(const std::function<bool()> &done, int timeoutMs);
    // Prints the browser's document; waits until the job ends (or the run is
    // cancelled, the window closes, the time runs out). Returns the failure's words,
    // empty on success; cancelled tells a cancel from a failure.
    // The record goes into the PDF; recordWarning says why it did not.
    QString printAndWait(WebBrowser *browser, const QString &path, const PdfRecord &record, bool cancelEndsWait,
                         bool *cancelled, QString *recordWarning);
    QString describeMessage(int index) const;

    MainWindowContext &m_main;
    bool m_closing = false;
    // Why the preview holds no page of its message; empty while it shows one.
    QString m_previewFailure;
    bool m_appBusy = false;
    int m_runDepth = 0;
    int m_createdOne = 0;
    int m_createdAll = 0;
    // Paths named so far in the running all-messages run (none outside a run).
    QSet<QString> *m_runPaths = nullptr;
};

} // namespace larkspan
