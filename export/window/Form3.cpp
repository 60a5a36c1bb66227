#include "export/window/Form3.h"

#include "export/window/ExportWindowHost.h"
#include "platform/widgets/Appearance.h"
#include "platform/core/CollapseBackslashes.h"
#include "platform/core/DesktopFolder.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/FolderPicker.h"
#include "platform/widgets/HandCursor.h"
#include "platform/widgets/KeyboardActivation.h"
#include "platform/widgets/PointerRules.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/core/SettingsStore.h"
#include "platform/widgets/WebBrowser.h"
#include "platform/widgets/WindowPointer.h"

#include <QWebEnginePage>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace larkspan {

namespace {
const QString kCrLf = QStringLiteral("\r\n");

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}
} // namespace

Form3::Form3(ExportWindowHost &host, QWidget *parent) : QWidget(parent, Qt::Window), m_host(host)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Larkspan"));
    pointer = new WindowPointer(this);
    buildControls();
    InstallPointerRules(this, pointer);

    // Each change of the two boxes is stored at once.
    connect(Text1, &QLineEdit::textChanged, this, [](const QString &text) {
        ErrorTrap trap("Form3", "Text1_Change", __LINE__);
        trap.step(__LINE__, [&] { WriteSetting(QStringLiteral("Text1"), text); });
    });
    connect(txtBackupPath, &QLineEdit::textChanged, this, [](const QString &text) {
        ErrorTrap trap("Form3", "txtBackupPath_Change", __LINE__);
        trap.step(__LINE__, [&] { WriteSetting(QStringLiteral("Backup Path"), text); });
    });

    connect(chkSkipExported, &QCheckBox::toggled, this, [](bool on) {
        ErrorTrap trap("Form3", "chkSkipExported_Click", __LINE__);
        trap.step(__LINE__, [&] { WriteSetting(QStringLiteral("SkipExported"), on ? QStringLiteral("1") : QStringLiteral("0")); });
    });
    connect(optOnePdfForAll, &QRadioButton::toggled, this, [this](bool on) {
        ErrorTrap trap("Form3", "optOnePdfForAll_Click", __LINE__);
        trap.step(__LINE__, [&] { WriteSetting(QStringLiteral("OnePdf"), on ? QStringLiteral("1") : QStringLiteral("0")); });
        txtOnePdfName->setEnabled(on);
    });
    connect(txtOnePdfName, &QLineEdit::textChanged, this, [](const QString &text) {
        ErrorTrap trap("Form3", "txtOnePdfName_Change", __LINE__);
        trap.step(__LINE__, [&] { WriteSetting(QStringLiteral("OnePdfName"), text); });
    });
    // Showing the attachments or not changes the page: the preview follows at once.
    connect(chkShowAttachments, &QCheckBox::toggled, this, [this](bool on) {
        ErrorTrap trap("Form3", "chkShowAttachments_Click", __LINE__);
        trap.step(__LINE__, [&] { WriteSetting(QStringLiteral("ShowAttachments"), on ? QStringLiteral("1") : QStringLiteral("0")); });
        trap.step(__LINE__, [&] { CreateHTMLFile(); });
        trap.step(__LINE__, [&] { Navigate(); });
    });
    connect(PushButton1, &QPushButton::clicked, this, &Form3::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form3::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form3::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form3::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form3::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form3::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form3::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form3::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form3::PushButton9_Click);
}

Form3::~Form3()
{
    if (m_appBusy)
        QApplication::restoreOverrideCursor();
}

