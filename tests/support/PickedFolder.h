#pragma once

// The folder of five messages that the end-to-end tests export, through the windows
// and through the export pipeline alone, and the one check of what such an export
// wrote: the PDFs' names, texts and pictures, the originals inside them byte for byte,
// and the report's rows.

#include "support/PdfReading.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

namespace larkspan::test {

inline const QString &PickedFolderName()
{
    static const QString name = QStringLiteral("Picked");
    return name;
}

// One message of the folder and what its PDF must show.
struct PickedMessage {
    QString file;       // under demo/mailbox, or under tests/data when it starts with "data/"
    QString subject;    // as decoded from the header
    QString address;    // sender address
    QString richPiece;  // body text when exported as it appears in the browser
    QString plainPiece; // body text when exported text-only
};

inline const QList<PickedMessage> &PickedMessages()
{
    static const QList<PickedMessage> list = {
        {QStringLiteral("INBOX/001.eml"), QStringLiteral("Lunch on Thursday?"), QStringLiteral("ana.lima@example.org"),
         QStringLiteral("Shipping times are down"), QStringLiteral("Shipping times are down")},
        {QStringLiteral("Newsletters/002.eml"), QStringLiteral("Ten tips for tomatoes"),
         QStringLiteral("news@garden-club.example"), QStringLiteral("Water early in the morning."),
         QStringLiteral("Read this newsletter in an HTML mail reader")},
        {QStringLiteral("INBOX/020.eml"), QStringLiteral("Réunion de l'équipe : ordre du jour"),
         QStringLiteral("emeka@example.com"), QStringLiteral("Merci d'apporter vos idées"),
         QStringLiteral("Merci d'apporter vos idées")},
        {QStringLiteral("INBOX/024.eml"), QStringLiteral("Ευχαριστώ για τη βοήθεια"), QString(),
         QStringLiteral("Ευχαριστώ πολύ για τη βοήθεια"), QStringLiteral("Ευχαριστώ πολύ για τη βοήθεια")},
        {QStringLiteral("data/complete-record.eml"), QStringLiteral("The whole record"),
         QStringLiteral("erik@example.org"), QStringLiteral("The diff is attached below."),
         QStringLiteral("The diff is attached below.")},
    };
    return list;
}

inline QString DemoMailbox()
{
    return QDir::cleanPath(TestDataFolder() + QStringLiteral("/../../demo/mailbox"));
}

inline QString SourceFile(const PickedMessage &e)
{
    return e.file.startsWith(QLatin1String("data/")) ? TestDataFolder() + e.file.mid(4)
                                                      : DemoMailbox() + QLatin1Char('/') + e.file;
}

inline QStringList PickedSourceFiles()
{
    QStringList files;
    for (const PickedMessage &e : PickedMessages())
        files << SourceFile(e);
    return files;
}

inline QList<QByteArray> PickedMessageBytes()
{
    QList<QByteArray> messages;
    for (const QString &file : PickedSourceFiles())
        messages << ReadBytes(file);
    return messages;
}

inline const PickedMessage *PickedBySubject(const QString &subject)
{
    const auto found = std::find_if(PickedMessages().begin(), PickedMessages().end(),
                                    [&](const PickedMessage &e) { return e.subject == subject; });
    return found == PickedMessages().end() ? nullptr : &*found;
}

// The message with recipients and every kind of attachment: its page lists them,
// the PDF carries them decoded, and says what it is in its document information.
inline void CheckCompleteRecord(const QString &path, const QString &text, const QStringList &carried,
                                const QString &detached)
{
    for (const char *shown : {"To Jürgen Müller <juergen@example.org>, ann@example.org",
                              "Cc Team <Ops> <ops@example.org>", "résumé.pdf (application/pdf, 54 bytes)",
                              "attachment-5.zip (application/zip, 768 bytes)", "fix (2).diff"})
        QVERIFY2(text.contains(QString::fromUtf8(shown)), qPrintable(QString::fromUtf8(shown) + QStringLiteral(" in ") + text));
    // pdfdetach lists the files of the name tree, then once more each file that an
    // annotation of the page opens: every attachment line links to its file.
    const QStringList attachments = {"attachment-1.png", "fix.diff", "résumé.pdf",
                                     "Quartalsbericht für die Geschäftsführung.txt", "attachment-5.zip",
                                     "passwd", "fix (2).diff", "attachment-8.eml"};
    QCOMPARE(carried.mid(1), attachments + attachments);
    QByteArray zip;
    for (int i = 0; i < 3 * 256; ++i)
        zip.append(char(i % 256));
    QCOMPARE(ReadBytes(detached + QStringLiteral("attachment-5.zip")), zip);
    QCOMPARE(ReadBytes(detached + QStringLiteral("Quartalsbericht für die Geschäftsführung.txt")),
             QByteArray("Ums\xc3\xa4tze stiegen."));
    QCOMPARE(ReadBytes(detached + QStringLiteral("passwd")), QByteArray("root:x:0:0\n"));
    QVERIFY(ReadBytes(detached + QStringLiteral("résumé.pdf")).startsWith("%PDF-1.4\n%\xc7\xec\x8f\xa2\n"));
    QVERIFY(ReadBytes(detached + QStringLiteral("attachment-8.eml")).startsWith("From: Old Sender <old@example.org>\r\n"));

    const QString info = PdfInfo(path);
    for (const QString &line : {QStringLiteral("Title: +The whole record"), QStringLiteral("Author: +Erik Lind <erik@example.org>"),
                                QStringLiteral("Subject: +Email from erik@example.org"),
                                QStringLiteral("Keywords: +<whole-record-1@example.org>"),
                                QStringLiteral("Producer: +Larkspan"), QStringLiteral("CreationDate: +\\S+ Mar 10 \\d\\d:11:11 2026.*")})
        QVERIFY2(info.contains(QRegularExpression(QLatin1Char('^') + line + QLatin1Char('$'), QRegularExpression::MultilineOption)),
                 qPrintable(line + QStringLiteral(" in ") + info));
}

// What an export of the whole folder, in list order and with the default pattern,
// wrote into folder (ending in "/"): one complete PDF per message named "<n> - ...",
// its texts and pictures, the original message inside byte for byte, and a report row
// per message naming its PDF, the account and the server folder (or, for mail on the
// disk, the text source names in every row: the folder its files lie in).
inline void CheckPickedExport(const QString &folder, const QList<PickedMessage> &inListOrder, bool textOnly,
                              const QString &account, const QString &source = QString())
{
    const QStringList pdfs = QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
    QCOMPARE(pdfs.size(), inListOrder.size());
    QHash<QString, int> pictures;
    QStringList inOrder;
    for (int k = 1; k <= inListOrder.size(); ++k) {
        const PickedMessage &e = inListOrder[k - 1];
        const QString prefix = QString::number(k) + QStringLiteral(" - ");
        auto file = std::find_if(pdfs.begin(), pdfs.end(), [&](const QString &name) { return name.startsWith(prefix); });
        QVERIFY2(file != pdfs.end(), qPrintable(pdfs.join(QLatin1Char('|'))));
        inOrder << *file;
        const QString path = folder + *file;
        QVERIFY2(IsCompletePdf(path), qPrintable(path));
        const QString text = PdfText(path);
        const QString piece = textOnly ? e.plainPiece : e.richPiece;
        QVERIFY2(text.contains(e.subject), qPrintable(e.file + QStringLiteral(": ") + text));
        QVERIFY2(text.contains(piece), qPrintable(e.file + QStringLiteral(": ") + text));
        if (!e.address.isEmpty())
            QVERIFY2(text.contains(e.address), qPrintable(e.file + QStringLiteral(": ") + text));
        pictures[e.file] = PdfImageCount(path);
        QVERIFY2(pictures[e.file] >= 0, qPrintable(path));
        if (textOnly)
            QVERIFY2(!text.contains(e.richPiece) || e.richPiece == e.plainPiece, qPrintable(e.file));

        // The original message rides inside, byte for byte as the server has it.
        const QString detached = folder + QStringLiteral("files-%1/").arg(k);
        const QStringList carried = DetachAll(path, detached);
        const QString eml = QFileInfo(path).completeBaseName() + QStringLiteral(".eml");
        QVERIFY2(!carried.isEmpty() && carried.first() == eml, qPrintable(carried.join(QLatin1Char('|'))));
        QCOMPARE(ReadBytes(detached + eml), ReadBytes(SourceFile(e)));
        if (!e.file.startsWith(QLatin1String("data/")))
            QCOMPARE(carried.size(), 1); // no attachments, only the message
        else
            CheckCompleteRecord(path, text, carried, detached);
        if (QTest::currentTestFailed())
            return;
    }

    // Every page carries the page's own header picture; the newsletter's inline
    // picture comes along only with the browser look.
    const QString plain = QStringLiteral("INBOX/001.eml");
    const QString newsletter = QStringLiteral("Newsletters/002.eml");
    if (pictures.contains(plain) && pictures.contains(newsletter)) {
        if (textOnly)
            QCOMPARE(pictures[newsletter], pictures[plain]);
        else
            QVERIFY2(pictures[newsletter] > pictures[plain],
                     qPrintable(QStringLiteral("%1 against %2").arg(pictures[newsletter]).arg(pictures[plain])));
    }

    // The report: a row per message, in order, naming its PDF.
    QFile report(folder + QStringLiteral("Larkspan export report.csv"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(report.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + inListOrder.size());
    for (int k = 1; k <= inListOrder.size(); ++k) {
        const QString &row = lines[k];
        if (source.isEmpty())
            QVERIFY2(row.contains(QLatin1Char(',') + account + QLatin1Char(',') + PickedFolderName() + QLatin1Char(',')), qPrintable(row));
        else
            QVERIFY2(row.contains(source), qPrintable(row));
        QVERIFY2(row.contains(inOrder[k - 1]) && row.contains(QStringLiteral(",exported,")), qPrintable(row));
    }
}

} // namespace larkspan::test
