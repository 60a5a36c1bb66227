#include "Seeds.h"

#include "support/FakeImapServer.h"
#include "support/PdfSamples.h"
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

QList<QByteArray> PdfSeeds()
{
    using test::MakeSamplePdf;
    QList<QByteArray> seeds = {MakeSamplePdf({{}}), MakeSamplePdf({{842, 595, 90, QStringLiteral("Landscape")}, {}}),
                               MakeSamplePdf({})};
    // A page with a link to the next, a web link and a script run on opening.
    test::RawPdf pdf;
    const int catalog = pdf.reserve();
    const int tree = pdf.reserve();
    const int second = pdf.reserve();
    const int first = pdf.add("<< /Type /Page /Parent " + test::Ref(tree) + " /MediaBox [0 0 612 792] /Annots [<< /Subtype /Link "
                              "/Rect [0 0 9 9] /Dest [" + test::Ref(second) + " /Fit] >> << /Subtype /Link /Rect [9 9 19 19] "
                              "/A << /S /URI /URI (https://example.org/) >> >>] /AA << /O << /S /JavaScript /JS (1) >> >> >>");
    pdf.set(second, "<< /Type /Page /Parent " + test::Ref(tree) + " /MediaBox [0 0 612 792] >>");
    pdf.set(tree, "<< /Type /Pages /Kids [" + test::Ref(first) + " " + test::Ref(second) + "] /Count 2 >>");
    pdf.set(catalog, "<< /Type /Catalog /Pages " + test::Ref(tree) + " /OpenAction << /S /JavaScript /JS (2) >> >>");
    seeds.append(pdf.finish(catalog));
    return seeds;
}

QList<QByteArray> KeptFindings(const char *harness)
{
    return FilesIn(test::TestDataFolder() + QStringLiteral("/fuzz/") + QLatin1String(harness), {QStringLiteral("*")});
}

} // namespace larkspan::fuzz
