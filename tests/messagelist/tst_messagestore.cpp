// The message store: octets back exactly as written or a clear error, never another
// message's; private files; emptied with the list; gone when the program ends; a dead
// run's leftover swept at the next start.

#include "messagelist/data/MessageRecord.h"
#include "messagelist/data/MessageStore.h"
#include "support/TestEnvironment.h"

#include "platform/core/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace larkspan;

namespace {

QByteArray Message(const QByteArray &subject, const QByteArray &body)
{
    return "From: Ada <ada@example.org>\r\nSubject: " + subject + "\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" +
           body + "\r\n";
}

// The store's error when reading where, or empty when it read.
QString ReadError(const StoredMessage &where)
{
    try {
        MessageStore::instance().read(where);
        return QString();
    } catch (const AppError &error) {
        return error.description();
    }
}

unsigned ModeOf(const QString &path)
{
    struct stat info {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? unsigned(info.st_mode & 0777) : 0u;
}

} // namespace

class MessageStoreTest : public QObject {
    Q_OBJECT

    MessageStore &store = MessageStore::instance();

private slots:
    void init() { store.remove(); }

    void octetsComeBackExactlyInPrivateFiles()
    {
        const QByteArray first = Message("one", "first body");
        const QByteArray second = Message("two", QByteArray(300000, 'x'));
        const StoredMessage a = store.append(first);
        const StoredMessage b = store.append(second);
        QCOMPARE(store.read(b), second);
        QCOMPARE(store.read(a), first);
        QCOMPARE(store.bodies(a).plainText.trimmed(), QStringLiteral("first body"));
        QCOMPARE(store.bytesStored(), first.size() + second.size());
        QCOMPARE(QFileInfo(store.filePath()).absolutePath(), MessageStore::folder());
        QCOMPARE(ModeOf(store.filePath()), 0600u);
        QCOMPARE(ModeOf(MessageStore::folder()), 0700u);
    }

    void aBigStoreReadsBackWhatTheCacheLetGo()
    {
        // Forty megabytes: the older part is handed to the disk and dropped from the
        // page cache, and still comes back exactly.
        QList<StoredMessage> stored;
        for (int i = 0; i < 400; ++i)
            stored << store.append(Message("big " + QByteArray::number(i), QByteArray(100000, char('a' + i % 26))));
        store.flush();
        for (const int i : {0, 1, 150, 398, 399})
            QCOMPARE(store.read(stored[i]),
                     Message("big " + QByteArray::number(i), QByteArray(100000, char('a' + i % 26))));
        QCOMPARE(QFileInfo(store.filePath()).size(), store.bytesStored());
    }

    void aChangedOrShortenedStoreNeverGivesAnotherMessage_data()
    {
        QTest::addColumn<bool>("cutShort");
        QTest::newRow("an octet changed") << false;
        QTest::newRow("cut short") << true;
    }

