// Mail already on the disk: mbox files, Maildir folders and .eml files read in place.

#include "mail/local/EmlFilesSource.h"
#include "mail/local/LocalMailSource.h"
#include "mail/local/MaildirFolders.h"
#include "mail/local/MaildirSource.h"
#include "mail/local/MboxScanner.h"
#include "mail/local/MboxSource.h"
#include "mail/local/ReadLocalMessage.h"
#include "platform/core/AppError.h"
#include "platform/core/Sha256.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <unistd.h>

using namespace larkspan;

namespace {

QByteArray ReadData(const QString &name)
{
    QFile file(test::TestDataFolder() + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The description of the AppError that call raises; empty when it raises none.
QString ErrorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const AppError &error) {
        return error.description();
    }
    return QString();
}

QByteArrayList ReadAllMessages(const LocalMailSource &source)
{
    QByteArrayList out;
    for (const LocalMessageEntry &entry : source.messages())
        out << ReadLocalMessage(entry);
    return out;
}

QByteArray Crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// What an mboxrd writer makes of a message: one '>' more before every (quoted) "From ".
QByteArray MboxrdQuoted(const QByteArray &message)
{
    QByteArrayList lines = message.split('\n');
    for (QByteArray &line : lines) {
        qsizetype quotes = 0;
        while (quotes < line.size() && line[quotes] == '>')
            ++quotes;
        if (line.mid(quotes).startsWith("From "))
            line.prepend('>');
    }
    return lines.join('\n');
}

} // namespace

