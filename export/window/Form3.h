#pragma once

#include "export/pipeline/DocumentRecord.h"
#include "export/pipeline/ExportFileName.h"
#include "export/pipeline/ExportRun.h"
#include "export/pipeline/MessagePage.h"
#include "messagelist/data/MessageRecord.h"

#include <QDateTime>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

class QGroupBox;
class QLineEdit;
class QPushButton;

class QCheckBox;
class QRadioButton;

namespace larkspan {

class ExportWindowHost;
class ProgressBar;
class WebBrowser;
class WindowPointer;

// The export window: previews the ticked messages one at a time, holds the output
// folder and the file-name pattern, and drives the export runs to PDF.
class Form3 : public QWidget {
    Q_OBJECT
public:
    explicit Form3(ExportWindowHost &host, QWidget *parent = nullptr);
    ~Form3() override;

    static QString DefaultPattern() { return DefaultFileNamePattern(); }

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
    QRadioButton *optOnePdfPerEmail = nullptr; // "One PDF per email"
    QRadioButton *optOnePdfForAll = nullptr;   // "One PDF for all checked emails"
    QLineEdit *txtOnePdfName = nullptr;        // the one PDF's own name; empty: from the pattern
    QGroupBox *Frame3 = nullptr;
    QCheckBox *chkSkipExported = nullptr; // "Skip emails already exported to this folder"
    QCheckBox *chkShowAttachments = nullptr; // "Show attachments in the PDF"
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

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    void layoutControls();
    void setApplicationBusy(bool busy);
    // The choices of a run as the window holds them now.
    ExportSettings runSettings() const;
    // The file-name fields as the window holds them now, for message count.
    FileNameFields fileNameFields(int count) const;
    void cancelStep(WebBrowser *browser, QPushButton *button, const QString &idleCaption, ExportRun *run);

    ExportWindowHost &m_host;
    bool m_closing = false;
    // Why the preview holds no page of its message; empty while it shows one.
    QString m_previewFailure;
    bool m_appBusy = false;
    int m_runDepth = 0;
    // "Export All To PDF" prints every second message here, beside WebBrowser2.
    WebBrowser *m_secondPrintingBrowser = nullptr;
    // The runs going on now, each started by its button.
    QPointer<ExportRun> m_oneRun;
    QPointer<ExportRun> m_allRun;
};

} // namespace larkspan