    void aChangedOrShortenedStoreNeverGivesAnotherMessage()
    {
        QFETCH(bool, cutShort);
        const StoredMessage a = store.append(Message("one", "first body"));
        const StoredMessage b = store.append(Message("two", "second body"));
        store.flush();
        QFile file(store.filePath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (cutShort) {
            QVERIFY(file.resize(b.offset + b.size - 3));
        } else {
            QVERIFY(file.seek(b.offset + b.size - 5));
            file.write("X");
        }
        file.close();
        QVERIFY2(ReadError(b).contains(QStringLiteral("was changed or cut short")), qPrintable(ReadError(b)));
        QVERIFY_THROWS_EXCEPTION(AppError, store.bodies(b));
        QCOMPARE(ReadError(a), QString());
    }

    void aFullCacheRefusesClearlyAndKeepsWhatItHas_data()
    {
        QTest::addColumn<int>("smallMessages");
        QTest::addColumn<int>("refusedSize");
        // One large message goes to the file alone and meets the limit.
        QTest::newRow("a large message") << 1 << 400000;
        // Small ones wait in memory; the file refuses them when they go together,
        // and they stay readable from memory.
        QTest::newRow("small messages held back") << 40 << 10000;
    }

    void aFullCacheRefusesClearlyAndKeepsWhatItHas()
    {
        QFETCH(int, smallMessages);
        QFETCH(int, refusedSize);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        QList<StoredMessage> kept;
        QString refused;
        try {
            for (int i = 0; i < smallMessages; ++i)
                kept << store.append(Message("kept " + QByteArray::number(i), QByteArray(5000, 'k')));
            for (;;)
                store.append(Message("too big", QByteArray(refusedSize, 'y')));
        } catch (const AppError &error) {
            refused = error.description();
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedSignal);
        QVERIFY2(refused.startsWith(QStringLiteral("Device I/O error: The message store ")) &&
                     refused.endsWith(QStringLiteral("could not be written: File too large")),
                 qPrintable(refused));
        QVERIFY(QFileInfo(store.filePath()).size() <= 64 * 1024);
        for (const StoredMessage &where : kept)
            QCOMPARE(ReadError(where), QString());
        QCOMPARE(ReadError(store.append(Message("after", "fits again"))), QString());
        store.flush();
        for (const StoredMessage &where : kept)
            QCOMPARE(ReadError(where), QString());
    }

    void droppingForgetsEveryMessage()
    {
        const StoredMessage before = store.append(Message("old", "old body"));
        store.dropAll();
        QCOMPARE(QFileInfo(store.filePath()).size(), 0);
        QVERIFY(ReadError(before).contains(QStringLiteral("no longer in the message store")));
        const StoredMessage after = store.append(Message("new", "new body"));
        QCOMPARE(after.offset, 0);
        QCOMPARE(store.bodies(after).plainText.trimmed(), QStringLiteral("new body"));
    }

    void goneWhenARunEndsAndSweptWhenARunDied()
    {
        // A run that ends through its own code takes its store with it; a run that is
        // killed leaves it, and the next start removes it.
        for (const bool killed : {false, true}) {
            const pid_t child = fork();
            if (child == 0) {
                MessageStore::instance().append(Message("child", "child body"));
                if (killed)
                    raise(SIGKILL);
                std::exit(0);
            }
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            const QString pattern = QStringLiteral("run-%1-*.store").arg(child);
            const QStringList left = QDir(MessageStore::folder()).entryList({pattern}, QDir::Files);
            QCOMPARE(left.size(), killed ? 1 : 0);
        }
        // A store some live run holds locked stays.
        QFile live(MessageStore::folder() + QStringLiteral("/run-1-live.store"));
        QVERIFY(live.open(QIODevice::WriteOnly));
        QCOMPARE(flock(live.handle(), LOCK_EX | LOCK_NB), 0);
        const StoredMessage own = store.append(Message("own", "own body"));
        QCOMPARE(MessageStore::sweepLeftovers(), 1);
        QVERIFY(live.exists());
        QCOMPARE(ReadError(own), QString());
        live.remove();
        QCOMPARE(QDir(MessageStore::folder()).entryList({QStringLiteral("*.store")}, QDir::Files).size(), 1);
    }

    // The record that points into the store keeps the list's texts and the Message-ID
    // in one block of UTF-8; each must come back whole, whatever its neighbours. A
    // surrogate half alone (no character at all) comes back as U+FFFD.
    void recordsKeepTheirTextsExactly_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("expected");
        const QString high(QChar(0xD83D)), low(QChar(0xDE00)), bad(QChar(0xFFFD));
        const QStringList plain{"Ada <ada@example.org>", "Ada", "ada@example.org", "Minutes", "46054", "<1@x>"};
        const QStringList scripts{"Zoë", "Ζωή", "zoe@example.org", "会议 😀", "46054", ""};
        const QStringList large{"x", "", "", QString(40000, QChar(0x4F1A)), "", "<2@x>"};
        QTest::newRow("plain") << plain << plain;
        QTest::newRow("empty") << QStringList(6) << QStringList(6);
        QTest::newRow("other scripts") << scripts << scripts;
        QTest::newRow("past the scratch room") << large << large;
        QTest::newRow("halves at the edges") << QStringList{"a" + high, low + "b", high, low, "", high}
                                             << QStringList{"a" + bad, bad + "b", bad, bad, "", bad};
    }
    void recordsKeepTheirTextsExactly()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, expected);
        const StoredMessage where = store.append(Message("s", "b"));
        const MessageRecord record(texts[0], texts[1], texts[2], texts[3], texts[4], where, texts[5]);
        const QStringList back{record.from(),    record.fromName(),     record.fromAddress(),
                               record.subject(), record.receivedDate(), record.messageId()};
        QCOMPARE(back, expected);
    }
};

LARKSPAN_GUILESS_TEST_MAIN(MessageStoreTest)
#include "tst_messagestore.moc"
