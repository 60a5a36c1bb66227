// The main window's start-up, login group and shut-down, driven through the real
// window with scripted dialogs.
#include "app/Form1.h"
#include "messagelist/windows/ListCounters.h"
#include "platform/core/ConnectivityProbe.h"
#include "platform/widgets/DefaultPrinter.h"
#include "platform/core/Dialogs.h"
#include "platform/widgets/ListView.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/core/SettingsStore.h"
#include "support/AccessibleNames.h"
#include "support/WidgetTestMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTcpServer>
#include <qplatformdefs.h>
#include <memory>

using namespace larkspan;
using larkspan::test::Recorded;

namespace {

const QString kInvalidLogin = QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n");
const QString kOffline = QStringLiteral("You must be online to use this software accurately.");

// The main window with the program's end recorded instead of carried out, so the
// test run goes on after a close.
struct Window {
    std::unique_ptr<Form1> form = std::make_unique<Form1>();
    int ends = 0;

    Window()
    {
        form->setProgramEnd([this] { ++ends; });
    }
    Form1 *operator->() const { return form.get(); }
};

// Message boxes other than the connectivity warning, whose outcome depends on the
// machine's ping rather than on the window.
QStringList windowMessages()
{
    QStringList texts = Recorded().messages();
    texts.removeAll(kOffline);
    return texts;
}

QStringList errorReports()
{
    return Recorded().errorReports();
}

// A loopback port nobody listens on.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

QPoint tickPoint(ListView *list, int row)
{
    const QModelIndex index = list->model()->index(row - 1, 0);
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualRect(index);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = index.data().toString();
    return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        larkspan::test::ResetSettings();
        Recorded().clear();
        Printers().replacePrinters({QStringLiteral("Office Laser"), PdfWriterDeviceName()}, QStringLiteral("Office Laser"));
        qputenv("LARKSPAN_IMAP_PORT", QByteArray::number(closedPort()));
    }

