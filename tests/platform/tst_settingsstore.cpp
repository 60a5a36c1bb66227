#include "support/TestEnvironment.h"

#include "platform/core/AppError.h"
#include "platform/core/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

using namespace larkspan;

namespace {

int fileMode(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

} // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init() { larkspan::test::ResetSettings(); }

    void fileIsOwnerOnly_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("rewritten atomically") << false;
        QTest::newRow("rewritten in place") << true;
    }

    void fileIsOwnerOnly()
    {
        QFETCH(bool, inPlace);
        IniStore store(QStringLiteral("Vornhelm"), QStringLiteral("Larkspan"),
                       inPlace ? IniStore::Rewrite::InPlace : IniStore::Rewrite::Atomically);
        const QString path = store.filePath();
        QVERIFY(path.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        QVERIFY(!QFile::exists(path));
        QVERIFY(store.write(QStringLiteral("Password"), QStringLiteral("s3cret")));
        QCOMPARE(fileMode(path), 0600);

        // A file that someone made readable to others is owner-only again after a write.
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther
                                                | QFileDevice::ReadGroup));
        QCOMPARE(fileMode(path), 0644);
        QVERIFY(store.write(QStringLiteral("User"), QStringLiteral("me")));
        QCOMPARE(fileMode(path), 0600);
        // Shorter values leave nothing of the longer ones behind.
        QVERIFY(store.write(QStringLiteral("Password"), QStringLiteral("s")));
        QCOMPARE(store.read(QStringLiteral("Password")), QStringLiteral("s"));
        QCOMPARE(store.read(QStringLiteral("User")), QStringLiteral("me"));
    }

    void valuesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "someone@example.com";
        QTest::newRow("cr lf") << "line one\r\nline two\rthree\nfour";
        QTest::newRow("backslashes") << "C:\\Out\\\\n\\";
        QTest::newRow("escape look-alikes") << "\\n is not a line feed, \\r neither";
        QTest::newRow("ini syntax") << "[Larkspan]\nStayConnected=1\n;comment";
        QTest::newRow("blanks kept") << "  padded  ";
        QTest::newRow("non-ascii") << "pässwörd ✓ 密码";
        QTest::newRow("empty") << "";
    }
    void valuesRoundTrip()
    {
        QFETCH(QString, value);
        WriteSetting(QStringLiteral("Password"), value);
        WriteSetting(QStringLiteral("User"), QStringLiteral("after"));
        QCOMPARE(ReadSetting(QStringLiteral("Password"), QStringLiteral("absent")), value);
        QCOMPARE(ReadSetting(QStringLiteral("User")), QStringLiteral("after"));
        // A value that looks like INI text adds no keys of its own.
        QCOMPARE(ReadSetting(QStringLiteral("StayConnected"), QStringLiteral("absent")), QStringLiteral("absent"));
    }

    void replacingKeepsOtherKeysAndSections()
    {
        IniStore other(QStringLiteral("Vornhelm"), QStringLiteral("Other"));
        QVERIFY(other.write(QStringLiteral("User"), QStringLiteral("theirs")));
        WriteSetting(QStringLiteral("User"), QStringLiteral("first"));
        WriteSetting(QStringLiteral("Combo2"), QStringLiteral("3"));
        WriteSetting(QStringLiteral("User"), QStringLiteral("second"));
        QCOMPARE(ReadSetting(QStringLiteral("User")), QStringLiteral("second"));
        QCOMPARE(ReadSetting(QStringLiteral("Combo2")), QStringLiteral("3"));
        QCOMPARE(other.read(QStringLiteral("User")), QStringLiteral("theirs"));
        QCOMPARE(ReadSetting(QStringLiteral("Use"), QStringLiteral("d")), QStringLiteral("d")); // no prefix match
    }

    void missingOrUnreadableFileIsAnEmptyStore()
    {
        QCOMPARE(ReadSetting(QStringLiteral("User"), QStringLiteral("default")), QStringLiteral("default"));
        const QString path = ProgramSettings().filePath();
        QVERIFY(QDir().mkpath(path)); // a folder where the file should be
        QCOMPARE(ReadSetting(QStringLiteral("User"), QStringLiteral("default")), QStringLiteral("default"));
        QVERIFY(!ProgramSettings().write(QStringLiteral("User"), QStringLiteral("x")));
        QVERIFY(QDir(path).removeRecursively());
    }

    void integers()
    {
        QCOMPARE(ReadSettingInt(QStringLiteral("AutoConnect"), 0), 0);
        WriteSetting(QStringLiteral("AutoConnect"), QStringLiteral(" 1 "));
        QCOMPARE(ReadSettingInt(QStringLiteral("AutoConnect"), 0), 1);
        QCOMPARE(ToInteger(QStringLiteral("2.5")), 2);
        QCOMPARE(ToInteger(QStringLiteral("3.5")), 4);
        QCOMPARE(ToInteger(QStringLiteral("-7")), -7);
        for (const QString &bad : {QStringLiteral("yes"), QString(), QStringLiteral("1x"), QStringLiteral("9999999999")}) {
            try {
                ToInteger(bad);
                QFAIL(qPrintable(QStringLiteral("accepted ") + bad));
            } catch (const AppError &e) {
                QCOMPARE(e.description(), QStringLiteral("Type mismatch"));
                QCOMPARE(e.number(), 13);
            }
        }
        WriteSetting(QStringLiteral("StayConnected"), QStringLiteral("on"));
        QVERIFY_THROWS_EXCEPTION(AppError, ReadSettingInt(QStringLiteral("StayConnected"), 0));
    }
};

LARKSPAN_GUILESS_TEST_MAIN(SettingsStoreTest)
#include "tst_settingsstore.moc"
