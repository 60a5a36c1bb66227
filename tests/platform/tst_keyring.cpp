// The remembered password against a real gnome-keyring-daemon on a private session
// bus: written, read and cleared in the keyring; an old settings file's password moved
// into it; without a keyring, the settings file keeps it as before.
#include "platform/core/SettingsStore.h"
#include "platform/keyring/Keyring.h"
#include "platform/keyring/RememberedPassword.h"
#include "support/KeyringFixture.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

using namespace larkspan;
using larkspan::test::KeyringFixture;

namespace {

QByteArray SettingsFileText()
{
    QFile file(ProgramSettings().filePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class KeyringTest : public QObject {
    Q_OBJECT

    KeyringFixture m_keyring;

private slots:
    void initTestCase()
    {
        if (!KeyringFixture::available())
            QSKIP("dbus-daemon or gnome-keyring-daemon is not installed");
        QVERIFY2(m_keyring.start(), qPrintable(m_keyring.errorText()));
    }

    void init() { larkspan::test::ResetSettings(); }

    void rememberedPasswordLivesInTheKeyring_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QStringLiteral("Larkspan-test-1");
        QTest::newRow("quotes, spaces, non-ASCII") << QStringLiteral("p \"w\" 'd' é€ \\ =;");
    }

    void rememberedPasswordLivesInTheKeyring()
    {
        QFETCH(QString, password);
        QCOMPARE(RememberedPasswordPlace(), PasswordPlace::Keyring);
        QVERIFY(WriteRememberedPassword(password));
        QCOMPARE(ReadKeyringPassword(RememberedPasswordEntry(), nullptr), std::optional<QString>(password));
        QCOMPARE(ReadRememberedPassword().password, password);
        QVERIFY(!SettingsFileText().contains(password.toUtf8()));
        // An empty field clears the entry.
        QVERIFY(WriteRememberedPassword(QString()));
        QString problem = QStringLiteral("unset");
        QCOMPARE(ReadKeyringPassword(RememberedPasswordEntry(), &problem), std::nullopt);
        QCOMPARE(problem, QString());
    }

    void anOldSettingsFilePasswordMovesIntoTheKeyring()
    {
        WriteSetting(QStringLiteral("Password"), QStringLiteral("from-an-old-file"));
        QVERIFY(MoveRememberedPasswordToKeyring());
        QVERIFY(!SettingsFileText().contains("from-an-old-file"));
        QCOMPARE(ReadRememberedPassword().password, QStringLiteral("from-an-old-file"));
        QVERIFY(ClearKeyringPassword(RememberedPasswordEntry(), nullptr));
    }

    // Last: the keyring goes away for good.
    void withoutAKeyringTheSettingsFileKeepsIt()
    {
        m_keyring.stopKeyring();
        QCOMPARE(RememberedPasswordPlace(), PasswordPlace::SettingsFile);
        QVERIFY(WriteRememberedPassword(QStringLiteral("kept-in-the-file")));
        QVERIFY(MoveRememberedPasswordToKeyring());
        QCOMPARE(ReadSetting(QStringLiteral("Password")), QStringLiteral("kept-in-the-file"));
        QCOMPARE(ReadRememberedPassword().password, QStringLiteral("kept-in-the-file"));
    }
};

LARKSPAN_GUILESS_TEST_MAIN(KeyringTest)
#include "tst_keyring.moc"
