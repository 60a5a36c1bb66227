// "1. Connect" / "Disconnect" against a real IMAP server on loopback.
#include "app/Form1.h"
#include "mail/clsChilkatIMAP.h"
#include "messagelist/windows/ListCounters.h"
#include "platform/widgets/ListView.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/core/SettingsStore.h"
#include "support/AccessibleNames.h"
#include "support/DovecotFixture.h"
#include "support/WidgetTestMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <memory>

using namespace larkspan;
using larkspan::test::DovecotFixture;
using larkspan::test::Recorded;

namespace {

const QString kInvalidLogin = QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n");
const QString kOffline = QStringLiteral("You must be online to use this software accurately.");

QByteArray message(const QString &subject)
{
    return QStringLiteral("From: Ada <ada@example.org>\r\nTo: me@example.org\r\nSubject: %1\r\n"
                          "Date: Tue, 2 Jan 2024 10:00:00 +0000\r\nMessage-ID: <%1@example.org>\r\n\r\nHello.\r\n")
        .arg(subject)
        .toUtf8();
}

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

} // namespace

class ConnectionTest : public QObject {
    Q_OBJECT

    DovecotFixture m_server;
    std::unique_ptr<Form1> m_form;
    int m_ends = 0;

    // A loaded main window with the stored login given (Remember me on or off).
    Form1 &window(bool rememberMe, const QString &user, const QString &password)
    {
        WriteSetting(QStringLiteral("StayConnected"), rememberMe ? QStringLiteral("1") : QStringLiteral("0"));
        m_form = std::make_unique<Form1>();
        m_form->setProgramEnd([this] { ++m_ends; });
        m_form->Form_Load();
        m_form->Text1->setText(user);
        m_form->Text2->setText(password);
        Recorded().clear();
        return *m_form;
    }

    Form1 &connected(bool rememberMe)
    {
        Form1 &f = window(rememberMe, m_server.user(), m_server.password());
        f.PushButton1->click();
        return f;
    }

private slots:
    void initTestCase()
    {
        if (!DovecotFixture::available())
            QSKIP("Dovecot is not installed");
        m_server.addFolder(QStringLiteral("INBOX"), QList<QByteArray>{message(QStringLiteral("one"))});
        m_server.addFolder(QStringLiteral("Archive"), QList<QByteArray>{message(QStringLiteral("two"))});
        m_server.addFolder(QStringLiteral("Receipts"), QList<QByteArray>{message(QStringLiteral("three"))});
        m_server.addFolder(QStringLiteral("Travel"), QList<QByteArray>{message(QStringLiteral("four"))});
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
        qputenv("LARKSPAN_IMAP_PORT", QByteArray::number(m_server.port()));
        qputenv("LARKSPAN_IMAP_CA_FILE", m_server.caFile().toLocal8Bit());
    }

    void init()
    {
        larkspan::test::ResetSettings();
        Recorded().clear();
        Printers().replacePrinters({QStringLiteral("Office Laser"), PdfWriterDeviceName()}, QStringLiteral("Office Laser"));
    }

    void cleanup()
    {
        m_form.reset();
    }