void Form3::buildControls()
{
    Frame1 = new QGroupBox(QStringLiteral("Output Filename Option"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Text1 = new QLineEdit(DefaultPattern(), Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Output Filename Option"));
    PushButton7 = MakeButton(Frame1, "PushButton7", QStringLiteral("?"));
    PushButton7->setAccessibleDescription(QStringLiteral("List of file name fields"));
    PushButton9 = MakeButton(Frame1, "PushButton9", QStringLiteral("Use Default"));
    // One PDF per email, or one for all of them, with a name of its own if wanted.
    optOnePdfPerEmail = new QRadioButton(QStringLiteral("One PDF per email"), Frame1);
    optOnePdfPerEmail->setObjectName(QStringLiteral("optOnePdfPerEmail"));
    optOnePdfPerEmail->setChecked(true);
    optOnePdfForAll = new QRadioButton(QStringLiteral("One PDF for all checked emails"), Frame1);
    optOnePdfForAll->setObjectName(QStringLiteral("optOnePdfForAll"));
    optOnePdfForAll->setAccessibleDescription(
        QStringLiteral("\"Export All To PDF\" writes one PDF with a contents page, named from the pattern and the first "
                       "email unless a name is given"));
    txtOnePdfName = new QLineEdit(Frame1);
    txtOnePdfName->setObjectName(QStringLiteral("txtOnePdfName"));
    txtOnePdfName->setPlaceholderText(QStringLiteral("Name of the one PDF (empty: from the pattern)"));
    txtOnePdfName->setAccessibleName(QStringLiteral("Name of the one PDF"));
    txtOnePdfName->setEnabled(false);
    auto *frame1Layout = new QGridLayout(Frame1);
    frame1Layout->addWidget(Text1, 0, 0, 1, 2);
    frame1Layout->addWidget(PushButton7, 0, 2);
    frame1Layout->addWidget(PushButton9, 0, 3);
    frame1Layout->addWidget(optOnePdfPerEmail, 1, 0);
    frame1Layout->addWidget(optOnePdfForAll, 1, 1);
    frame1Layout->addWidget(txtOnePdfName, 2, 0, 1, 4);
    frame1Layout->setColumnStretch(1, 1);

    Frame3 = new QGroupBox(QStringLiteral("Save PDF Files To This Folder"), this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    txtBackupPath = new QLineEdit(Frame3);
    txtBackupPath->setObjectName(QStringLiteral("txtBackupPath"));
    txtBackupPath->setAccessibleName(QStringLiteral("Save PDF Files To This Folder"));
    PushButton6 = MakeButton(Frame3, "PushButton6", QStringLiteral("..."));
    PushButton6->setAccessibleDescription(QStringLiteral("Choose the folder"));
    chkSkipExported = new QCheckBox(QStringLiteral("Skip emails already exported to this folder"), Frame3);
    chkSkipExported->setObjectName(QStringLiteral("chkSkipExported"));
    chkSkipExported->setAccessibleDescription(
        QStringLiteral("Messages the folder's export report lists as exported, with their PDF still there, are not printed again"));
    auto *frame3Layout = new QGridLayout(Frame3);
    frame3Layout->addWidget(txtBackupPath, 0, 0);
    frame3Layout->addWidget(PushButton6, 0, 1);
    frame3Layout->addWidget(chkSkipExported, 1, 0, 1, 2);
    chkShowAttachments = new QCheckBox(QStringLiteral("Show attachments in the PDF"), Frame3);
    chkShowAttachments->setObjectName(QStringLiteral("chkShowAttachments"));
    chkShowAttachments->setChecked(true);
    chkShowAttachments->setAccessibleDescription(
        QStringLiteral("Pictures, texts, attached emails, invitations and PDF documents are shown after the email; "
                       "every attachment stays inside the PDF either way"));
    frame3Layout->addWidget(chkShowAttachments, 2, 0, 1, 2);
    frame3Layout->setColumnStretch(0, 1);

    WebBrowser1 = new WebBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setAccessibleName(QStringLiteral("Preview"));
    WebBrowser1->setMinimumHeight(320);

    // The printing browser sits in a container beyond the window's right edge that is
    // never shown; the user only ever sees the preview.
    Picture1 = new QWidget(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    WebBrowser2 = new WebBrowser(Picture1);
    WebBrowser2->setObjectName(QStringLiteral("WebBrowser2"));
    WebBrowser2->setViewSize(QSize(800, 1000));
    Picture1->hide();
    // Chromium gives a page it believes hidden background priority, which slowed
    // every print; this page is printed, so it counts as visible.
    WebBrowser2->page()->setVisible(true);
    // While WebBrowser2 prints one message, the next one loads here. What it prints is
    // told as WebBrowser2's, so that whoever follows the printing browser sees every PDF.
    // Like WebBrowser2 it has a view that is never shown: a page without one loads and
    // prints markedly slower.
    m_secondPrintingBrowser = new WebBrowser(Picture1);
    m_secondPrintingBrowser->setObjectName(QStringLiteral("SecondPrintingBrowser"));
    m_secondPrintingBrowser->setViewSize(QSize(800, 1000));
    m_secondPrintingBrowser->page()->setVisible(true);
    connect(m_secondPrintingBrowser, &WebBrowser::printFinished, WebBrowser2, &WebBrowser::printFinished);

    ProgressBar1 = new ProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setAccessibleDescription(QStringLiteral("Export progress"));

    PushButton1 = MakeButton(this, "PushButton1", QStringLiteral("Export To PDF"));
    PushButton2 = MakeButton(this, "PushButton2", QStringLiteral("Export All To PDF"));
    PushButton3 = MakeButton(this, "PushButton3", QStringLiteral("Page Setup"));
    PushButton4 = MakeButton(this, "PushButton4", QStringLiteral("< Prev Email"));
    PushButton5 = MakeButton(this, "PushButton5", QStringLiteral("Next Email >"));
    PushButton8 = MakeButton(this, "PushButton8", QStringLiteral("< Back"));

    // Room for the longest caption a run button shows, so neither is ever cut off.
    for (QPushButton *button : {PushButton1, PushButton2}) {
        const int widest = std::max(button->fontMetrics().horizontalAdvance(button->text()),
                                    button->fontMetrics().horizontalAdvance(QStringLiteral("Cancel Export")));
        button->setMinimumWidth(widest + 32);
    }
    PushButton7->setMaximumWidth(std::max(40, PushButton7->fontMetrics().horizontalAdvance(QStringLiteral("?")) + 32));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addWidget(Frame3);
    auto *stepping = new QHBoxLayout;
    stepping->addWidget(PushButton4);
    stepping->addStretch(1);
    stepping->addWidget(PushButton3);
    stepping->addStretch(1);
    stepping->addWidget(PushButton5);
    layout->addLayout(stepping);
    layout->addWidget(WebBrowser1, 1);
    layout->addWidget(ProgressBar1);
    auto *runs = new QHBoxLayout;
    runs->addWidget(PushButton8);
    runs->addStretch(1);
    runs->addWidget(PushButton1);
    runs->addWidget(PushButton2);
    layout->addLayout(runs);
    // Tab goes through the controls as the layout shows them.
    const QList<QWidget *> tabOrder = {Text1, PushButton7, PushButton9, optOnePdfPerEmail, optOnePdfForAll, txtOnePdfName,
                                       txtBackupPath, PushButton6, chkSkipExported, chkShowAttachments, PushButton4,
                                       PushButton3, PushButton5, WebBrowser1, PushButton8, PushButton1, PushButton2};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    PressFocusedButtonsWithEnter(this);

    resize(560, 720);
    layoutControls();
}

void Form3::layoutControls()
{
    // Outside the client area, whatever the window's size.
    Picture1->setGeometry(width() + 60, 0, 800, 1000);
}

void Form3::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void Form3::Form_Load()
{
    ErrorTrap trap("Form3", "Form_Load", __LINE__);
    trap.step(__LINE__, [&] {
        WebBrowser1->setSilent(true);
        WebBrowser2->setSilent(true);
        m_secondPrintingBrowser->setSilent(true);
    });
    trap.step(__LINE__, [&] {
        ApplyClassicColors(this);
        setWindowTitle(QStringLiteral("Larkspan"));
        setWindowIcon(QApplication::windowIcon());
    });
    trap.step(__LINE__, [&] { LoadHandCursor(*pointer); });
    trap.step(__LINE__, [&] {
        Records = SelectedRecords;
        CurrentIndex = 1;
        RecordCount = Records.upperBound();
    });
    trap.step(__LINE__, [&] {
        // Before the first page: the preview shows what the PDF will.
        const QSignalBlocker quiet(chkShowAttachments);
        chkShowAttachments->setChecked(ReadSetting(QStringLiteral("ShowAttachments"), QStringLiteral("1")) == QLatin1String("1"));
    });
    trap.step(__LINE__, [&] { CreateHTMLFile(); });
    trap.step(__LINE__, [&] { Navigate(); });
    trap.step(__LINE__, [&] {
        // Without a Desktop folder this fails before the stored folder is read.
        const QString desktop = DesktopFolderPath();
        txtBackupPath->setText(ReadSetting(QStringLiteral("Backup Path"), desktop));
    });
    trap.step(__LINE__, [&] { Text1->setText(ReadSetting(QStringLiteral("Text1"), DefaultPattern())); });
    trap.step(__LINE__, [&] {
        chkSkipExported->setChecked(ReadSetting(QStringLiteral("SkipExported"), QStringLiteral("0")) == QLatin1String("1"));
    });
    trap.step(__LINE__, [&] {
        const bool onePdf = ReadSetting(QStringLiteral("OnePdf"), QStringLiteral("0")) == QLatin1String("1");
        (onePdf ? optOnePdfForAll : optOnePdfPerEmail)->setChecked(true);
        txtOnePdfName->setText(ReadSetting(QStringLiteral("OnePdfName")));
    });
    trap.step(__LINE__, [&] { GoingBack = false; });
}

void Form3::Navigate()
{
    WebBrowser1->navigate(QStringLiteral("about:blank"));
    m_previewFailure = HTMLFilePath.isEmpty() ? PageFailure : QString();
    if (!HTMLFilePath.isEmpty())
        WebBrowser1->navigate(HTMLFilePath);
}

void Form3::PushButton4_Click()
{
    ErrorTrap trap("Form3", "PushButton4_Click", __LINE__);
    if (CurrentIndex <= 1) {
        Dialogs().beep();
        return;
    }
    --CurrentIndex;
    trap.step(__LINE__, [&] { CreateHTMLFile(); });
    trap.step(__LINE__, [&] { Navigate(); });
}

void Form3::PushButton5_Click()
{
    ErrorTrap trap("Form3", "PushButton5_Click", __LINE__);
    if (CurrentIndex >= RecordCount) {
        Dialogs().beep();
        return;
    }
    ++CurrentIndex;
    trap.step(__LINE__, [&] { CreateHTMLFile(); });
    trap.step(__LINE__, [&] { Navigate(); });
}

void Form3::PushButton3_Click()
{
    ErrorTrap trap("Form3", "PushButton3_Click", __LINE__);
    trap.step(__LINE__, [&] {
        if (WebBrowser1->busy())
            return;
        WebBrowser1->pageSetup();
    });
}

void Form3::PushButton6_Click()
{
    ErrorTrap trap("Form3", "PushButton6_Click", __LINE__);
    trap.step(__LINE__, [&] {
        const QString initial = ReadSetting(QStringLiteral("LastFolderDot"));
        QString folder = BrowseForFolder(this, QStringLiteral("Please select folder:"), initial);
        if (folder.isEmpty())
            return;
        // A network path ("//server/share") is kept as chosen; anything else is
        // collapsed, so the root, which comes back with its separator, ends in one.
        const bool network = folder.startsWith(QLatin1String("//"));
        folder += QLatin1Char('/');
        if (!network)
            folder = CollapseBackslashes(folder);
        txtBackupPath->setText(folder);
    });
}

void Form3::PushButton7_Click()
{
    ErrorTrap trap("Form3", "PushButton7_Click", __LINE__);
    trap.step(__LINE__, [&] {
        const QStringList lines = {
            QStringLiteral("You can create your own filename by using the following fields:"),
            QStringLiteral("<From>"),
            QStringLiteral("<From Name>"),
            QStringLiteral("<From Address>"),
            QStringLiteral("<Subject>"),
            QStringLiteral("<Received Date>"),
            QStringLiteral("<Current Date>"),
            QStringLiteral("<Current Time>"),
            QStringLiteral("<To>"),
        };
        MsgBox(lines.join(kCrLf), this);
    });
}

void Form3::PushButton9_Click()
{
    ErrorTrap trap("Form3", "PushButton9_Click", __LINE__);
    trap.step(__LINE__, [&] { Text1->setText(DefaultPattern()); });
}

void Form3::PushButton8_Click()
{
    ErrorTrap trap("Form3", "PushButton8_Click", __LINE__);
    trap.step(__LINE__, [&] { GoingBack = true; });
    trap.step(__LINE__, [&] { m_host.showAgain(); });
    trap.step(__LINE__, [&] { close(); });
}

void Form3::closeEvent(QCloseEvent *event)
{
    // A run going on in this window gives up at once and says nothing more.
    m_closing = true;
    for (ExportRun *run : {m_oneRun.data(), m_allRun.data()})
        if (run)
            run->stop(ExportRun::Stop::Now);
    event->accept();
    if (!GoingBack) {
        // The close box: the main window's own closing step restores the default
        // printer and ends the program.
        m_host.quitApplication();
    }
    if (m_runDepth == 0)
        deleteLater();
}

} // namespace larkspan
