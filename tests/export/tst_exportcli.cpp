// larkspan-export as a user runs it: its command line, a whole export from a real
// Dovecot that gives what the export window gives, the repeat run that writes only what
// is new, and one exit status for each kind of bad input.

#include "support/DiskSources.h"
#include "support/DovecotFixture.h"
#include "support/PickedFolder.h"
#include "support/TestEnvironment.h"

#include "export/cli/ExportCommandLine.h"
#include "platform/core/ProgramFolder.h"
#include "platform/core/SettingsStore.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace larkspan;
using namespace larkspan::test;

Q_DECLARE_METATYPE(larkspan::test::DiskKind)

namespace {

const QString kGrowing = QStringLiteral("Growing");

QByteArray Numbered(int n)
{
    return "From: Nell <nell@example.org>\r\nSubject: Note " + QByteArray::number(n) +
           "\r\nDate: Thu, 03 Dec 2026 10:00:00 +0000\r\nMessage-ID: <note-" + QByteArray::number(n) +
           "@example.org>\r\n\r\nNote number " + QByteArray::number(n) + ".\r\n";
}

struct Run {
    int status = -1;
    QString out, err;
};

} // namespace

class ExportCliTest : public QObject {
    Q_OBJECT

    DovecotFixture m_server;
    QTemporaryDir m_scratch;

    QString passwordFile(QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
    {
        const QString path = m_scratch.path() + QStringLiteral("/password");
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(m_server.password().toUtf8() + "\n");
        file.close();
        file.setPermissions(permissions);
        return path;
    }

    Run exportWith(const QStringList &arguments, const QByteArray &input = QByteArray(), int stopAfterPdfs = 0,
                   const QString &watched = QString())
    {
        QProcess process;
        process.start(ProgramFolder() + QStringLiteral("/larkspan-export"), arguments);
        process.waitForStarted(60000);
        process.write(input);
        process.closeWriteChannel();
        if (stopAfterPdfs > 0) {
            QElapsedTimer waited;
            waited.start();
            while (QDir(watched).entryList({QStringLiteral("*.pdf")}).size() < stopAfterPdfs && waited.elapsed() < 60000 &&
                   process.state() == QProcess::Running)
                process.waitForFinished(20);
            ::kill(pid_t(process.processId()), SIGTERM);
        }
        process.waitForFinished(180000);
        return Run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                   QString::fromLocal8Bit(process.readAllStandardOutput()), QString::fromLocal8Bit(process.readAllStandardError())};
    }

    QStringList common(const QString &folder, const QString &out)
    {
        return {QStringLiteral("--user"), m_server.user(), QStringLiteral("--folder"), folder, QStringLiteral("--to"), out,
                QStringLiteral("--password-file"), passwordFile(), QStringLiteral("--quiet")};
    }

private slots:
    void initTestCase()
    {
        if (!DovecotFixture::available())
            QSKIP("Dovecot is not installed");
        m_server.addFolder(PickedFolderName(), PickedSourceFiles());
        m_server.addFolder(kGrowing, QList<QByteArray>{Numbered(1), Numbered(2), Numbered(3)});
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
        qputenv("LARKSPAN_IMAP_PORT", QByteArray::number(m_server.port()));
        qputenv("LARKSPAN_IMAP_CA_FILE", m_server.caFile().toLocal8Bit());
    }

    void init() { ResetSettings(); }