class TestLocalSources : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString pathOf(const QString &name) const { return m_dir->filePath(name); }

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = pathOf(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // A Maildir folder with its three subfolders; files: "cur/<name>" -> content.
    QString makeMaildir(const QString &name, const QList<QPair<QString, QByteArray>> &files = {})
    {
        for (const char *inside : {"cur", "new", "tmp"})
            QDir().mkpath(pathOf(name) + QLatin1Char('/') + QLatin1String(inside));
        for (const auto &[file, content] : files)
            write(name + QLatin1Char('/') + file, content);
        return pathOf(name);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(test::TestScratchFolder() + QStringLiteral("/local")));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>(test::TestScratchFolder() + QStringLiteral("/local/run-XXXXXX"));
        QVERIFY(m_dir->isValid());
    }

    void cleanup() { m_dir.reset(); }

    // ---- mbox -------------------------------------------------------------------------

    void mboxMessages_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArrayList>("messages");
        QTest::addColumn<int>("expunged");
        QTest::addColumn<bool>("mboxrd");

        const QByteArray one = "From: ann@example.org\nSubject: one\n\nfirst body\n";
        const QByteArray two = "From: bob@example.org\nSubject: two\n\nsecond body\n";
        const QByteArray fromAnn = "From ann@example.org Thu Jan  1 12:00:00 2026\n";
        const QByteArray fromBob = "From bob@example.org Fri Jan  2 08:30:00 2026\n";
        QTest::newRow("LF, a blank line after each message")
            << fromAnn + one + "\n" + fromBob + two + "\n" << QByteArrayList{one, two} << 0 << false;
        QTest::newRow("CRLF") << Crlf(fromAnn + one + "\n" + fromBob + two + "\n") << QByteArrayList{Crlf(one), Crlf(two)}
                              << 0 << false;
        QTest::newRow("no blank line between, none at the end")
            << fromAnn + one + fromBob + two << QByteArrayList{one, two} << 0 << false;
        QTest::newRow("a message of header lines only, the next From_ line right after it")
            << fromAnn + "Subject: headers only\n" + fromBob + two + "\n"
            << QByteArrayList{"Subject: headers only\n", two} << 0 << false;

        const QByteArray quoted = "Subject: q\n\nFrom the start\n>From quoted\n>>From twice\nend\n";
        QTest::newRow("mboxrd: one '>' comes off every quoted From line")
            << fromAnn + MboxrdQuoted(quoted) + "\n" + fromBob + two + "\n" << QByteArrayList{quoted, two} << 0 << true;
        const QByteArray mboxo = "Subject: o\n\n>From the start, as mboxo quotes it\n> From: a reply's quote\n";
        QTest::newRow("mboxo: '>From' lines stay, nothing shows mboxrd")
            << fromAnn + mboxo + "\n" + fromBob + two + "\n" << QByteArrayList{mboxo, two} << 0 << false;
        const QByteArray unquoted = "Subject: u\n\nFrom here on, all is well.\nFrom 9 to 5 every day\n";
        QTest::newRow("a body line starting with From but no date is no boundary")
            << fromAnn + unquoted + "\n" + fromBob + two + "\n" << QByteArrayList{unquoted, two} << 0 << false;

        const QByteArray clBody = "Body with a line that looks like a boundary:\n" + fromBob + "and more.\n";
        const QByteArray counted = "Subject: counted\nContent-Length: " + QByteArray::number(clBody.size()) + "\n\n" + clBody;
        QTest::newRow("Content-Length keeps an unquoted From_ line in its body")
            << fromAnn + counted + "\n" + fromBob + two + "\n" << QByteArrayList{counted, two} << 0 << false;
        QTest::newRow("Content-Length to the end of the file")
            << fromAnn + one + "\n" + fromAnn + counted << QByteArrayList{one, counted} << 0 << false;
        const QByteArray wrongLength = "Subject: wrong\nContent-Length: 5\n\nThe length above is wrong.\n";
        QTest::newRow("a Content-Length that meets no boundary is not followed")
            << fromAnn + wrongLength + "\n" + fromBob + two + "\n" << QByteArrayList{wrongLength, two} << 0 << false;
        const QByteArray tooLong = "Subject: long\nContent-Length: 5000\n\nShort.\n";
        QTest::newRow("a Content-Length past the end of the file is not followed")
            << fromAnn + tooLong + "\n" + fromBob + two + "\n" << QByteArrayList{tooLong, two} << 0 << false;

        const QByteArray kept = "X-Mozilla-Status: 0001\nSubject: kept\n\nk\n";
        const QByteArray flagged = "X-Status: D\nStatus: RO\nSubject: deleted flag\n\nd\n";
        const QByteArray imapDeleted = "X-Mozilla-Status: 0000\nX-Mozilla-Status2: 00200000\nSubject: imap\n\ni\n";
        QTest::newRow("expunged messages left out and counted, deleted flags listed")
            << fromAnn + kept + "\n" + fromAnn + "X-Mozilla-Status: 0009\nSubject: gone\n\ng\n\n" + fromAnn + flagged +
                   "\n" + fromAnn + "Subject: gone too\nX-Mozilla-Status:\n 0008\n\ng\n\n" + fromAnn + imapDeleted + "\n"
            << QByteArrayList{kept, flagged, imapDeleted} << 2 << false;
    }

    void mboxMessages()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArrayList, messages);
        QFETCH(int, expunged);
        QFETCH(bool, mboxrd);
        const QString path = write(QStringLiteral("in.mbox"), file);
        auto source = MboxSource::open(path);
        source->scanAll();
        QVERIFY(source->scanFinished());
        QCOMPARE(source->scanDone(), file.size());
        QCOMPARE(ReadAllMessages(*source), messages);
        QCOMPARE(source->expungedLeftOut(), expunged);
        QCOMPARE(source->isMboxrd(), mboxrd);
        for (int i = 0; i < source->messages().size(); ++i) {
            const LocalMessageEntry &entry = source->messages().at(i);
            QCOMPARE(entry.position, i + 1);
            QCOMPARE(entry.filePath, path);
            QCOMPARE(entry.sourcePath, path);
            QVERIFY(entry.problem.isEmpty());
            // The place is the message's octets in the file, as they lie there.
            if (!mboxrd)
                QCOMPARE(file.mid(entry.offset, entry.size), messages.at(i));
        }

        // Read in pieces of any size, every line and boundary falls across pieces: the
        // scan finds the same messages.
        QFile in(path);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QList<mbox::MboxScanner::Message> whole;
        mbox::MboxScanner(in, in.size()).step(1 << 30, whole);
        for (const qint64 chunk : {1, 2, 3, 7, 64}) {
            QList<mbox::MboxScanner::Message> pieces;
            mbox::MboxScanner scanner(in, in.size(), chunk);
            while (scanner.step(chunk, pieces)) {
            }
            QCOMPARE(pieces.size(), whole.size());
            for (int i = 0; i < whole.size(); ++i) {
                QCOMPARE(pieces[i].start, whole[i].start);
                QCOMPARE(pieces[i].size, whole[i].size);
                QCOMPARE(pieces[i].check, whole[i].check);
                QCOMPARE(pieces[i].expunged, whole[i].expunged);
                QCOMPARE(pieces[i].cutShort, whole[i].cutShort);
            }
            QCOMPARE(scanner.sawMboxrdQuoting(), mboxrd);
        }
    }

    // Folders as mail programs and providers write them.
    void mailProgramsFolders_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("messageIds");
        QTest::addColumn<int>("expunged");
        QTest::newRow("Thunderbird local folder")
            << "thunderbird-local-folder.mbox"
            << QStringList{"kept-1", "imap-deleted-3", "new-5"} << 2;
        QTest::newRow("mutt mbox") << "mutt-folder.mbox" << QStringList{"mutt-1", "mutt-2"} << 0;
        QTest::newRow("provider archive, CRLF") << "takeout-labels.mbox" << QStringList{"takeout-1", "takeout-2"} << 0;
    }

    void mailProgramsFolders()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, messageIds);
        QFETCH(int, expunged);
        const QString path = test::TestDataFolder() + QStringLiteral("/local/") + file;
        const QByteArray bytes = ReadData(QStringLiteral("local/") + file);
        auto source = MboxSource::open(path);
        source->scanAll();
        QCOMPARE(source->expungedLeftOut(), expunged);
        QStringList ids;
        for (const QByteArray &eml : ReadAllMessages(*source)) {
            const qsizetype at = eml.indexOf("Message-ID: <") + 13;
            ids << QString::fromLatin1(eml.mid(at, eml.indexOf('@', at) - at));
            // Each message is whole and stands alone: the From_ line is gone, its body kept.
            QVERIFY(!eml.startsWith("From "));
            QVERIFY(bytes.contains(eml));
        }
        QCOMPARE(ids, messageIds);
        if (file.startsWith(QLatin1String("takeout"))) {
            const QByteArray first = ReadLocalMessage(source->messages().first());
            QVERIFY(first.startsWith("X-GM-THRID: 1789012345678901234\r\nX-Gmail-Labels: Inbox,Important,Opened,Category "
                                     "Personal\r\n"));
            QVERIFY(first.endsWith("--000000000000abcdef--\r\n"));
            QCOMPARE(source->messages().first().arrival, QDateTime(QDate(2026, 3, 2), QTime(10, 0), Qt::UTC));
        }
        if (file.startsWith(QLatin1String("thunderbird")))
            QVERIFY(ReadLocalMessage(source->messages().last()).contains("\n>From the top"));
    }

    void mboxOpenErrors_data()
    {
        QTest::addColumn<QString>("what"); // file, folder, maildir, missing, unreadable
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("cause");
        QTest::newRow("0-byte file") << "file" << QByteArray() << "is empty (0 bytes)";
        QTest::newRow("binary file") << "file" << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << "holds binary data";
        QTest::newRow("compressed archive") << "file" << QByteArray("\x1f\x8b\x08\0\0\0\0\0", 8) << "a gzip archive: unpack it first";
        QTest::newRow("first line is text") << "file" << QByteArray("Dear Ann,\nFrom me Thu Jan  1 12:00:00 2026\n")
                                            << "its first line does not begin with \"From \", a sender and a date";
        QTest::newRow("first line From without a date") << "file" << QByteArray("From here on\nSubject: x\n\nbody\n")
                                                        << "its first line does not begin with \"From \"";
        QTest::newRow("a single message") << "file" << QByteArray("From: ann@example.org\nSubject: x\n\nbody\n")
                                          << "open it as an .eml file";
        QTest::newRow("a folder") << "folder" << QByteArray() << "is a folder";
        QTest::newRow("a Maildir folder") << "maildir" << QByteArray() << "open it as a Maildir folder";
        QTest::newRow("missing") << "missing" << QByteArray() << "File not found";
        QTest::newRow("unreadable") << "unreadable" << QByteArray("From a Thu Jan  1 12:00:00 2026\n\nx\n")
                                    << "Permission denied";
    }

    void mboxOpenErrors()
    {
        QFETCH(QString, what);
        QFETCH(QByteArray, content);
        QFETCH(QString, cause);
        QString path = pathOf(QStringLiteral("in.mbox"));
        if (what == QLatin1String("file") || what == QLatin1String("unreadable"))
            write(QStringLiteral("in.mbox"), content);
        else if (what == QLatin1String("folder"))
            QDir().mkpath(path);
        else if (what == QLatin1String("maildir"))
            path = makeMaildir(QStringLiteral("in.mbox"));
        if (what == QLatin1String("unreadable")) {
            if (geteuid() == 0)
                QSKIP("root reads files whatever their mode");
            QFile::setPermissions(path, {});
        }
        const QString error = ErrorOf([&] { MboxSource::open(path); });
        QVERIFY2(error.contains(cause), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    }

    // The file ends inside its last message: that message is listed with the fault and
    // raises it when read; the messages before it read whole.
    void mboxCutShort_data()
    {
        QTest::addColumn<QByteArray>("last");
        QTest::addColumn<bool>("cut");
        QTest::newRow("in the middle of a line") << QByteArray("Subject: two\n\nsecond bo") << true;
        QTest::newRow("inside the header block") << QByteArray("Subject: two\nTo: ann@example.org\n") << true;
        QTest::newRow("before the end its Content-Length gives")
            << QByteArray("Subject: two\nContent-Length: 500\n\nShort.\n") << true;
        QTest::newRow("before its multipart body closes")
            << QByteArray("Subject: two\nContent-Type: multipart/mixed; boundary=\"b\"\n\n--b\nContent-Type: text/plain\n\n"
                          "part\n--b\nContent-Type: application/pdf\nContent-Transfer-Encoding: base64\n\nJVBERi0xLjQK\n")
            << true;
        QTest::newRow("whole: its multipart body closes")
            << QByteArray("Subject: two\nContent-Type: multipart/mixed; boundary=\"b\"\n\n--b\nContent-Type: text/plain\n\n"
                          "part\n--b--\n\n")
            << false;
        QTest::newRow("whole: no blank line at the end") << QByteArray("Subject: two\n\nsecond body\n") << false;
    }

    void mboxCutShort()
    {
        QFETCH(QByteArray, last);
        QFETCH(bool, cut);
        const QByteArray first = "Subject: one\n\nfirst body\n";
        const QString path =
            write(QStringLiteral("cut.mbox"), "From a Thu Jan  1 12:00:00 2026\n" + first + "\nFrom b Thu Jan  1 12:05:00 2026\n" + last);
        auto source = MboxSource::open(path);
        source->scanAll();
        QCOMPARE(source->messages().size(), 2);
        QCOMPARE(ReadLocalMessage(source->messages().first()), first);
        const QString error = ErrorOf([&] { ReadLocalMessage(source->messages().last()); });
        if (!cut) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            return;
        }
        QVERIFY2(error.contains(QStringLiteral("The file ends inside message 2 of the mbox file ") +
                                QDir::toNativeSeparators(path)),
                 qPrintable(error));
        QVERIFY(error.contains(QStringLiteral("cut short")));
        QCOMPARE(source->messages().last().problem, error);
    }

    void arrivalFromTheFromLine_data()
    {
        QTest::addColumn<QByteArray>("fromLine");
        QTest::addColumn<QDateTime>("arrival");
        QTest::addColumn<QByteArray>("internalDate");
        QTest::newRow("asctime, day padded") << QByteArray("From ann@example.org Thu Jan  1 12:00:00 2026")
                                             << QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC)
                                             << QByteArray("01-Jan-2026 12:00:00 +0000");
        QTest::newRow("zone before the year") << QByteArray("From 178901@xxx Mon Mar 02 10:00:00 +0200 2026")
                                              << QDateTime(QDate(2026, 3, 2), QTime(8, 0), Qt::UTC)
                                              << QByteArray("02-Mar-2026 08:00:00 +0000");
        QTest::newRow("no sender, CRLF") << QByteArray("From - Sat Mar 07 23:59:58 2026\r")
                                         << QDateTime(QDate(2026, 3, 7), QTime(23, 59, 58), Qt::UTC)
                                         << QByteArray("07-Mar-2026 23:59:58 +0000");
        QTest::newRow("no date to read") << QByteArray("From a Thu Feb 30 12:00:00 2026") << QDateTime() << QByteArray();
    }

    void arrivalFromTheFromLine()
    {
        QFETCH(QByteArray, fromLine);
        QFETCH(QDateTime, arrival);
        QFETCH(QByteArray, internalDate);
        auto source = MboxSource::open(write(QStringLiteral("a.mbox"), fromLine + "\nSubject: x\n\nbody\n"));
        source->scanAll();
        QCOMPARE(source->messages().size(), 1);
        QCOMPARE(source->messages().first().arrival, arrival);
        QCOMPARE(source->messages().first().arrivalAsInternalDate(), internalDate);
    }

    // ---- Maildir ----------------------------------------------------------------------

    void maildirOrderAndRenames()
    {
        const QString root = makeMaildir(QStringLiteral("Mail"),
                                         {{"new/1700000300.M5P1.host", "Subject: latest\n\n5\n"},
                                          {"cur/1700000100.M20P1.host:2,S", "Subject: same second, later\n\n2\n"},
                                          {"cur/1700000100.M3P1.host:2,RS", "Subject: same second, earlier\n\n1\n"},
                                          {"cur/1700000200.M1P1.host:2,ST", "Subject: trashed, not expunged\n\n3\n"},
                                          {"cur/no-time-in-name", "Subject: no time\n\n6\n"},
                                          {"tmp/1700000050.M1P1.host", "Subject: still being delivered\n\n0\n"},
                                          {"cur/.hidden", "Subject: not a message\n\n0\n"}});
        const QDateTime delivered(QDate(2023, 11, 14), QTime(22, 18, 20), Qt::UTC);
        {
            QFile latest(root + QStringLiteral("/new/1700000300.M5P1.host"));
            QVERIFY(latest.open(QIODevice::ReadWrite));
            QVERIFY(latest.setFileTime(delivered, QFileDevice::FileModificationTime));
        }
        auto source = MaildirSource::open(root);
        QCOMPARE(source->scanTotal(), 5);
        source->scanAll();
        QStringList files;
        for (const LocalMessageEntry &entry : source->messages()) {
            QCOMPARE(entry.position, files.size() + 1);
            QCOMPARE(entry.sourcePath, root);
            QCOMPARE(entry.offset, 0);
            files << QDir(root).relativeFilePath(entry.filePath);
        }
        QCOMPARE(files, QStringList({"cur/1700000100.M3P1.host:2,RS", "cur/1700000100.M20P1.host:2,S",
                                     "cur/1700000200.M1P1.host:2,ST", "new/1700000300.M5P1.host", "cur/no-time-in-name"}));
        QCOMPARE(ReadLocalMessage(source->messages().at(3)), QByteArray("Subject: latest\n\n5\n"));
        QCOMPARE(source->expungedLeftOut(), 0);
        // Its arrival is the file's time, as its server gives it.
        QCOMPARE(source->messages().at(3).arrival, delivered);

        // Its mail program moves a read message to cur/ and sets its flags: still found.
        QVERIFY(QFile::rename(root + QStringLiteral("/new/1700000300.M5P1.host"),
                              root + QStringLiteral("/cur/1700000300.M5P1.host:2,S")));
        QVERIFY(QFile::rename(root + QStringLiteral("/cur/1700000100.M3P1.host:2,RS"),
                              root + QStringLiteral("/cur/1700000100.M3P1.host:2,FRS")));
        QCOMPARE(ReadLocalMessage(source->messages().at(3)), QByteArray("Subject: latest\n\n5\n"));
        QCOMPARE(ReadLocalMessage(source->messages().at(0)), QByteArray("Subject: same second, earlier\n\n1\n"));
        // Expunged since: reading says which message and file.
        QVERIFY(QFile::remove(root + QStringLiteral("/cur/1700000200.M1P1.host:2,ST")));
        const QString error = ErrorOf([&] { ReadLocalMessage(source->messages().at(2)); });
        QVERIFY2(error.startsWith(QStringLiteral("File not found: the message file ")), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("message 3 of the Maildir folder ") + QDir::toNativeSeparators(root)),
                 qPrintable(error));
    }

    void maildirPlusPlusFolders()
    {
        const QString root = makeMaildir(QStringLiteral("Maildir"), {{"cur/1.M1.h:2,S", "Subject: inbox\n\n"}});
        makeMaildir(QStringLiteral("Maildir/.Sub"), {{"new/2.M1.h", "Subject: sub\n\n"}});
        makeMaildir(QStringLiteral("Maildir/.Sub.Deeper"), {{"cur/3.M1.h:2,", "Subject: deeper\n\n"},
                                                            {"cur/4.M1.h:2,", "Subject: deeper two\n\n"}});
        makeMaildir(QStringLiteral("Maildir/.Entw&APw-rfe"));
        QDir().mkpath(root + QStringLiteral("/.NotAMaildir/cur"));
        QDir().mkpath(root + QStringLiteral("/cur-but-no-dot/cur"));

        QStringList names;
        for (const MaildirFolder &folder : ListMaildirFolders(root))
            names << folder.name;
        QCOMPARE(names, QStringList({"INBOX", "Entwürfe", "Sub", "Sub.Deeper"}));

        auto deeper = MaildirSource::openFolder(root, QStringLiteral("Sub.Deeper"));
        deeper->scanAll();
        QCOMPARE(ReadAllMessages(*deeper), QByteArrayList({"Subject: deeper\n\n", "Subject: deeper two\n\n"}));
        QCOMPARE(deeper->messages().first().sourcePath, root + QStringLiteral("/.Sub.Deeper"));
        auto inbox = MaildirSource::openFolder(root, QStringLiteral("INBOX"));
        inbox->scanAll();
        QCOMPARE(ReadAllMessages(*inbox), QByteArrayList({"Subject: inbox\n\n"}));
        auto drafts = MaildirSource::openFolder(root, QStringLiteral("Entwürfe"));
        drafts->scanAll();
        QVERIFY(drafts->messages().isEmpty());

        const QString error = ErrorOf([&] { MaildirSource::openFolder(root, QStringLiteral("NotAMaildir")); });
        QCOMPARE(error, QStringLiteral("The Maildir folder %1 has no folder named \"NotAMaildir\".")
                            .arg(QDir::toNativeSeparators(root)));
    }

    void notAMaildir_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("cause");
        QTest::newRow("an empty folder") << "empty" << "is not a Maildir: it has no cur and new folders inside";
        QTest::newRow("cur without new") << "cur" << "is not a Maildir: it has no cur and new folders inside";
        QTest::newRow("a file") << "file" << "is a file, not a folder";
        QTest::newRow("missing") << "missing" << "Path not found";
        QTest::newRow("unreadable") << "unreadable" << "Permission denied";
    }

    void notAMaildir()
    {
        QFETCH(QString, what);
        QFETCH(QString, cause);
        const QString path = pathOf(QStringLiteral("Mail"));
        if (what == QLatin1String("empty"))
            QDir().mkpath(path);
        else if (what == QLatin1String("cur"))
            QDir().mkpath(path + QStringLiteral("/cur"));
        else if (what == QLatin1String("file"))
            write(QStringLiteral("Mail"), "Subject: x\n\n");
        if (what == QLatin1String("unreadable")) {
            if (geteuid() == 0)
                QSKIP("root reads folders whatever their mode");
            makeMaildir(QStringLiteral("Mail"));
            QFile::setPermissions(path, QFile::WriteOwner);
        }
        const QString error = ErrorOf([&] { MaildirSource::open(path); });
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(error.contains(cause), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    }

    // ---- .eml files -------------------------------------------------------------------

    void emlFiles_data()
    {
        QTest::addColumn<QString>("what"); // file, folder, unreadable
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("problem"); // empty: a message
        QTest::addColumn<QByteArray>("message");
        const QByteArray message = "From: ann@example.org\r\nSubject: saved\r\n\r\nbody\r\n";
        QTest::newRow("a message") << "file" << message << QString() << message;
        QTest::newRow("saved with a From_ line first")
            << "file" << "From - Mon Mar 02 10:00:00 2026\r\n" + message << QString() << message;
        QTest::newRow("empty") << "file" << QByteArray() << "is empty (0 bytes)" << QByteArray();
        QTest::newRow("binary") << "file" << QByteArray("\xff\xd8\xff\xe0\0\x10JFIF\0", 11)
                                << "is not a mail message: it holds binary data" << QByteArray();
        QTest::newRow("zip archive") << "file" << QByteArray("PK\x03\x04\x14\0\0\0", 8) << "a zip archive: unpack it first"
                                     << QByteArray();
        QTest::newRow("plain text") << "file" << QByteArray("Hello Ann,\nhow are you?\n")
                                    << "is not a mail message: its first line is not a header field" << QByteArray();
        QTest::newRow("header-like text with no mail fields")
            << "file" << QByteArray("Note: buy milk\nTodo: call Ann\n\nThat is all.\n")
            << "its header holds none of the fields of a mail message" << QByteArray();
        QTest::newRow("a folder") << "folder" << QByteArray() << "is a folder" << QByteArray();
        QTest::newRow("unreadable") << "unreadable" << message << "Permission denied" << QByteArray();
    }

    // Each file is checked by the scan; a file that is no message is listed with its
    // problem and raises it when read, while the files around it read as usual.
    void emlFiles()
    {
        QFETCH(QString, what);
        QFETCH(QByteArray, content);
        QFETCH(QString, problem);
        QFETCH(QByteArray, message);
        const QByteArray before = "Subject: before\r\n\r\n";
        const QByteArray after = "Subject: after\r\n\r\n";
        QString path = pathOf(QStringLiteral("b.eml"));
        if (what == QLatin1String("folder"))
            QDir().mkpath(path);
        else
            write(QStringLiteral("b.eml"), content);
        if (what == QLatin1String("unreadable")) {
            if (geteuid() == 0)
                QSKIP("root reads files whatever their mode");
            QFile::setPermissions(path, {});
        }
        auto source = EmlFilesSource::open(
            {write(QStringLiteral("a.eml"), before), path, write(QStringLiteral("c.eml"), after)});
        QCOMPARE(source->scanTotal(), 3);
        source->scanAll();
        QCOMPARE(source->messages().size(), 3);
        QCOMPARE(ReadLocalMessage(source->messages().at(0)), before);
        QCOMPARE(ReadLocalMessage(source->messages().at(2)), after);
        const LocalMessageEntry &entry = source->messages().at(1);
        QCOMPARE(entry.position, 2);
        const QString error = ErrorOf([&] { ReadLocalMessage(entry); });
        if (problem.isEmpty()) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(ReadLocalMessage(entry), message);
            return;
        }
        QVERIFY2(error.contains(problem), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    }

    // ---- every source -----------------------------------------------------------------

    // The source that paths name, as the window and the command line open it.
    void openWhatPathsName_data()
    {
        QTest::addColumn<QStringList>("names"); // "Mail/" is a Maildir folder
        QTest::addColumn<QString>("kind");      // mbox, maildir, eml, or the error
        QTest::newRow("one folder") << QStringList{"Mail/"} << "maildir";
        QTest::newRow(".eml files, any case") << QStringList{"a.eml", "b.EML"} << "eml";
        QTest::newRow("one other file") << QStringList{"archive.mbox"} << "mbox";
        QTest::newRow("an mbox and an .eml") << QStringList{"archive.mbox", "a.eml"} << "not all end in .eml";
        QTest::newRow("nothing") << QStringList{} << "no mail file or folder was given";
    }

    void openWhatPathsName()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, kind);
        QStringList paths;
        for (const QString &name : names) {
            if (name.endsWith(QLatin1Char('/')))
                paths << makeMaildir(name.chopped(1));
            else
                paths << write(name, name.endsWith(QLatin1String("mbox"))
                                         ? QByteArray("From a Thu Jan  1 12:00:00 2026\nSubject: x\n\n")
                                         : QByteArray("Subject: x\n\n"));
        }
        std::unique_ptr<LocalMailSource> source;
        const QString error = ErrorOf([&] { source = OpenLocalMailSource(paths); });
        if (kind == QLatin1String("mbox"))
            QVERIFY(dynamic_cast<MboxSource *>(source.get()));
        else if (kind == QLatin1String("maildir"))
            QVERIFY(dynamic_cast<MaildirSource *>(source.get()));
        else if (kind == QLatin1String("eml"))
            QVERIFY(dynamic_cast<EmlFilesSource *>(source.get()));
        else
            QVERIFY2(error.contains(kind), qPrintable(error));
    }

    // The same message saved as .eml, kept in an mbox file (by an mboxrd writer) and
    // delivered to a Maildir reads as the same octets, so its SHA-256 is the same; and
    // it stays the same when the mbox file grows.
    void sameMessageFromEverySource_data()
    {
        QTest::addColumn<QByteArray>("message");
        for (const char *name : {"complete-record.eml", "plain-only.eml", "subject-utf8.eml", "inline-image.eml"})
            QTest::newRow(name) << ReadData(QString::fromLatin1(name));
        QTest::newRow("body lines that begin with From")
            << QByteArray("From: ann@example.org\nSubject: quoting\n\nFrom the top.\n>From a quote.\n>>From deeper.\n");
    }

    void sameMessageFromEverySource()
    {
        QFETCH(QByteArray, message);
        QVERIFY(!message.isEmpty());
        const QByteArray newline = message.contains("\r\n") ? "\r\n" : "\n";
        const QByteArray other = "Subject: other" + newline + newline + "x" + newline;
        const QByteArray mboxBytes = "From ann@example.org Thu Jan  1 12:00:00 2026" + newline + other + newline +
                                     "From ann@example.org Thu Jan  1 12:00:00 2026" + newline + MboxrdQuoted(message) + newline;
        const QString mboxPath = write(QStringLiteral("all.mbox"), mboxBytes);
        auto mbox = MboxSource::open(mboxPath, MboxQuoting::Mboxrd);
        mbox->scanAll();
        auto eml = EmlFilesSource::open({write(QStringLiteral("one.eml"), message)});
        eml->scanAll();
        auto maildir = MaildirSource::open(makeMaildir(QStringLiteral("Mail"), {{"new/1700000000.M1P1.host", message}}));
        maildir->scanAll();

        QCOMPARE(mbox->messages().size(), 2);
        const QByteArray fromMbox = ReadLocalMessage(mbox->messages().at(1));
        QCOMPARE(fromMbox, message);
        QCOMPARE(ReadLocalMessage(eml->messages().first()), message);
        QCOMPARE(ReadLocalMessage(maildir->messages().first()), message);

        // The file grows: the message keeps its place, its check and its identity.
        QFile grow(mboxPath);
        QVERIFY(grow.open(QIODevice::Append));
        grow.write("From bob@example.org Fri Jan  2 08:30:00 2026" + newline + other + newline);
        grow.close();
        QCOMPARE(Sha256(ReadLocalMessage(mbox->messages().at(1))), Sha256(message));
        auto grown = MboxSource::open(mboxPath, MboxQuoting::Mboxrd);
        grown->scanAll();
        QCOMPARE(grown->messages().size(), 3);
        QCOMPARE(Sha256(ReadLocalMessage(grown->messages().at(1))), Sha256(message));
    }

    // A file changed after it was listed is caught when read, instead of giving another
    // message or a part of one.
    void changedFileIsCaught_data()
    {
        QTest::addColumn<QString>("source"); // mbox, maildir, eml
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("error"); // empty: still reads
        QTest::newRow("mbox: a byte changed in the message") << "mbox" << "byte" << "the octets at the message's place differ";
        QTest::newRow("mbox: cut before the message's end") << "mbox" << "cut" << "it is shorter now";
        QTest::newRow("mbox: a message before it removed (compacted)") << "mbox" << "compact"
                                                                        << "the octets at the message's place differ";
        QTest::newRow("mbox: messages appended") << "mbox" << "append" << QString();
        QTest::newRow("Maildir: the file rewritten") << "maildir" << "byte" << "the octets at the message's place differ";
        QTest::newRow(".eml: the file edited") << "eml" << "byte" << "the octets at the message's place differ";
        QTest::newRow(".eml: the file emptied") << "eml" << "cut" << "it is shorter now";
    }

    void changedFileIsCaught()
    {
        QFETCH(QString, source);
        QFETCH(QString, change);
        QFETCH(QString, error);
        const QByteArray first = "Subject: first\n\nThe first message.\n";
        const QByteArray second = "Subject: second\n\nThe second message.\n";
        const QByteArray fromLine = "From ann@example.org Thu Jan  1 12:00:00 2026\n";
        QString file;
        std::unique_ptr<LocalMailSource> opened;
        if (source == QLatin1String("mbox")) {
            file = write(QStringLiteral("in.mbox"), fromLine + first + "\n" + fromLine + second + "\n");
            opened = MboxSource::open(file);
        } else if (source == QLatin1String("maildir")) {
            const QString root = makeMaildir(QStringLiteral("Mail"), {{"cur/1.M1.h:2,S", second}});
            file = root + QStringLiteral("/cur/1.M1.h:2,S");
            opened = MaildirSource::open(root);
        } else {
            file = write(QStringLiteral("in.eml"), second);
            opened = EmlFilesSource::open({file});
        }
        opened->scanAll();
        const LocalMessageEntry entry = opened->messages().last();
        QCOMPARE(ReadLocalMessage(entry), second);

        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        if (change == QLatin1String("byte"))
            bytes[bytes.lastIndexOf("second")] = 'S';
        else if (change == QLatin1String("cut"))
            bytes.chop(10);
        else if (change == QLatin1String("compact"))
            bytes = fromLine + second + "\n" + fromLine + "Subject: third\n\n" + QByteArray(200, 'x') + "\n\n";
        else if (change == QLatin1String("append"))
            bytes += fromLine + "Subject: third\n\nnew\n\n";
        QVERIFY(f.resize(0));
        f.seek(0);
        f.write(bytes);
        f.close();

        const QString raised = ErrorOf([&] { ReadLocalMessage(entry); });
        if (error.isEmpty()) {
            QVERIFY2(raised.isEmpty(), qPrintable(raised));
            return;
        }
        QVERIFY2(raised.contains(error), qPrintable(raised));
        QVERIFY2(raised.contains(QStringLiteral("is no longer as it was listed")), qPrintable(raised));
        QVERIFY2(raised.contains(QDir::toNativeSeparators(entry.sourcePath)), qPrintable(raised));
    }

    // A message over 512 MB is listed and refused when read, before any of it is read;
    // the scan streams past it. The files are sparse: they take no room on the disk.
    void oversizeMessageRefused_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("mbox") << "mbox";
        QTest::newRow("Maildir") << "maildir";
        QTest::newRow(".eml") << "eml";
    }

    void oversizeMessageRefused()
    {
        QFETCH(QString, source);
        const qint64 big = qint64(600) * 1024 * 1024;
        const QByteArray head = "Subject: huge\n\n";
        const QByteArray small = "Subject: small\n\nhi\n";
        QString file;
        if (source == QLatin1String("mbox"))
            file = pathOf(QStringLiteral("big.mbox"));
        else if (source == QLatin1String("maildir"))
            file = makeMaildir(QStringLiteral("Mail")) + QStringLiteral("/cur/1.M1.h:2,");
        else
            file = pathOf(QStringLiteral("big.eml"));
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            const QByteArray fromLine = "From a Thu Jan  1 12:00:00 2026\n";
            out.write(source == QLatin1String("mbox") ? fromLine + head : head);
            // Sparse: a hole up to the end, then the blank line and a second message.
            QVERIFY(out.seek(big));
            out.write(source == QLatin1String("mbox") ? "\n\n" + fromLine + small : QByteArray("\n"));
        }
        std::unique_ptr<LocalMailSource> opened;
        if (source == QLatin1String("mbox"))
            opened = MboxSource::open(file);
        else if (source == QLatin1String("maildir"))
            opened = MaildirSource::open(pathOf(QStringLiteral("Mail")));
        else
            opened = EmlFilesSource::open({file});

        const long peakBefore = test::PeakResidentKb();
        opened->scanAll();
        const LocalMessageEntry &entry = opened->messages().first();
        QVERIFY(entry.size > qint64(512) * 1024 * 1024);
        const QString error = ErrorOf([&] { ReadLocalMessage(entry); });
        QVERIFY2(error.contains(QStringLiteral("is larger than 512 MB (600 MB): it is not read.")), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(entry.sourcePath)), qPrintable(error));
        // Neither the scan nor the refusal held the message.
        QVERIFY2(test::PeakResidentKb() - peakBefore < 64 * 1024, qPrintable(QString::number(test::PeakResidentKb() - peakBefore)));
        if (source == QLatin1String("mbox")) {
            QCOMPARE(opened->messages().size(), 2);
            QCOMPARE(ReadLocalMessage(opened->messages().last()), small);
        }
    }

    // The scan goes in bounded steps, each adding the messages it finished, so that the
    // caller can yield and show its progress.
    void scanGoesInSteps_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("mbox") << "mbox";
        QTest::newRow("Maildir") << "maildir";
    }

    void scanGoesInSteps()
    {
        QFETCH(QString, source);
        const int count = 1500;
        QByteArrayList messages;
        QByteArray mboxBytes;
        QList<QPair<QString, QByteArray>> files;
        for (int n = 1; n <= count; ++n) {
            const QByteArray message = "Subject: message " + QByteArray::number(n) + "\n\n" +
                                       QByteArray(n * 29 % 40000, char('a' + n % 26)) + "\nFrom the body\n";
            messages << message;
            mboxBytes += "From a Thu Jan  1 12:00:00 2026\n" + message + "\n";
            files.append({QStringLiteral("cur/%1.M1.h:2,S").arg(1700000000 + n), message});
        }
        std::unique_ptr<LocalMailSource> opened;
        if (source == QLatin1String("mbox"))
            opened = MboxSource::open(write(QStringLiteral("steps.mbox"), mboxBytes));
        else
            opened = MaildirSource::open(makeMaildir(QStringLiteral("Mail"), files));
        int steps = 0;
        qint64 done = 0;
        qsizetype listed = 0;
        while (opened->scanStep()) {
            ++steps;
            QVERIFY(opened->scanDone() > done);
            QVERIFY(opened->scanDone() < opened->scanTotal());
            QVERIFY(opened->messages().size() >= listed);
            done = opened->scanDone();
            listed = opened->messages().size();
        }
        QVERIFY2(steps >= 2, qPrintable(QString::number(steps)));
        QCOMPARE(opened->scanDone(), opened->scanTotal());
        QCOMPARE(ReadAllMessages(*opened), messages);
    }
};

LARKSPAN_GUILESS_TEST_MAIN(TestLocalSources)
#include "tst_localsources.moc"
