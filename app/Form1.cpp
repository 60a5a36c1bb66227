#include "app/Form1.h"

#include "messagelist/windows/ListCounters.h"
#include "messagelist/data/MessageStore.h"
#include "mail/ServerAddress.h"
#include "mail/clsChilkatIMAP.h"
#include "platform/widgets/KeyboardActivation.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/PointerRules.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/widgets/SkinEngine.h"
#include "platform/widgets/WindowPointer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace larkspan {

namespace {

// Controls that show text are named by it for screen readers, always current; only
// those without text of their own get an accessible name here.
template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = named(new QPushButton(caption, parent), name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

Form1::Form1(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    buildControls();
    buildLayout();

    m_pointer = new WindowPointer(this);
    m_counters = std::make_unique<ListCounters>(ListView1, Label1, Label2);

    m_context.window = this;
    m_context.Text1 = Text1;
    m_context.Text2 = Text2;
    m_context.PushButton1 = PushButton1;
    m_context.Combo2 = Combo2;
    m_context.Label3 = Label3;
    m_context.PushButton3 = PushButton3;
    m_context.PushButton2 = PushButton2;
    m_context.ListView1 = ListView1;
    m_context.Label1 = Label1;
    m_context.Label2 = Label2;
    m_context.counters = m_counters.get();
    m_context.Option1 = Option1;
    m_context.Option2 = Option2;
    m_context.ProgressBar1 = ProgressBar1;
    m_context.pointer = m_pointer;
    m_context.signIn = [this](clsChilkatIMAP &session) {
        UseMailServer(session, serverInFields());
        session.Username = Text1->text();
        session.Password = Text2->text();
    };
    m_context.endProgram = [this] {
        Form_QueryUnload();
        Form_Unload();
    };

    m_programEnd = [this] {
        // Other windows go without their own closing steps: they are hidden, not closed.
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget *w : windows) {
            if (w != this)
                w->hide();
        }
        hide();
        // A listing that is still yielding somewhere below us stops at its next check.
        if (m_context.oChilkat)
            m_context.oChilkat->AbortProcess = true;
        QCoreApplication::exit(0);
    };

    // Hand over push buttons, default pointer elsewhere; the two listing buttons show
    // the hand even while the hourglass is up.
    InstallPointerRules(this, m_pointer, {PushButton2, PushButton3});

    connectHandlers();
    connectWorkflows();
    PressFocusedButtonsWithEnter(this);
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("Form1Client"));
    setCentralWidget(central);

    Frame5 = named(new QGroupBox(QStringLiteral("Login"), central), "Frame5");
    lblLabels[0] = named(new QLabel(QStringLiteral(" Yahoo! ID:"), Frame5), "lblLabels");
    lblLabels[1] = named(new QLabel(QStringLiteral("Password:"), Frame5), "lblLabels");
    lblLabels[0]->setProperty("Index", 0);
    lblLabels[1]->setProperty("Index", 1);
    Text1 = named(new QLineEdit(Frame5), "Text1");
    Text2 = named(new QLineEdit(Frame5), "Text2");
    Text2->setEchoMode(QLineEdit::Password);
    // One "*" per character, whatever the platform style would show.
    Text2->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    lblLabels[0]->setBuddy(Text1);
    lblLabels[1]->setBuddy(Text2);
    // Named for screen readers by their labels, as the login fields are.
    lblServer = named(new QLabel(QStringLiteral("Server:"), Frame5), "lblServer");
    txtServer = named(new QLineEdit(Frame5), "txtServer");
    lblPort = named(new QLabel(QStringLiteral("Port:"), Frame5), "lblPort");
    txtPort = named(new QSpinBox(Frame5), "txtPort");
    txtPort->setRange(1, 65535);
    txtPort->setButtonSymbols(QAbstractSpinBox::NoButtons);
    lblSecurity = named(new QLabel(QStringLiteral("Security:"), Frame5), "lblSecurity");
    cboSecurity = named(new QComboBox(Frame5), "cboSecurity");
    cboSecurity->addItems({QStringLiteral("TLS"), QStringLiteral("STARTTLS")});
    cboSecurity->setToolTip(QStringLiteral("TLS: encrypted from the start (port 993). STARTTLS: the connection is "
                                           "encrypted before signing in (port 143)."));
    lblServer->setBuddy(txtServer);
    lblPort->setBuddy(txtPort);
    lblSecurity->setBuddy(cboSecurity);
    Check1 = named(new QCheckBox(QStringLiteral("Remember me"), Frame5), "Check1");
    Check2 = named(new QCheckBox(QStringLiteral("Autoconnect when software loads"), Frame5), "Check2");
    PushButton1 = button(Frame5, "PushButton1", QStringLiteral("1. Connect"));
    PushButton12 = button(Frame5, "PushButton12", QStringLiteral("Can't Login?"));
    PushButton11 = button(Frame5, "PushButton11", QStringLiteral("Help"));