    void theCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::newRow("nothing: all from the settings") << QStringList{} << QString();
        QTest::newRow("everything") << QStringList{"--server", "imap.example.org:143", "--security", "starttls", "--user", "me",
                                                   "--folder", "INBOX", "--range", "5-9", "--since", "2026-12-01", "--containing",
                                                   "x", "--to", "/o", "--pattern", "<Subject>", "--text-only", "--no-attachments",
                                                   "--bundle", "--all-again", "--password-stdin", "--quiet"}
                                    << QString();
        QTest::newRow("IPv6 with a port") << QStringList{"--server", "[::1]:993"} << QString();
        QTest::newRow("an unknown option") << QStringList{"--pasword", "x"} << "Unknown option 'pasword'.";
        QTest::newRow("a password on the command line") << QStringList{"--password", "secret"} << "Unknown option 'password'.";
        QTest::newRow("a range backwards") << QStringList{"--range", "9-5"} << "--range wants FIRST-LAST";
        QTest::newRow("a range from 0") << QStringList{"--range", "0-5"} << "--range wants FIRST-LAST";
        QTest::newRow("a date that is none") << QStringList{"--since", "2026-02-30"} << "--since wants a date";
        QTest::newRow("a security that is none") << QStringList{"--security", "ssl"} << "--security wants tls or starttls";
        QTest::newRow("a port out of range") << QStringList{"--server", "h:70000"} << "is not between 1 and 65535";
        QTest::newRow("a stray argument") << QStringList{"INBOX"} << "Unexpected argument \"INBOX\"";
        QTest::newRow("an mbox file") << QStringList{"--mbox", "mail.mbox", "--to", "/o"} << QString();
        QTest::newRow("a Maildir++ folder") << QStringList{"--maildir", "Mail", "--folder", "Sub.Deeper"} << QString();
        QTest::newRow(".eml files") << QStringList{"a.eml", "B.EML", "--bundle"} << QString();
        QTest::newRow("two sources") << QStringList{"--mbox", "m", "a.eml"} << "Give one source";
        QTest::newRow("an mbox without its name") << QStringList{"--mbox", ""} << "want the name of a file";
        QTest::newRow("a folder of an mbox") << QStringList{"--mbox", "m", "--folder", "INBOX"} << "with --maildir";
        QTest::newRow("a date with mail on the disk") << QStringList{"--mbox", "m", "--since", "2026-12-01"} << "server folder";
    }

    void theCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const ParsedCommand parsed = ParseExportCommandLine(arguments);
        if (error.isEmpty())
            QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
        else
            QVERIFY2(parsed.error.contains(error), qPrintable(parsed.error));
        if (arguments.contains(QStringLiteral("--range")) && error.isEmpty()) {
            QCOMPARE(parsed.command.first, 5);
            QCOMPARE(parsed.command.last, 9);
            QCOMPARE(parsed.command.port, 143);
            QCOMPARE(parsed.command.security, MailSecurity::StartTls);
        }
    }

    void helpListsEveryOption()
    {
        const Run run = exportWith({QStringLiteral("--help")});
        QCOMPARE(run.status, 0);
        for (const char *option : {"--server", "--security", "--user", "--folder", "--mbox", "--maildir", ".eml", "--range", "--since", "--containing", "--to",
                                   "--pattern", "--text-only", "--no-attachments", "--bundle", "--all-again", "--password-file",
                                   "--password-stdin", "--quiet", "--help", "--version"})
            QVERIFY2(run.out.contains(QLatin1String(option)), option);
    }

    void theSameAsTheWindowThenOnlyWhatIsNew()
    {
        QTemporaryDir out;
        const QString folder = out.path() + QLatin1Char('/');
        Run run = exportWith(common(PickedFolderName(), folder));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("Exported: 5, skipped: 0, failed: 0.")), qPrintable(run.out));
        QList<PickedMessage> inOrder;
        for (const QString &file : PickedSourceFiles())
            for (const PickedMessage &e : PickedMessages())
                if (SourceFile(e) == file)
                    inOrder << e;
        LARKSPAN_REQUIRE(CheckPickedExport(folder, inOrder, false, m_server.user()));

        // A repeat run finds everything done.
        run = exportWith(common(PickedFolderName(), folder));
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QStringLiteral("Exported: 0, skipped: 5, failed: 0.")), qPrintable(run.out));
    }

    void aRepeatRunWritesOnlyTheMessagesAddedMeanwhile()
    {
        QTemporaryDir out;
        const QString folder = out.path() + QLatin1Char('/');
        Run run = exportWith(common(kGrowing, folder) + QStringList{QStringLiteral("--pattern"), QStringLiteral("<Subject>")});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(QDir(folder).entryList({QStringLiteral("*.pdf")}).size(), 3);
        QVERIFY(m_server.deliver(kGrowing, Numbered(4)));
        // The password from standard input this time.
        QStringList arguments = common(kGrowing, folder);
        arguments.replace(arguments.indexOf(QStringLiteral("--password-file")), QStringLiteral("--password-stdin"));
        arguments.removeAt(arguments.indexOf(QStringLiteral("--password-stdin")) + 1);
        run = exportWith(arguments + QStringList{QStringLiteral("--pattern"), QStringLiteral("<Subject>")}, m_server.password().toUtf8() + "\n");
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("Exported: 1, skipped: 3, failed: 0.")), qPrintable(run.out));
        QVERIFY(PdfText(folder + QStringLiteral("Note 4.pdf")).contains(QStringLiteral("Note number 4.")));
        // The report tells the runs apart: two run times, each with its own rows.
        QFile report(folder + QStringLiteral("Larkspan export report.csv"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QSet<QString> runs;
        const QList<QByteArray> lines = report.readAll().split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            if (!lines[i].trimmed().isEmpty())
                runs.insert(QString::fromUtf8(lines[i].left(lines[i].indexOf(','))));
        QCOMPARE(runs.size(), 2);
    }

    // Mail on the disk: no server, no password; the same PDFs and report rows naming
    // the files, and a repeat run skips what is there.
    void mailOnTheDiskWithoutSigningIn_data()
    {
        QTest::addColumn<DiskKind>("kind");
        QTest::addColumn<QString>("option"); // empty: the files as arguments
        QTest::newRow("--mbox") << DiskKind::Mbox << "--mbox";
        QTest::newRow("--maildir") << DiskKind::Maildir << "--maildir";
        QTest::newRow(".eml files") << DiskKind::EmlFiles << QString();
    }

    void mailOnTheDiskWithoutSigningIn()
    {
        QFETCH(DiskKind, kind);
        QFETCH(QString, option);
        QTemporaryDir disk;
        QTemporaryDir out;
        const QString folder = out.path() + QLatin1Char('/');
        QStringList arguments = WriteDiskSource(kind, disk.path(), PickedMessageBytes());
        if (!option.isEmpty())
            arguments.prepend(option);
        arguments << QStringLiteral("--to") << folder << QStringLiteral("--quiet");
        Run run = exportWith(arguments);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("Exported: 5, skipped: 0, failed: 0.")), qPrintable(run.out));
        LARKSPAN_REQUIRE(CheckPickedExport(folder, PickedMessages(), false, QString(), disk.path()));
        run = exportWith(arguments);
        QVERIFY2(run.out.contains(QStringLiteral("Exported: 0, skipped: 5, failed: 0.")), qPrintable(run.out));
    }

    void badMailOnTheDisk_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("no such mbox") << QStringList{"--mbox", "/nonexistent/mail.mbox"} << 2 << "/nonexistent/mail.mbox";
        QTest::newRow("a folder that is no Maildir") << QStringList{"--maildir", "/"} << 2 << "Maildir";
    }

    void badMailOnTheDisk()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, says);
        QTemporaryDir out;
        const Run run = exportWith(arguments + QStringList{QStringLiteral("--to"), out.path(), QStringLiteral("--quiet")});
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(says), qPrintable(run.err));
    }

    void eachBadInputHasItsStatus_data()
    {
        QTest::addColumn<QString>("case_");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown option") << "unknown" << 2 << "Unknown option";
        QTest::newRow("no such folder") << "folder" << 2 << "could not be opened";
        QTest::newRow("range outside the folder") << "range" << 2 << "there is no message 50";
        QTest::newRow("output folder is a file") << "file" << 5 << "is a file, not a folder";
        QTest::newRow("password file others can read") << "openpassword" << 2 << "others than its owner may read it";
        QTest::newRow("no password anywhere") << "nopassword" << 2 << "No password for";
        QTest::newRow("wrong password") << "wrongpassword" << 3 << "Could not sign in";
        QTest::newRow("no server there") << "noserver" << 4 << "Could not sign in";
    }

    void eachBadInputHasItsStatus()
    {
        QFETCH(QString, case_);
        QFETCH(int, status);
        QFETCH(QString, says);
        QTemporaryDir out;
        QStringList arguments = common(PickedFolderName(), out.path());
        const auto set = [&](const QString &option, const QString &value) {
            arguments[arguments.indexOf(option) + 1] = value;
        };
        const QByteArray port = qgetenv("LARKSPAN_IMAP_PORT");
        if (case_ == QLatin1String("unknown"))
            arguments << QStringLiteral("--colour");
        else if (case_ == QLatin1String("folder"))
            set(QStringLiteral("--folder"), QStringLiteral("Nowhere"));
        else if (case_ == QLatin1String("range"))
            arguments << QStringLiteral("--range") << QStringLiteral("50-60");
        else if (case_ == QLatin1String("file")) {
            QFile file(out.path() + QStringLiteral("/plain"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            set(QStringLiteral("--to"), file.fileName());
        } else if (case_ == QLatin1String("openpassword"))
            set(QStringLiteral("--password-file"), passwordFile(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        else if (case_ == QLatin1String("nopassword"))
            arguments.remove(arguments.indexOf(QStringLiteral("--password-file")), 2);
        else if (case_ == QLatin1String("wrongpassword")) {
            const QString wrong = m_scratch.path() + QStringLiteral("/wrong");
            QFile file(wrong);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not the password\n");
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            set(QStringLiteral("--password-file"), wrong);
        } else if (case_ == QLatin1String("noserver"))
            qputenv("LARKSPAN_IMAP_PORT", "1");
        const Run run = exportWith(arguments);
        qputenv("LARKSPAN_IMAP_PORT", port);
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(says), qPrintable(run.err));
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1 + (case_ == QLatin1String("unknown") ? 1 : 0)); // one line says it
        QVERIFY(!run.err.contains(m_server.password()));
    }

    // The user service and its monthly timer, as the package installs them (here with
    // this build's program), and the manual page they point to.
    void theScheduledRunsUnitsAreValid()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("systemd-analyze")).isEmpty())
            QSKIP("systemd-analyze is not installed");
        const QString units = ProgramFolder() + QStringLiteral("/../systemd-check/");
        const QString pages = m_scratch.path() + QStringLiteral("/man");
        QVERIFY(QDir().mkpath(pages + QStringLiteral("/man1")));
        QFile::remove(pages + QStringLiteral("/man1/larkspan-export.1"));
        QVERIFY(QFile::copy(TestDataFolder() + QStringLiteral("/../../export/cli/larkspan-export.1"),
                            pages + QStringLiteral("/man1/larkspan-export.1")));
        const QString runtime = m_scratch.path() + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QProcess verify;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("MANPATH"), pages);
        verify.setProcessEnvironment(environment);
        verify.start(QStringLiteral("systemd-analyze"), {QStringLiteral("verify"), QStringLiteral("--user"),
                                                         units + QStringLiteral("larkspan-export.service"),
                                                         units + QStringLiteral("larkspan-export.timer")});
        QVERIFY(verify.waitForFinished(60000));
        const QString said = QString::fromLocal8Bit(verify.readAllStandardError() + verify.readAllStandardOutput());
        QVERIFY2(verify.exitCode() == 0 && said.trimmed().isEmpty(), qPrintable(said));
    }

    void aStopEndsAfterTheCurrentMessageWithItsReport()
    {
        QTemporaryDir out;
        const QString folder = out.path() + QLatin1Char('/');
        const Run run = exportWith(common(PickedFolderName(), folder), QByteArray(), 1, folder);
        QCOMPARE(run.status, 6);
        const int pdfs = int(QDir(folder).entryList({QStringLiteral("*.pdf")}).size());
        QVERIFY(pdfs >= 1 && pdfs < 5);
        QFile report(folder + QStringLiteral("Larkspan export report.csv"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(report.readAll()).count(QStringLiteral(",exported,")), pdfs);
        // Nothing of the mail stays in the cache.
        QVERIFY(QDir(qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/larkspan")).entryList({QStringLiteral("*.store")}).isEmpty());
    }
};

LARKSPAN_GUILESS_TEST_MAIN(ExportCliTest)
#include "tst_exportcli.moc"
