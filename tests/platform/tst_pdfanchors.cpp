// What the web engine makes of a page's links to its own headings, and what the record
// makes of them: the page's header block leads to each shown attachment, and the
// outline has an entry for each.
#include "platform/core/PdfRecord.h"
#include "support/PdfSamples.h"
#include "support/WidgetTestMain.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineSettings>

#include <set>

using namespace larkspan;

namespace {

QString Filler(int lines)
{
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("<p>Body line %1</p>").arg(i);
    return text;
}

// The page's number (1-based) of each page object, in order.
std::map<QPDFObjGen, int> PageNumbers(QPDF &document)
{
    std::map<QPDFObjGen, int> numbers;
    int n = 0;
    for (auto &page : QPDFPageDocumentHelper(document).getAllPages())
        numbers[page.getObjectHandle().getObjGen()] = ++n;
    return numbers;
}

} // namespace

class PdfAnchorsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_folder;

    QByteArray render(const QString &html)
    {
        QWebEnginePage page;
        page.settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
        page.setHtml(html, QUrl(QStringLiteral("file:///message.html")));
        if (!loaded.wait(60000))
            return {};
        const QString path = m_folder.filePath(QStringLiteral("page.pdf"));
        QSignalSpy printed(&page, &QWebEnginePage::pdfPrintingFinished);
        page.printToPdf(path, QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10)));
        if (!printed.wait(60000) || !printed.first().at(1).toBool())
            return {};
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString pageText(const QByteArray &pdf, int page)
    {
        const QString path = m_folder.filePath(QStringLiteral("text.pdf"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size())
            return {};
        file.close();
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"), QString::number(page), path,
                    QStringLiteral("-")});
        return text.waitForFinished(60000) ? QString::fromUtf8(text.readAllStandardOutput()) : QString();
    }

private slots:
    void theRendererKeepsTheHeadingsThatALinkLeadsTo()
    {
        const QByteArray pdf = render(QStringLiteral("<html><body><p><a href=\"#shown-1\">photo.jpg</a></p>%1"
                                                     "<h2 id=\"shown-1\">Shown photo.jpg</h2>%1"
                                                     "<h2 id=\"unlinked\">Shown notes.txt</h2></body></html>")
                                      .arg(Filler(60)));
        QVERIFY(!pdf.isEmpty());
        QPDF document;
        document.processMemoryFile("page", pdf.constData(), size_t(pdf.size()));
        QPDFObjectHandle dests = document.getRoot().getKey("/Dests");
        QVERIFY(dests.isDictionary());
        QCOMPARE(dests.getKeys(), std::set<std::string>({"/shown-1"}));
        // The link goes to the name, and the name to a page and a place on it.
        QPDFObjectHandle link = QPDFPageDocumentHelper(document).getAllPages().front().getObjectHandle().getKey("/Annots").getArrayItem(0);
        QVERIFY(link.getKey("/Dest").isNameAndEquals("/shown-1"));
        QVERIFY(dests.getKey("/shown-1").getArrayItem(1).isNameAndEquals("/XYZ"));
    }

    void theHeaderBlockAndTheOutlineLeadToWhereEachAttachmentIsShown()
    {
        QByteArray pdf = render(QStringLiteral("<html><body><h1>Quarterly figures</h1>"
                                               "<p><a href=\"larkspan-attachment:1\">message.eml</a></p>"
                                               "<p><a href=\"#shown-1\">photo.jpg</a></p>"
                                               "<p><a href=\"larkspan-shown:2\">invoice.pdf</a></p>%1"
                                               "<h2 id=\"shown-1\">Shown photo.jpg</h2>%1</body></html>")
                                    .arg(Filler(60)));
        QVERIFY(!pdf.isEmpty());
        int ownPages = 0;
        {
            QPDF rendered;
            rendered.processMemoryFile("page", pdf.constData(), size_t(pdf.size()));
            ownPages = int(QPDFPageDocumentHelper(rendered).getAllPages().size());
        }
        QVERIFY(ownPages >= 3);

        PdfRecord record;
        record.title = QStringLiteral("Quarterly figures");
        PdfEmbeddedFile message;
        message.name = QStringLiteral("message.eml");
        message.data = "Subject: Quarterly figures\r\n\r\nbody\r\n";
        message.linkTarget = QStringLiteral("larkspan-attachment:1");
        record.files.append(message);
        const QByteArray invoice = test::MakeSamplePdf({{612, 792, 0, QStringLiteral("Invoice page")}});
        record.shown.append({QStringLiteral("photo.jpg"), QStringLiteral("shown-1"), {}, {}});
        record.shown.append({QStringLiteral("invoice.pdf"), {}, invoice, QStringLiteral("larkspan-shown:2")});
        QCOMPARE(AddRecordToPdf(pdf, record), QString());

        QPDF document;
        document.processMemoryFile("record", pdf.constData(), size_t(pdf.size()));
        std::map<QPDFObjGen, int> numbers = PageNumbers(document);
        QCOMPARE(int(numbers.size()), ownPages + 1);
        QPDFObjectHandle top = document.getRoot().getKey("/Outlines").getKey("/First");
        QCOMPARE(QString::fromStdString(top.getKey("/Title").getUTF8Value()), record.title);
        QPDFObjectHandle photo = top.getKey("/First");
        QPDFObjectHandle appended = photo.getKey("/Next");
        QCOMPARE(QString::fromStdString(photo.getKey("/Title").getUTF8Value()), QStringLiteral("photo.jpg"));
        QCOMPARE(QString::fromStdString(appended.getKey("/Title").getUTF8Value()), QStringLiteral("invoice.pdf"));
        const int photoPage = numbers[photo.getKey("/Dest").getArrayItem(0).getObjGen()];
        QVERIFY2(pageText(pdf, photoPage).contains(QLatin1String("Shown photo.jpg")), qPrintable(QString::number(photoPage)));
        QCOMPARE(numbers[appended.getKey("/Dest").getArrayItem(0).getObjGen()], ownPages + 1);

        // The header block: the file opens from a paperclip, the picture's line goes
        // to its heading (the renderer's own link), the document's line to its page.
        QPDFObjectHandle annotations = QPDFPageDocumentHelper(document).getAllPages().front().getObjectHandle().getKey("/Annots");
        QStringList header;
        for (int i = 0; i < annotations.getArrayNItems(); ++i) {
            QPDFObjectHandle annotation = annotations.getArrayItem(i);
            QPDFObjectHandle destination = annotation.getKey("/Dest");
            if (destination.isName())
                destination = document.getRoot().getKey("/Dests").getKey(destination.getName());
            if (annotation.getKey("/A").isDictionary())
                destination = annotation.getKey("/A").getKey("/D");
            header.append(annotation.getKey("/Subtype").isNameAndEquals("/FileAttachment")
                              ? QStringLiteral("file")
                              : QStringLiteral("page %1").arg(numbers[destination.getArrayItem(0).getObjGen()]));
        }
        QCOMPARE(header, QStringList({QStringLiteral("file"), QStringLiteral("page %1").arg(photoPage),
                                      QStringLiteral("page %1").arg(ownPages + 1)}));
    }
};

LARKSPAN_TEST_MAIN(PdfAnchorsTest)
#include "tst_pdfanchors.moc"