    void firstRunWithAnEmptyStore()
    {
        Window w;
        w->Form_Load();
        QCOMPARE(w->windowTitle(), QStringLiteral("Larkspan"));
        QVERIFY(!w->windowIcon().isNull());
        QCOMPARE(AppTitle(), QStringLiteral("Larkspan"));
        QCOMPARE(w->Text1->text(), QString());
        QCOMPARE(w->Text2->text(), QString());
        QCOMPARE(w->Check1->checkState(), Qt::Unchecked);
        QCOMPARE(w->Check2->checkState(), Qt::Unchecked);
        QVERIFY(!w->Check2->isEnabled());
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 0"));
        QCOMPARE(w->Label3->text(), QStringLiteral("No Character Filter set"));
        QVERIFY(!w->context().counters->AccumulateChecks);
        QVERIFY(w->context().imapComponent);
        QVERIFY(!w->context().oChilkat);
        // No connection was tried.
        QCOMPARE(w->PushButton1->text(), QStringLiteral("1. Connect"));
        QCOMPARE(w->ProgressBar1->text(), QStringLiteral("Progress Bar"));
        QCOMPARE(windowMessages(), QStringList());

        // The list columns.
        QCOMPARE(w->ListView1->columnCount(), 6);
        const QStringList headers{"From", "From Name", "From Address", "Subject", "Received Date", "RecDate"};
        const int widths[] = {1300, 1300, 1600, 1600, 1600, 0};
        for (int c = 1; c <= 6; ++c) {
            QCOMPARE(w->ListView1->columnHeader(c), headers[c - 1]);
            QCOMPARE(w->ListView1->columnWidthTwips(c), widths[c - 1]);
        }
        QCOMPARE(w->ListView1->count(), 0);

        // The counter labels are white whatever the skin did.
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        for (QLabel *label : {w->Label1, w->Label2}) {
            const QImage image = label->grab().toImage();
            QCOMPARE(image.pixelColor(image.width() - 2, 1), QColor(255, 255, 255));
        }

        // The PDF writer became the default printer; the one before is remembered.
        QCOMPARE(Printers().defaultPrinterName(), PdfWriterDeviceName());
        QVERIFY(w->savedDefaultPrinter().has_value());
        QCOMPARE(w->savedDefaultPrinter()->deviceName, QStringLiteral("Office Laser"));

        // The check boxes wrote their state; the file holding them is the owner's alone.
        QCOMPARE(ReadSetting(QStringLiteral("StayConnected"), QStringLiteral("absent")), QStringLiteral("0"));
        QCOMPARE(ReadSetting(QStringLiteral("AutoConnect"), QStringLiteral("absent")), QStringLiteral("0"));
        const QFileInfo file(ProgramSettings().filePath());
        QVERIFY(file.exists());
        QT_STATBUF info;
        QCOMPARE(QT_STAT(QFile::encodeName(file.filePath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
    }

    void everyControlCarriesItsNameAndCaption()
    {
        Window w;
        w->Form_Load();
        const struct {
            const char *name;
            const char *caption;
        } controls[] = {
            {"Frame5", "Login"}, {"Text1", " Yahoo! ID:"}, {"Text2", "Password:"}, {"Check1", "Remember me"},
            {"Check2", "Autoconnect when software loads"}, {"PushButton1", "1. Connect"},
            {"PushButton12", "Can't Login?"}, {"PushButton11", "Help"}, {"Frame3", "Folder"}, {"Combo2", "Folder"},
            {"Frame6", "Filter Options"}, {"PushButton14", "Filter By Characters"}, {"PushButton15", "?"},
            {"PushButton17", "Clear Filter"}, {"Label3", "No Character Filter set"}, {"PushButton3", "2a. Get All Emails"},
            {"PushButton2", "2b. Get Some Emails"}, {"ListView1", "Message list"},
            {"Label1", "Total Number Of Emails: 0"}, {"Label2", "Selected Emails: 0"}, {"PushButton5", "Check All"},
            {"PushButton6", "Uncheck All"}, {"PushButton7", "Clear List"},
            {"PushButton9", "Check Emails Containing..."}, {"PushButton10", "Check Emails Not Containing..."},
            {"PushButton8", "Show List In Larger View"}, {"Frame1", "Export Options"},
            {"Option1", "Export email as it appears in browser (with images)"},
            {"Option2", "Export as text-only PDF"}, {"PushButton4", "3. Export Checked Emails To PDF"},
        };
        for (const auto &c : controls) {
            auto *widget = w->findChild<QWidget *>(QString::fromLatin1(c.name));
            QVERIFY2(widget, c.name);
            // What a screen reader reads: the text shown, or the label of a box.
            QCOMPARE(larkspan::test::AccessibleName(widget), QString::fromUtf8(c.caption));
            if (auto *b = qobject_cast<QAbstractButton *>(widget))
                QCOMPARE(b->text(), QString::fromUtf8(c.caption));
            if (auto *g = qobject_cast<QGroupBox *>(widget))
                QCOMPARE(g->title(), QString::fromUtf8(c.caption));
        }
        const auto labels = w->findChildren<QLabel *>(QStringLiteral("lblLabels"));
        QCOMPARE(labels.size(), 2);
        QCOMPARE(labels[0]->text(), QStringLiteral(" Yahoo! ID:"));
        QCOMPARE(labels[1]->text(), QStringLiteral("Password:"));
        QCOMPARE(w->Text2->echoMode(), QLineEdit::Password);
        QVERIFY(w->Option1->isChecked());
        QVERIFY(!w->Option2->isChecked());
        QCOMPARE(larkspan::test::AccessibleName(w->ProgressBar1), QStringLiteral("Progress Bar"));
        QVERIFY(w->findChild<QObject *>(QStringLiteral("SkinFramework1")));

        // The list is what grows with the window.
        w->resize(800, 700);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        const int listHeight = w->ListView1->height();
        const int buttonHeight = w->PushButton5->height();
        w->resize(800, 1000);
        QTRY_VERIFY(w->ListView1->height() >= listHeight + 250);
        QCOMPARE(w->PushButton5->height(), buttonHeight);
    }

    void helpShowsTheContactLineThenThePrivacyStatement()
    {
        Window w;
        w->Form_Load();
        Recorded().clear();
        w->PushButton11->click();
        const QStringList shown = Recorded().messages();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[0].startsWith(QStringLiteral("Questions? Please contact Team Vornhelm at ")));
        QVERIFY(shown[1].startsWith(QStringLiteral("Privacy Policy\r\r")));
        for (const auto &call : Recorded().calls)
            QCOMPARE(call.title, QStringLiteral("Larkspan"));
    }

    void rememberedLogin_data()
    {
        QTest::addColumn<QString>("stayConnected");
        QTest::addColumn<bool>("filled");
        QTest::newRow("remember me") << QStringLiteral("1") << true;
        QTest::newRow("remember me, any non-zero number") << QStringLiteral("-2") << true;
        QTest::newRow("not remembered") << QStringLiteral("0") << false;
    }

    void rememberedLogin()
    {
        QFETCH(QString, stayConnected);
        QFETCH(bool, filled);
        WriteSetting(QStringLiteral("StayConnected"), stayConnected);
        WriteSetting(QStringLiteral("User"), QStringLiteral("ada@example.org"));
        WriteSetting(QStringLiteral("Password"), QStringLiteral("p\\ss word"));

        Window w;
        w->Form_Load();
        QCOMPARE(w->Check1->checkState(), filled ? Qt::Checked : Qt::Unchecked);
        QCOMPARE(w->Check2->isEnabled(), filled);
        QCOMPARE(w->Text1->text(), filled ? QStringLiteral("ada@example.org") : QString());
        QCOMPARE(w->Text2->text(), filled ? QStringLiteral("p\\ss word") : QString());
        // The check box's click wrote its state back.
        QCOMPARE(ReadSetting(QStringLiteral("StayConnected")), filled ? QStringLiteral("1") : QStringLiteral("0"));
        // Without "Remember me" the stored login is left for the next disconnect to clear.
        QCOMPARE(ReadSetting(QStringLiteral("User")), QStringLiteral("ada@example.org"));
        QCOMPARE(ReadSetting(QStringLiteral("Password")), QStringLiteral("p\\ss word"));
        QCOMPARE(windowMessages(), QStringList());
    }

    void autoConnectRunsEvenWithCheck2Disabled()
    {
        WriteSetting(QStringLiteral("StayConnected"), QStringLiteral("0"));
        WriteSetting(QStringLiteral("AutoConnect"), QStringLiteral("1"));
        WriteSetting(QStringLiteral("User"), QStringLiteral("kept"));
        // The PDF writer is missing: its instructions must come after the login attempt.
        Printers().replacePrinters({QStringLiteral("Office Laser")}, QStringLiteral("Office Laser"));

        Window w;
        w->Form_Load();
        QCOMPARE(w->Check2->checkState(), Qt::Checked);
        QVERIFY(!w->Check2->isEnabled());
        QCOMPARE(windowMessages().size(), 2);
        QVERIFY(windowMessages().first().startsWith(kInvalidLogin + "Connection refused by 127.0.0.1:"));
        QCOMPARE(windowMessages().last(), PdfPrinterInstructions());
        QCOMPARE(w->PushButton1->text(), QStringLiteral("1. Connect"));
        QCOMPARE(w->ProgressBar1->text(), QStringLiteral("Disconnected from Yahoo! Mail."));
        QVERIFY(!w->context().oChilkat);
        QVERIFY(w->cursor().shape() != Qt::WaitCursor);
        // "AutoConnect" stays on; the failed connect leaves the stored login alone.
        QCOMPARE(ReadSetting(QStringLiteral("AutoConnect")), QStringLiteral("1"));
        QCOMPARE(ReadSetting(QStringLiteral("User")), QStringLiteral("kept"));
        // Without the PDF writer the default printer stays.
        QCOMPARE(Printers().defaultPrinterName(), QStringLiteral("Office Laser"));
    }

    void typingMirrorsEveryKeystroke()
    {
        Window w;
        w->Form_Load();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));

        QStringList users, passwords;
        connect(w->Text1, &QLineEdit::textChanged, this, [&] { users << ReadSetting(QStringLiteral("User")); });
        connect(w->Text2, &QLineEdit::textChanged, this, [&] { passwords << ReadSetting(QStringLiteral("Password")); });
        QTest::keyClicks(w->Text1, QStringLiteral("abc"));
        QCOMPARE(users, QStringList({"a", "ab", "abc"}));
        // "Remember me" is off, and the password is stored all the same.
        QTest::keyClicks(w->Text2, QStringLiteral("x=1"));
        QCOMPARE(passwords, QStringList({"x", "x=", "x=1"}));
        QTest::keyClick(w->Text2, Qt::Key_Backspace);
        QCOMPARE(ReadSetting(QStringLiteral("Password")), QStringLiteral("x="));
        QCOMPARE(w->Text2->displayText(), QStringLiteral("**"));
        QCOMPARE(ReadSetting(QStringLiteral("StayConnected")), QStringLiteral("0"));
    }