    Frame3 = named(new QGroupBox(QStringLiteral("Folder"), central), "Frame3");
    Combo2 = named(new QComboBox(Frame3), "Combo2");
    Combo2->setAccessibleName(QStringLiteral("Folder"));
    Combo2->setEditable(false);
    Combo2->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Combo2->setMinimumContentsLength(16);
    PushButton18 = button(Frame3, "PushButton18", QStringLiteral("Open Mail Files..."));
    PushButton18->setToolTip(QStringLiteral("List .eml files, an mbox file or a Maildir folder, without signing in"));
    PushButton18->setAccessibleDescription(PushButton18->toolTip());

    Frame6 = named(new QGroupBox(QStringLiteral("Filter Options"), central), "Frame6");
    PushButton14 = button(Frame6, "PushButton14", QStringLiteral("Filter By Characters"));
    PushButton15 = button(Frame6, "PushButton15", QStringLiteral("?"));
    PushButton15->setToolTip(QStringLiteral("What the character filter does"));
    PushButton15->setAccessibleDescription(PushButton15->toolTip());
    PushButton17 = button(Frame6, "PushButton17", QStringLiteral("Clear Filter"));
    Label3 = named(new QLabel(QStringLiteral("No Character Filter set"), Frame6), "Label3");
    Label3->setWordWrap(true);

    PushButton3 = button(central, "PushButton3", QStringLiteral("2a. Get All Emails"));
    PushButton2 = button(central, "PushButton2", QStringLiteral("2b. Get Some Emails"));
    PushButton8 = button(central, "PushButton8", QStringLiteral("Show List In Larger View"));

    ListView1 = named(new ListView(central), "ListView1");
    ListView1->setAccessibleName(QStringLiteral("Message list"));
    ListView1->setAccessibleDescription(QStringLiteral("Space ticks or unticks the current message"));
    ListView1->setMinimumHeight(120);

    Label1 = named(new QLabel(QStringLiteral("Total Number Of Emails: "), central), "Label1");
    Label2 = named(new QLabel(QStringLiteral("Selected Emails: "), central), "Label2");

    PushButton5 = button(central, "PushButton5", QStringLiteral("Check All"));
    PushButton6 = button(central, "PushButton6", QStringLiteral("Uncheck All"));
    PushButton7 = button(central, "PushButton7", QStringLiteral("Clear List"));
    PushButton9 = button(central, "PushButton9", QStringLiteral("Check Emails Containing..."));
    PushButton10 = button(central, "PushButton10", QStringLiteral("Check Emails Not Containing..."));

    Frame1 = named(new QGroupBox(QStringLiteral("Export Options"), central), "Frame1");
    Option1 = named(new QRadioButton(QStringLiteral("Export email as it appears in browser (with images)"), Frame1), "Option1");
    Option2 = named(new QRadioButton(QStringLiteral("Export as text-only PDF"), Frame1), "Option2");
    Option1->setChecked(true);

    PushButton4 = button(central, "PushButton4", QStringLiteral("3. Export Checked Emails To PDF"));

    ProgressBar1 = named(new ProgressBar(central), "ProgressBar1");
    ProgressBar1->setAccessibleDescription(QStringLiteral("Status"));

    SkinFramework1 = new SkinEngine(this);
    SkinFramework1->setObjectName(QStringLiteral("SkinFramework1"));
}

