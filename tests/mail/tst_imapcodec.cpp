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

    void readerStopsAtTheBoundsOfWhatAServerMaySend_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<int>("overflow");
        const QByteArray mebibyte(1024 * 1024, 'x');
        const auto none = int(ResponseReader::Overflow::None);
        const auto literal = int(ResponseReader::Overflow::Literal);
        const auto line = int(ResponseReader::Overflow::Line);
        QTest::newRow("a 3 GB literal") << QList<QByteArray>{"* 1 FETCH (BODY[] {3000000000}\r\n", "abc"} << literal;
        QTest::newRow("a literal of 512 MiB and one octet") << QList<QByteArray>{"* 1 FETCH (BODY[] {536870913}\r\n"} << literal;
        QTest::newRow("more digits than a number holds") << QList<QByteArray>{"* 1 FETCH (BODY[] {99999999999999999999999}\r\n"} << literal;
        QTest::newRow("a line that never ends") << QList<QByteArray>{"* OK ", mebibyte, "more"} << line;
        QTest::newRow("a long line in one piece") << QList<QByteArray>{"* OK " + mebibyte + "\r\n"} << line;
        QTest::newRow("a line of 1 MiB") << QList<QByteArray>{"* OK " + mebibyte.left(1024 * 1024 - 6) + "\r\n"} << none;
    }

    void readerStopsAtTheBoundsOfWhatAServerMaySend()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(int, overflow);
        ResponseReader reader;
        qsizetype responses = 0;
        for (const QByteArray &chunk : chunks) {
            reader.feed(chunk);
            while (reader.next())
                ++responses;
        }
        QCOMPARE(int(reader.overflow()), overflow);
        QCOMPARE(responses, overflow == int(ResponseReader::Overflow::None) ? 1 : 0);
        // Once overflowed, the reader holds nothing more, and says why.
        reader.feed("a1 OK done\r\n");
        QCOMPARE(bool(reader.next()), overflow == int(ResponseReader::Overflow::None));
        QCOMPARE(reader.overflowText().isEmpty(), overflow == int(ResponseReader::Overflow::None));
    }

    void commandsCarryTheirArgumentsQuotedOrAsLiterals()
    {
        QCOMPARE(*CommandWithArguments("LOGIN", {"user", "pa\"ss"}), QList<QByteArray>{"LOGIN \"user\" \"pa\\\"ss\"\r\n"});
        QCOMPARE(*CommandWithArguments("LOGIN", {"j\xc3\xbcrgen", "pw"}),
                 (QList<QByteArray>{"LOGIN {7}\r\n", "j\xc3\xbcrgen \"pw\"\r\n"}));
        QVERIFY(!CommandWithArguments("SELECT", {QByteArray("a\0b", 3)}));
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

    // RFC 3516: "~{n}" announces n octets that may hold anything, NUL included.
    void literal8CarriesAnyOctets()
    {
        const QByteArray octets("a\0b\r\nc~{1}", 10);
        ResponseReader reader;
        reader.feed("* 2 FETCH (BODY[] ~{10}\r\n" + octets + " UID 5 FLAGS (~x))\r\n");
        auto r = reader.next();
        QVERIFY(r);
        ValueCursor cursor(*r, 0, 10);
        auto list = cursor.next();
        QVERIFY(list && list->kind == Value::List);
        QCOMPARE(list->items.size(), 6);
        QCOMPARE(list->items[1].kind, Value::String);
        QCOMPARE(list->items[1].bytes, octets);
        QCOMPARE(list->items[3].bytes, QByteArray("5"));
        // A "~" that starts no literal is part of an atom.
        QCOMPARE(list->items[5].items.value(0).bytes, QByteArray("~x"));
    }

    void brokenValuesEndTheWalk()
    {
        for (const QByteArray &line : {QByteArray("* 1 FETCH (BODY[] \"unterminated"), QByteArray("* 1 FETCH (A (B"),
                                       QByteArray("* 1 FETCH )"), QByteArray("* 1 FETCH {5}"),
                                       QByteArray("* 1 FETCH ~{5}")}) {
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

LARKSPAN_GUILESS_TEST_MAIN(TestImapCodec)
#include "tst_imapcodec.moc"