    void checkBoxClicksWriteTheirState()
    {
        Window w;
        w->Form_Load();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));

        QTest::mouseClick(w->Check1, Qt::LeftButton, {}, QPoint(6, w->Check1->height() / 2));
        QCOMPARE(w->Check1->checkState(), Qt::Checked);
        QCOMPARE(ReadSetting(QStringLiteral("StayConnected")), QStringLiteral("1"));
        QVERIFY(w->Check2->isEnabled());

        QTest::mouseClick(w->Check2, Qt::LeftButton, {}, QPoint(6, w->Check2->height() / 2));
        QCOMPARE(ReadSetting(QStringLiteral("AutoConnect")), QStringLiteral("1"));

        // Turning "Remember me" off disables auto-connect but leaves its value and key.
        QTest::mouseClick(w->Check1, Qt::LeftButton, {}, QPoint(6, w->Check1->height() / 2));
        QCOMPARE(ReadSetting(QStringLiteral("StayConnected")), QStringLiteral("0"));
        QVERIFY(!w->Check2->isEnabled());
        QCOMPARE(w->Check2->checkState(), Qt::Checked);
        QCOMPARE(ReadSetting(QStringLiteral("AutoConnect")), QStringLiteral("1"));

        // Keyboard toggling is a click too.
        w->Check1->setFocus();
        QTest::keyClick(w->Check1, Qt::Key_Space);
        QCOMPARE(ReadSetting(QStringLiteral("StayConnected")), QStringLiteral("1"));
        QVERIFY(errorReports().isEmpty());
    }

    void focusSelectsTheWholeField()
    {
        WriteSetting(QStringLiteral("StayConnected"), QStringLiteral("1"));
        WriteSetting(QStringLiteral("User"), QStringLiteral("someone"));
        WriteSetting(QStringLiteral("Password"), QStringLiteral("secret"));
        Window w;
        w->Form_Load();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        w->activateWindow();

        QTest::mouseClick(w->Text1, Qt::LeftButton, {}, QPoint(4, w->Text1->height() / 2));
        QTRY_COMPARE(w->Text1->selectedText(), QStringLiteral("someone"));
        QTest::keyClick(w->Text1, Qt::Key_Tab);
        QTRY_VERIFY(w->Text2->hasFocus());
        QTRY_COMPARE(w->Text2->selectionLength(), 6);
        QCOMPARE(w->Text2->selectionStart(), 0);
    }

    void nonNumericStoredValuesAreReportedAndStartupGoesOn()
    {
        WriteSetting(QStringLiteral("StayConnected"), QStringLiteral("yes"));
        WriteSetting(QStringLiteral("AutoConnect"), QStringLiteral("on"));
        WriteSetting(QStringLiteral("User"), QStringLiteral("ada"));

        Window w;
        w->Form_Load();
        const QStringList reports = errorReports();
        QCOMPARE(reports.size(), 2);
        const QString prefix = QStringLiteral("Type mismatch\r\nin Ostrevan2021/08/31.Form1.Form_Load at line ");
        for (const QString &report : reports) {
            QVERIFY2(report.startsWith(prefix), qPrintable(report));
            QVERIFY(report.contains(QStringLiteral("\r\r")));
        }
        // Each report names its own step: the login step comes before the auto-connect step.
        const int first = reports[0].mid(prefix.size()).section(QLatin1Char('\r'), 0, 0).toInt();
        const int second = reports[1].mid(prefix.size()).section(QLatin1Char('\r'), 0, 0).toInt();
        QVERIFY(first > 0);
        QVERIFY(second > first);
        for (const auto &call : Recorded().calls) {
            if (call.title == QLatin1String("Application Error")) {
                QCOMPARE(call.icon, MsgIcon::Warning);
                QCOMPARE(call.buttons, MsgButtons::Ok);
            }
        }
        // The failing steps left their controls as they were; the steps after them ran.
        QCOMPARE(w->Check1->checkState(), Qt::Unchecked);
        QCOMPARE(w->Text1->text(), QString());
        QCOMPARE(w->Check2->checkState(), Qt::Unchecked);
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(w->Label3->text(), QStringLiteral("No Character Filter set"));
        QCOMPARE(Printers().defaultPrinterName(), PdfWriterDeviceName());
        // No connection attempt: the value that could not be read starts nothing.
        QCOMPARE(w->ProgressBar1->text(), QStringLiteral("Progress Bar"));
        QCOMPARE(ReadSetting(QStringLiteral("StayConnected")), QStringLiteral("yes"));
    }

    void countersResetAndRecountAndFollowAHandTick()
    {
        Window w;
        w->Form_Load();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        ListCounters &counters = *w->context().counters;
        for (int i = 1; i <= 5; ++i) {
            const int row = w->ListView1->append(QStringLiteral("sender %1").arg(i));
            w->ListView1->setSubItem(row, 3, QStringLiteral("subject %1").arg(i));
        }
        w->ListView1->setChecked(2, true);
        counters.RefreshCounters(false);
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 5"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 1"));

        counters.RefreshCounters(true);
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 0"));

        // The user ticks row 4: the selection is recounted at once, the total too.
        counters.AccumulateChecks = true;
        w->ListView1->refresh();
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, tickPoint(w->ListView1, 4));
        QVERIFY(w->ListView1->checked(4));
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 5"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 2"));
        // A hand tick leaves the check-by-text marker alone.
        QVERIFY(counters.AccumulateChecks);
    }

    void closingRestoresTheDefaultPrinterAndEndsTheProgram()
    {
        Window w;
        w->Form_Load();
        w->show();
        QCOMPARE(Printers().defaultPrinterName(), PdfWriterDeviceName());
        QVERIFY(w->close());
        QCOMPARE(Printers().defaultPrinterName(), QStringLiteral("Office Laser"));
        QCOMPARE(w.ends, 1);
        QVERIFY(!w->isVisible());
        // Ending is once only.
        w->context().quitApplication();
        QCOMPARE(w.ends, 1);
    }

    void closingWithoutARememberedPrinterChangesNone()
    {
        // The default printer's name is not among the installed printers.
        Printers().replacePrinters({QStringLiteral("Office Laser"), PdfWriterDeviceName()}, QStringLiteral("Gone"));
        Window w;
        w->Form_Load();
        QVERIFY(!w->savedDefaultPrinter().has_value());
        QCOMPARE(Printers().defaultPrinterName(), PdfWriterDeviceName());
        w->context().quitApplication();
        QCOMPARE(Printers().defaultPrinterName(), PdfWriterDeviceName());
        QCOMPARE(w.ends, 1);
    }
};

LARKSPAN_TEST_MAIN(Form1Test)
#include "tst_form1.moc"