void Form1::buildLayout()
{
    // Login group: labels and fields in a grid, the check boxes, the button row.
    auto *login = new QGridLayout(Frame5);
    login->addWidget(lblLabels[0], 0, 0);
    login->addWidget(Text1, 0, 1);
    login->addWidget(lblLabels[1], 1, 0);
    login->addWidget(Text2, 1, 1);
    login->addWidget(lblServer, 2, 0);
    login->addWidget(txtServer, 2, 1);
    login->addWidget(lblPort, 3, 0);
    auto *portRow = new QHBoxLayout;
    portRow->addWidget(txtPort, 1);
    portRow->addWidget(lblSecurity);
    portRow->addWidget(cboSecurity, 1);
    login->addLayout(portRow, 3, 1);
    login->addWidget(Check1, 4, 0, 1, 2);
    login->addWidget(Check2, 5, 0, 1, 2);
    auto *loginButtons = new QHBoxLayout;
    loginButtons->addWidget(PushButton1, 2);
    loginButtons->addWidget(PushButton12, 1);
    loginButtons->addWidget(PushButton11, 1);
    login->addLayout(loginButtons, 6, 0, 1, 2);
    login->setColumnStretch(1, 1);

    auto *folder = new QHBoxLayout(Frame3);
    folder->addWidget(Combo2, 1);
    folder->addWidget(PushButton18);

    auto *filter = new QGridLayout(Frame6);
    filter->addWidget(PushButton14, 0, 0);
    filter->addWidget(PushButton15, 0, 1);
    filter->addWidget(PushButton17, 0, 2);
    filter->addWidget(Label3, 1, 0, 1, 3);
    filter->setColumnStretch(0, 2);
    filter->setColumnStretch(2, 1);
    PushButton15->setFixedWidth(PushButton15->fontMetrics().horizontalAdvance(QStringLiteral("MM")) + 16);

    auto *rightColumn = new QVBoxLayout;
    rightColumn->addWidget(Frame3);
    rightColumn->addWidget(Frame6);
    rightColumn->addStretch(1);

    auto *top = new QHBoxLayout;
    top->addWidget(Frame5, 1);
    top->addLayout(rightColumn, 1);

    // While a run lasts the left button turns into a wide "Stop" and the right one
    // is hidden; the row then belongs to the left button.
    auto *retrieval = new QHBoxLayout;
    retrieval->addWidget(PushButton3, 1);
    retrieval->addWidget(PushButton2, 1);

    auto *counters = new QHBoxLayout;
    counters->addWidget(Label1, 1);
    counters->addWidget(Label2, 1);

    auto *ticks = new QGridLayout;
    ticks->addWidget(PushButton5, 0, 0);
    ticks->addWidget(PushButton6, 0, 1);
    ticks->addWidget(PushButton9, 1, 0);
    ticks->addWidget(PushButton10, 1, 1);
    ticks->addWidget(PushButton7, 2, 0, 1, 2);

    auto *exportOptions = new QVBoxLayout(Frame1);
    exportOptions->addWidget(Option1);
    exportOptions->addWidget(Option2);

    auto *main = new QVBoxLayout(centralWidget());
    main->addLayout(top);
    main->addLayout(retrieval);
    main->addWidget(PushButton8);
    main->addWidget(ListView1, 1); // the list takes whatever room the window gains
    main->addLayout(counters);
    main->addLayout(ticks);
    main->addWidget(Frame1);
    main->addWidget(PushButton4);
    main->addWidget(ProgressBar1);

    // Tab goes through the controls as the layout shows them.
    const QList<QWidget *> tabOrder = {Text1, Text2, txtServer, txtPort, cboSecurity, Check1, Check2, PushButton1, PushButton12, PushButton11,
                                       Combo2, PushButton18, PushButton14, PushButton15, PushButton17, PushButton3, PushButton2,
                                       PushButton8, ListView1, PushButton5, PushButton6, PushButton9, PushButton10,
                                       PushButton7, Option1, Option2, PushButton4};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    resize(760, 820);
}

void Form1::connectHandlers()
{
    // User actions; the program's own settings call the same handlers (setCheckValue,
    // setFieldText, Combo2 position) so both pass through the store alike.
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(Check1, &QCheckBox::clicked, this, &Form1::Check1_Click);
    connect(Check2, &QCheckBox::clicked, this, &Form1::Check2_Click);
    connect(Combo2, &QComboBox::activated, this, &Form1::Combo2_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    connect(ListView1, &ListView::itemCheck, this, &Form1::ListView1_ItemCheck);
    // The listed messages' octets go when their rows go (Clear List, a new run, Disconnect).
    connect(ListView1, &ListView::cleared, this, [] { MessageStore::instance().dropAll(); });
    connectServerFields();
    Text1->installEventFilter(this);
    Text2->installEventFilter(this);
}

} // namespace larkspan