    void refusedLoginGivesOneMessageAndTheUnconnectedState_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("wrong password") << QStringLiteral("larkspan") << QStringLiteral("not-the-password");
        QTest::newRow("empty fields") << QString() << QString();
    }

    void refusedLoginGivesOneMessageAndTheUnconnectedState()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        Form1 &f = window(false, user, password);
        f.PushButton1->click();
        QCOMPARE(windowMessages(),
                 QStringList({kInvalidLogin + "Login failed: the server answered NO [AUTHENTICATIONFAILED] Authentication failed."}));
        QVERIFY(errorReports().isEmpty());
        QCOMPARE(f.PushButton1->text(), QStringLiteral("1. Connect"));
        QCOMPARE(f.ProgressBar1->text(), QStringLiteral("Disconnected from Yahoo! Mail."));
        QVERIFY(!f.context().oChilkat);
        QCOMPARE(f.Combo2->count(), 0);
        QCOMPARE(f.Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        QVERIFY(f.cursor().shape() != Qt::WaitCursor);
        // The login fields and the stored login stay as they were.
        QCOMPARE(f.Text1->text(), user);
        QCOMPARE(f.Text2->text(), password);
        QCOMPARE(ReadSetting(QStringLiteral("Password")), password);
    }

    void fourFoldersAndNoStoredPositionSelectTheFourth()
    {
        Form1 &f = window(false, m_server.user(), m_server.password());
        // What a handler running during the connect sees: the status, and still the old caption.
        QStringList seen;
        QTimer::singleShot(0, &f, [&] { seen << f.ProgressBar1->text() << f.PushButton1->text(); });
        f.PushButton1->click();
        QCOMPARE(seen, QStringList({"Connecting to Yahoo! Mail...", "1. Connect"}));

        QCOMPARE(windowMessages(), QStringList());
        QCOMPARE(f.Combo2->count(), 4);
        QStringList names;
        for (int i = 0; i < f.Combo2->count(); ++i)
            names << f.Combo2->itemText(i);
        names.sort();
        QCOMPARE(names, QStringList({"Archive", "INBOX", "Receipts", "Travel"}));
        QCOMPARE(f.Combo2->currentIndex(), 3);
        QCOMPARE(f.Combo2->currentText(), f.Combo2->itemText(3));
        // Selecting raised the folder list's click, which stored the position.
        QCOMPARE(ReadSetting(QStringLiteral("Combo2")), QStringLiteral("3"));
        QCOMPARE(f.PushButton1->text(), QStringLiteral("Disconnect"));
        QCOMPARE(f.ProgressBar1->text(), QStringLiteral("Connected to Yahoo! Mail. Please select folder."));
        QCOMPARE(larkspan::test::AccessibleNameMismatches(&f), QStringList());
        QVERIFY(f.context().oChilkat);
        QCOMPARE(f.context().oChilkat->IMAPServer, QStringLiteral("127.0.0.1"));
        QVERIFY(f.context().oChilkat->SSL);
        QCOMPARE(f.Label3->text(), QStringLiteral("No Character Filter set"));
        QVERIFY(f.cursor().shape() != Qt::WaitCursor);

        // The user picks another folder: its position is stored.
        f.Combo2->setCurrentIndex(1);
        emit f.Combo2->activated(1);
        QCOMPARE(ReadSetting(QStringLiteral("Combo2")), QStringLiteral("1"));
    }

    void theListButtonsWorkOnTheConnectedWindow()
    {
        Form1 &f = connected(false);
        QCOMPARE(f.Combo2->currentIndex(), 3);
        f.PushButton3->click();
        // The chosen folder holds one message: one row, counted, and the run's end.
        QCOMPARE(f.ListView1->count(), 1);
        QCOMPARE(f.ListView1->subItem(1, 2), QStringLiteral("ada@example.org"));
        QCOMPARE(f.Label1->text(), QStringLiteral("Total Number Of Emails: 1"));
        QCOMPARE(windowMessages(), QStringList({"Done."}));
        QCOMPARE(f.PushButton3->text(), QStringLiteral("2a. Get All Emails"));

        f.PushButton5->click();
        QCOMPARE(f.Label2->text(), QStringLiteral("Selected Emails: 1"));
        QVERIFY(errorReports().isEmpty());
    }

    void aSecondClickDuringTheConnectOnlyTurnsTheCaption()
    {
        Form1 &f = window(false, m_server.user(), m_server.password());
        std::shared_ptr<clsChilkatIMAP> during;
        QString captionAfterSecondClick;
        QTimer::singleShot(0, &f, [&] {
            during = f.context().oChilkat;
            f.PushButton1->click();
            captionAfterSecondClick = f.PushButton1->text();
        });
        f.PushButton1->click();
        QVERIFY(during);
        QCOMPARE(captionAfterSecondClick, QStringLiteral("Disconnect"));
        // The first click carried on to the end with its own session.
        QCOMPARE(f.context().oChilkat, during);
        QCOMPARE(f.Combo2->count(), 4);
        QCOMPARE(f.PushButton1->text(), QStringLiteral("Disconnect"));
        QCOMPARE(windowMessages(), QStringList());
    }

    void storedPositions_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("reported");
        QTest::newRow("in range") << QStringLiteral("2") << 2 << false;
        QTest::newRow("beyond the list") << QStringLiteral("7") << -1 << false;
        QTest::newRow("negative") << QStringLiteral("-1") << -1 << false;
        QTest::newRow("not a number") << QStringLiteral("second") << -1 << true;
    }

    void storedPositions()
    {
        QFETCH(QString, stored);
        QFETCH(int, selected);
        QFETCH(bool, reported);
        WriteSetting(QStringLiteral("Combo2"), stored);
        Form1 &f = connected(false);
        QCOMPARE(f.Combo2->count(), 4);
        QCOMPARE(f.Combo2->currentIndex(), selected);
        const QStringList reports = errorReports();
        if (reported) {
            QCOMPARE(reports.size(), 1);
            QVERIFY2(reports[0].startsWith(QStringLiteral("Type mismatch\r\nin Ostrevan2021/08/31.Form1.PushButton1_Click at line ")),
                     qPrintable(reports[0]));
        } else {
            QCOMPARE(reports, QStringList());
        }
        QCOMPARE(windowMessages().size(), reports.size());
        // A position that selects nothing is not written back.
        QCOMPARE(ReadSetting(QStringLiteral("Combo2")), stored);
        // The connect goes on to the connected state either way.
        QCOMPARE(f.PushButton1->text(), QStringLiteral("Disconnect"));
        QCOMPARE(f.ProgressBar1->text(), QStringLiteral("Connected to Yahoo! Mail. Please select folder."));
    }

    void storedFilterIsShownAfterConnecting()
    {
        WriteSetting(QStringLiteral("CharactersFilter"), QStringLiteral("abc"));
        Form1 &f = connected(true);
        QCOMPARE(f.context().CharactersFilter, QStringLiteral("abc"));
        QCOMPARE(f.Label3->text(), QStringLiteral("Character Filter set to abc"));

        // Disconnecting keeps the filter and the folders; only the label forgets.
        f.PushButton1->click();
        QCOMPARE(f.Label3->text(), QStringLiteral("No Character Filter set"));
        QCOMPARE(f.context().CharactersFilter, QStringLiteral("abc"));
        QCOMPARE(f.Combo2->count(), 4);

        // An empty stored filter leaves the label as it is.
        WriteSetting(QStringLiteral("CharactersFilter"), QString());
        f.Label3->setText(QStringLiteral("left alone"));
        f.PushButton1->click();
        QCOMPARE(f.PushButton1->text(), QStringLiteral("Disconnect"));
        QCOMPARE(f.context().CharactersFilter, QString());
        QCOMPARE(f.Label3->text(), QStringLiteral("left alone"));
    }

    void disconnect_data()
    {
        QTest::addColumn<bool>("rememberMe");
        QTest::newRow("remember me") << true;
        QTest::newRow("not remembered") << false;
    }

    void disconnect()
    {
        QFETCH(bool, rememberMe);
        Form1 &f = connected(rememberMe);
        QCOMPARE(f.PushButton1->text(), QStringLiteral("Disconnect"));
        const int row = f.ListView1->append(QStringLiteral("listed"));
        f.ListView1->setChecked(row, true);
        f.context().counters->RefreshCounters(false);
        f.context().counters->AccumulateChecks = true;

        QStringList statusDuring;
        QTimer::singleShot(0, &f, [&] { statusDuring << f.ProgressBar1->text(); });
        f.PushButton1->click();
        QCOMPARE(statusDuring, QStringList({"Disconnecting from Yahoo! Mail..."}));

        QCOMPARE(f.PushButton1->text(), QStringLiteral("1. Connect"));
        QCOMPARE(f.ProgressBar1->text(), QStringLiteral("Disconnected from Yahoo! Mail."));
        QVERIFY(!f.context().oChilkat);
        QVERIFY(!f.context().counters->AccumulateChecks);
        QCOMPARE(f.ListView1->count(), 0);
        QCOMPARE(f.Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(f.Label2->text(), QStringLiteral("Selected Emails: 0"));
        QVERIFY(!f.context().imapComponent->isConnected());
        const QString user = rememberMe ? m_server.user() : QString();
        const QString password = rememberMe ? m_server.password() : QString();
        QCOMPARE(f.Text1->text(), user);
        QCOMPARE(f.Text2->text(), password);
        QCOMPARE(ReadSetting(QStringLiteral("User")), user);
        QCOMPARE(ReadSetting(QStringLiteral("Password")), password);
        QCOMPARE(windowMessages(), QStringList());
    }

    void autoConnectAtStartupConnectsWithTheRememberedLogin()
    {
        WriteSetting(QStringLiteral("StayConnected"), QStringLiteral("1"));
        WriteSetting(QStringLiteral("AutoConnect"), QStringLiteral("1"));
        WriteSetting(QStringLiteral("User"), m_server.user());
        WriteSetting(QStringLiteral("Password"), m_server.password());
        m_form = std::make_unique<Form1>();
        m_form->setProgramEnd([this] { ++m_ends; });
        m_form->Form_Load();
        QCOMPARE(windowMessages(), QStringList());
        QCOMPARE(m_form->PushButton1->text(), QStringLiteral("Disconnect"));
        QCOMPARE(m_form->Combo2->currentIndex(), 3);
        QVERIFY(m_form->Check2->isEnabled());
    }
};

LARKSPAN_TEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
