// Wire pieces of the IMAP client: mailbox-name encoding, string arguments, the
// response reader fed in every possible split.

#include "mail/ImapCodec.h"
#include "support/TestEnvironment.h"

#include <QTest>

using namespace larkspan::imap;

class TestImapCodec : public QObject {
    Q_OBJECT

private slots:
    void mailboxNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("ascii") << "INBOX" << QByteArray("INBOX");
        QTest::newRow("ampersand") << "Tom & Jerry" << QByteArray("Tom &- Jerry");
        QTest::newRow("umlaut") << "Entwürfe" << QByteArray("Entw&APw-rfe");
        QTest::newRow("cjk run") << "~peter/mail/台北/日本語" << QByteArray("~peter/mail/&U,BTFw-/&ZeVnLIqe-");
        QTest::newRow("astral plane") << QString::fromUtf8("Fun \xF0\x9F\x98\x80") << QByteArray("Fun &2D3eAA-");
        QTest::newRow("brackets kept") << "[Yahoo! Mail]/Sent" << QByteArray("[Yahoo! Mail]/Sent");
    }

    void mailboxNames()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, wire);
        QCOMPARE(EncodeMailboxName(name), wire);
        QCOMPARE(DecodeMailboxName(wire), name);
    }

    void malformedNamesStayReadable()
    {
        QCOMPARE(DecodeMailboxName("A&Jjo"), QStringLiteral("A&Jjo"));   // run never closed
        QCOMPARE(DecodeMailboxName("B&A-x"), QStringLiteral("B&A-x"));   // odd octet count
        QCOMPARE(DecodeMailboxName("C&!!-"), QStringLiteral("C&!!-"));   // not base64
    }

    void stringArguments()
    {
        auto plain = MakeStringArgument("we\"ird\\");
        QVERIFY(plain && !plain->literal);
        QCOMPARE(plain->bytes, QByteArray("\"we\\\"ird\\\\\""));
        auto eight = MakeStringArgument("p\xc3\xa4ss");
        QVERIFY(eight && eight->literal);
        QCOMPARE(eight->bytes, QByteArray("p\xc3\xa4ss"));
        auto lines = MakeStringArgument("a\r\nb");
        QVERIFY(lines && lines->literal);
        QVERIFY(MakeStringArgument(QByteArray(2000, 'x'))->literal);
        QVERIFY(!MakeStringArgument(QByteArray("a\0b", 3)));
    }

    void readerGivesTheSameResponsesWhateverTheSplit()
    {
        const QByteArray stream = "* OK hello\r\n"
                                  "* 2 FETCH (INTERNALDATE \"02-Mar-2026 10:00:00 +0000\" BODY[] {12}\r\n"
                                  "line1\r\n{3}\r\n)\r\n"
                                  "* 3 FETCH (BODY[] {0}\r\n)\r\n"
                                  "a7 OK FETCH done\r\n";
        for (qsizetype a = 0; a <= stream.size(); ++a) {
            for (qsizetype b = a; b <= stream.size(); b += 7) {
                ResponseReader reader;
                QList<Response> out;
                for (const QByteArray &piece : {stream.left(a), stream.mid(a, b - a), stream.mid(b)}) {
                    reader.feed(piece);
                    while (auto r = reader.next())
                        out.append(*r);
                }
                QCOMPARE(out.size(), 4);
                QCOMPARE(out[1].literals, QList<QByteArray>{"line1\r\n{3}\r\n"});
                QCOMPARE(out[1].lines.last(), QByteArray(")"));
                QCOMPARE(out[2].literals, QList<QByteArray>{QByteArray()});
                QCOMPARE(out[3].tag(), QByteArray("a7"));
                QCOMPARE(out[3].rest(), QByteArray("OK FETCH done"));
            }
        }
    }

    void progressOfALiteral()
    {
        ResponseReader reader;
        reader.feed("* 9 FETCH (BODY[] {10}\r\nabcd");
        QVERIFY(!reader.next());
        QVERIFY(reader.inLiteral());
        QCOMPARE(reader.literalSize(), 10);
        QCOMPARE(reader.literalReceived(), 4);
        QCOMPARE(reader.pendingFirstLine(), QByteArray("* 9 FETCH (BODY[] {10}"));
        reader.feed("efghij)\r\n");
        auto r = reader.next();
        QVERIFY(r);
        QCOMPARE(r->text(), QByteArray("* 9 FETCH (BODY[] {10}\r\nabcdefghij)\r\n"));
        QVERIFY(!reader.inLiteral());
    }

    void valuesOfAFetchAnswer()
    {
        ResponseReader reader;
        reader.feed("* 4 FETCH (UID 77 FLAGS (\\Seen $Junk) BODY[HEADER.FIELDS (FROM DATE)] NIL "
                    "INTERNALDATE \"x \\\"y\\\"\" BODY[] {3}\r\nabc)\r\n");
        auto r = reader.next();
        QVERIFY(r);
        ValueCursor cursor(*r, 0, 10);
        auto list = cursor.next();
        QVERIFY(list && list->kind == Value::List);
        QCOMPARE(list->items.size(), 10);
        QCOMPARE(list->items[0].bytes, QByteArray("UID"));
        QCOMPARE(list->items[3].items.size(), 2);
        QCOMPARE(list->items[4].bytes, QByteArray("BODY[HEADER.FIELDS (FROM DATE)]"));
        QVERIFY(list->items[5].isNil());
        QCOMPARE(list->items[7].bytes, QByteArray("x \"y\""));
        QCOMPARE(list->items[9].bytes, QByteArray("abc"));
        QVERIFY(!cursor.next());
    }

    void brokenValuesEndTheWalk()
    {
        for (const QByteArray &line : {QByteArray("* 1 FETCH (BODY[] \"unterminated"), QByteArray("* 1 FETCH (A (B"),
                                       QByteArray("* 1 FETCH )"), QByteArray("* 1 FETCH {5}")}) {
            Response r;
            r.lines = {line};
            ValueCursor cursor(r, 0, 10);
            QVERIFY(!cursor.next());
        }
        // Deep nesting stops instead of recursing without end.
        Response deep;
        deep.lines = {"* " + QByteArray(5000, '(')};
        ValueCursor cursor(deep, 0, 2);
        QVERIFY(!cursor.next());
    }
};

LARKSPAN_TEST_MAIN(TestImapCodec)
#include "tst_imapcodec.moc"
