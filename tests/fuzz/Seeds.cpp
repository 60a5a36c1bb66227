#include "Seeds.h"

#include "support/FakeImapServer.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

namespace larkspan::fuzz {

namespace {

QList<QByteArray> FilesIn(const QString &folder, const QStringList &patterns)
{
    QList<QByteArray> out;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(patterns, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            out.append(file.readAll());
    }
    return out;
}

} // namespace

QList<QByteArray> MessageSeeds()
{
    return FilesIn(test::TestDataFolder(), {QStringLiteral("*.eml")});
}

QList<QByteArray> ServerReplySeeds()
{
    test::FakeImapServer server;
    server.messages = MessageSeeds();
    server.folders = {"INBOX", "Entw&APw-rfe", "[Mail]/Sent"};
    server.capabilities = "IMAP4rev1 SASL-IR AUTH=PLAIN";
    QByteArray conversation = server.greeting;
    server.capture = [&conversation](const QByteArray &bytes) { conversation += bytes; };
    const QList<QByteArray> commands = {"a1 ID (\"GUID\" \"1\")", "a2 CAPABILITY", "a3 LOGIN \"u\" \"p\"",
                                        "a4 AUTHENTICATE PLAIN AHUAcA==", "a5 LIST \"\" \"*\"", "a6 SELECT \"INBOX\"",
                                        "a7 FETCH 99 (UID INTERNALDATE BODY.PEEK[])", "a8 NOOP"};
    QList<QByteArray> seeds;
    for (const QByteArray &line : commands) {
        const qsizetype before = conversation.size();
        server.answerNormally(test::FakeImapServer::commandFrom(line));
        seeds.append('\x07' + conversation.mid(before));
    }
    for (int n = 1; n <= server.messages.size(); ++n) {
        const qsizetype before = conversation.size();
        server.answerNormally(test::FakeImapServer::commandFrom("f" + QByteArray::number(n) + " FETCH " +
                                                               QByteArray::number(n) + " (UID INTERNALDATE BODY.PEEK[])"));
        seeds.append(char(n) + conversation.mid(before));
    }
    // A message as a literal8 (RFC 3516), as some servers send it.
    const QByteArray first = server.messages.value(0);
    seeds.append("\x05* 1 FETCH (UID 1 BODY[] ~{" + QByteArray::number(first.size()) + "}\r\n" + first + ")\r\n");
    seeds.append('\x1e' + conversation); // the whole conversation in one
    return seeds;
}

QList<QByteArray> KeptFindings(const char *harness)
{
    return FilesIn(test::TestDataFolder() + QStringLiteral("/fuzz/") + QLatin1String(harness), {QStringLiteral("*")});
}

} // namespace larkspan::fuzz
