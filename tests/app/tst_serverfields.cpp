// The login group's server fields and the remembered password through the window:
// a provider's server proposed from the address, texts that name another server,
// "Can't Login?" for a provider, a folder listed over STARTTLS from the fields, and
// "Remember me" with a real keyring on a private session bus.
#include "app/Form1.h"
#include "platform/core/ProgramFolder.h"
#include "platform/core/SettingsStore.h"
#include "platform/keyring/Keyring.h"
#include "platform/keyring/RememberedPassword.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/PrinterRegistry.h"
#include "platform/widgets/ProgressBar.h"
#include "support/DovecotFixture.h"
#include "support/KeyringFixture.h"
#include "support/WidgetTestMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

using namespace larkspan;
using larkspan::test::DovecotFixture;
using larkspan::test::KeyringFixture;
using larkspan::test::Recorded;

namespace {

QByteArray SettingsFileText()
{
    QFile file(ProgramSettings().filePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ServerFieldsTest : public QObject {
    Q_OBJECT

    KeyringFixture m_keyring;
    DovecotFixture m_server;
    std::unique_ptr<Form1> m_form;

    Form1 &loaded()
    {
        m_form = std::make_unique<Form1>();
        m_form->setProgramEnd([] {});
        m_form->Form_Load();
        return *m_form;
    }

    // The fields decide, not the environment; the server of a test is on loopback.
    static void serverFromTheFieldsOnly()
    {
        qunsetenv("LARKSPAN_IMAP_HOST");
        qunsetenv("LARKSPAN_IMAP_PORT");
        qunsetenv("LARKSPAN_IMAP_SECURITY");
    }

private slots:
    void initTestCase()
    {
        // The keyring's bus before anything else uses the session bus.
        if (!KeyringFixture::available() || !DovecotFixture::available())
            QSKIP("dbus-daemon, gnome-keyring-daemon or Dovecot is not installed");
        QVERIFY2(m_keyring.start(), qPrintable(m_keyring.errorText()));
        m_server.setEncryption(DovecotFixture::Encryption::StartTls);
        m_server.addFolder(QStringLiteral("INBOX"), QList<QByteArray>{"From: Ada <ada@example.org>\r\nSubject: one\r\n"
                                                                      "Date: Tue, 2 Jan 2024 10:00:00 +0000\r\n\r\nHi.\r\n"});
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
        qputenv("LARKSPAN_IMAP_CA_FILE", m_server.caFile().toLocal8Bit());
        qputenv("LARKSPAN_IMAP_PORT", QByteArray::number(m_server.port()));
    }

    void init()
    {
        larkspan::test::ResetSettings();
        ClearKeyringPassword(RememberedPasswordEntry(), nullptr);
        Recorded().clear();
        Printers().replacePrinters({PdfWriterDeviceName()}, PdfWriterDeviceName());
    }

    void cleanup()
    {
        m_form.reset();
        qputenv("LARKSPAN_IMAP_HOST", "127.0.0.1");
        qputenv("LARKSPAN_IMAP_SECURITY", "tls");
        qputenv("LARKSPAN_IMAP_PORT", QByteArray::number(m_server.port()));
    }

    void theAddressProposesItsProvidersServer_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("label");
        QTest::newRow("gmail") << "ada@gmail.com" << "imap.gmail.com" << 993 << "TLS" << " Gmail ID:";
        QTest::newRow("proton bridge") << "ada@proton.me" << "127.0.0.1" << 1143 << "STARTTLS" << " Proton Mail Bridge ID:";
        QTest::newRow("yahoo: the service's texts") << "ada@yahoo.com" << "imap.mail.yahoo.com" << 993 << "TLS" << " Yahoo! ID:";
        QTest::newRow("unknown: the service") << "ada@example.org" << "imap.mail.yahoo.com" << 993 << "TLS" << " Yahoo! ID:";
    }

    void theAddressProposesItsProvidersServer()
    {
        serverFromTheFieldsOnly();
        Form1 &f = loaded();
        f.Text1->setText(QStringLiteral("ada@gmail.com")); // proposals follow the address
        QFETCH(QString, user);
        f.Text1->setText(user);
        QTEST(f.txtServer->text(), "host");
        QTEST(f.txtPort->value(), "port");
        QTEST(f.cboSecurity->currentText(), "security");
        QTEST(f.lblLabels[0]->text(), "label");
        // A server typed by the user stays whatever the address.
        f.txtServer->setText(QStringLiteral("mail.example.org"));
        f.Text1->setText(QStringLiteral("bob@gmail.com"));
        QCOMPARE(f.txtServer->text(), QStringLiteral("mail.example.org"));
        QCOMPARE(f.lblLabels[0]->text(), QStringLiteral(" mail.example.org ID:"));
    }

    void cantLoginSaysWhatTheProviderAsks()
    {
        serverFromTheFieldsOnly();
        Form1 &f = loaded();
        f.Text1->setText(QStringLiteral("ada@icloud.com"));
        f.PushButton12->click();
        QCOMPARE(Recorded().messages().size(), 1);
        QVERIFY(Recorded().messages().first().contains(QStringLiteral("app-specific password")));
    }

    void aFolderListsOverStartTlsFromTheFields()
    {
        serverFromTheFieldsOnly();
        Form1 &f = loaded();
        f.Text1->setText(m_server.user());
        f.Text2->setText(m_server.password());
        f.txtServer->setText(m_server.host());
        f.cboSecurity->setCurrentIndex(1);
        f.txtPort->setValue(m_server.port());
        f.PushButton1->click();
        QCOMPARE(f.ProgressBar1->text(), QStringLiteral("Connected to 127.0.0.1. Please select folder."));
        QCOMPARE(ReadSetting(QStringLiteral("Server")), QStringLiteral("127.0.0.1"));
        QCOMPARE(ReadSetting(QStringLiteral("Port")), QString::number(m_server.port()));
        QCOMPARE(ReadSetting(QStringLiteral("Security")), QStringLiteral("starttls"));
        f.Combo2->setCurrentIndex(0);
        f.PushButton3->click();
        QCOMPARE(f.ListView1->count(), 1);
        f.PushButton1->click();
        QCOMPARE(f.ProgressBar1->text(), QStringLiteral("Disconnected from 127.0.0.1."));
    }

    void rememberMeKeepsThePasswordInTheKeyring()
    {
        qputenv("LARKSPAN_IMAP_SECURITY", "starttls");
        Form1 &f = loaded();
        f.Check1->click();
        f.Check2->click();
        f.Text1->setText(m_server.user());
        f.Text2->setText(m_server.password());
        f.PushButton1->click();
        QCOMPARE(f.PushButton1->text(), QStringLiteral("Disconnect"));
        m_form.reset();
        QVERIFY(!SettingsFileText().contains(m_server.password().toUtf8()));
        QCOMPARE(ReadKeyringPassword(RememberedPasswordEntry(), nullptr), std::optional<QString>(m_server.password()));
        // The next start fills the fields and connects.
        Form1 &again = loaded();
        QCOMPARE(again.Text2->text(), m_server.password());
        QCOMPARE(again.PushButton1->text(), QStringLiteral("Disconnect"));
    }

    void anOldSettingsFilePasswordMovesIntoTheKeyringAtStart()
    {
        WriteSetting(QStringLiteral("StayConnected"), QStringLiteral("1"));
        WriteSetting(QStringLiteral("User"), QStringLiteral("ada"));
        WriteSetting(QStringLiteral("Password"), QStringLiteral("from-an-old-file"));
        Form1 &f = loaded();
        QCOMPARE(f.Text1->text(), QStringLiteral("ada"));
        QCOMPARE(f.Text2->text(), QStringLiteral("from-an-old-file"));
        QVERIFY(!SettingsFileText().contains("from-an-old-file"));
        QCOMPARE(ReadKeyringPassword(RememberedPasswordEntry(), nullptr), std::optional<QString>("from-an-old-file"));
        QVERIFY(Recorded().messages().filter(QStringLiteral("keyring")).isEmpty());
    }

    void larkspanExportSignsInWithTheKeyringsPassword()
    {
        qputenv("LARKSPAN_IMAP_SECURITY", "starttls");
        WriteSetting(QStringLiteral("User"), m_server.user());
        QVERIFY(WriteKeyringPassword(RememberedPasswordEntry(), m_server.password(), nullptr));
        QTemporaryDir out;
        QProcess run;
        // Signed in, it finds no such folder: the password came from the keyring.
        run.start(ProgramFile(QStringLiteral("larkspan-export")),
                  {QStringLiteral("--folder"), QStringLiteral("Nowhere"), QStringLiteral("--to"), out.path(), QStringLiteral("--quiet")});
        QVERIFY(run.waitForFinished(180000));
        const QString said = QString::fromLocal8Bit(run.readAllStandardError());
        QVERIFY2(said.contains(QStringLiteral("could not be opened")), qPrintable(said));
        QVERIFY(!said.contains(m_server.password()));
    }

    // Last: the keyring stays locked.
    void aLockedKeyringLeavesTheFieldsEmptyAndTheFileAsItWas()
    {
        WriteSetting(QStringLiteral("StayConnected"), QStringLiteral("1"));
        WriteSetting(QStringLiteral("User"), QStringLiteral("ada"));
        WriteSetting(QStringLiteral("Password"), QStringLiteral("from-an-old-file"));
        QVERIFY(m_keyring.lock());
        Form1 &f = loaded();
        QCOMPARE(f.Text1->text(), QString());
        QCOMPARE(f.Text2->text(), QString());
        QCOMPARE(Recorded().messages().filter(QStringLiteral("keyring could not be used")).size(), 1);
        QCOMPARE(ReadSetting(QStringLiteral("Password")), QStringLiteral("from-an-old-file"));
        QCOMPARE(ReadSetting(QStringLiteral("User")), QStringLiteral("ada"));
    }
};

LARKSPAN_TEST_MAIN(ServerFieldsTest)
#include "tst_serverfields.moc"
