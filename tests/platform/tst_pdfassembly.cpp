// The PDF a message becomes (its pages, the appended PDF documents it carries, its
// outline) and the bundle of many messages, read back with qpdf.
#include "platform/core/PdfBundle.h"
#include "platform/core/PdfRecord.h"
#include "support/PdfSamples.h"
#include "support/TestEnvironment.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <memory>
#include <set>
#include <sys/resource.h>

using namespace larkspan;
using namespace larkspan::test;

namespace {

// ---- documents made for the tests ----------------------------------------------------

// A page as the web engine prints it: two pages; on the first, links to shown
// attachments ("larkspan-shown:N"), to an attached file ("larkspan-attachment:1"), and
// to a heading through a named destination, kept in the catalog's /Dests as the
// renderer writes them.
QByteArray RenderedMessagePage()
{
    RawPdf pdf;
    const int catalog = pdf.reserve();
    const int tree = pdf.reserve();
    const int first = pdf.reserve();
    const int second = pdf.reserve();
    const int font = pdf.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    auto link = [&](int y, const QByteArray &target) {
        return Ref(pdf.add("<< /Type /Annot /Subtype /Link /Rect [40 " + QByteArray::number(y) + " 300 " +
                           QByteArray::number(y + 14) + "] /Border [0 0 0] " + target + " >>"));
    };
    const QByteArray links = link(700, "/A << /S /URI /URI (larkspan-shown:2) >>") + " " +
                             link(680, "/A << /S /URI /URI (larkspan-shown:3) >>") + " " + link(660, "/Dest /shown-1") +
                             " " + link(640, "/A << /S /URI /URI (larkspan-attachment:1) >>");
    const QByteArray resources = "/Resources << /Font << /F1 " + Ref(font) + " >> >>";
    pdf.set(first, "<< /Type /Page /Parent " + Ref(tree) + " /MediaBox [0 0 595 842] " + resources + " /Contents " +
                       Ref(pdf.addStream({}, TextContent("Message page 1"))) + " /Annots [" + links + "] >>");
    pdf.set(second, "<< /Type /Page /Parent " + Ref(tree) + " /MediaBox [0 0 595 842] " + resources + " /Contents " +
                        Ref(pdf.addStream({}, TextContent("Message page 2"))) + " >>");
    pdf.set(tree, "<< /Type /Pages /Kids [" + Ref(first) + " " + Ref(second) + "] /Count 2 >>");
    const int dests = pdf.add("<< /shown-1 [" + Ref(second) + " /XYZ 16 700 0] /shown-3 [" + Ref(second) +
                              " /XYZ 16 400 0] >>");
    pdf.set(catalog, "<< /Type /Catalog /Pages " + Ref(tree) + " /Dests " + Ref(dests) + " >>");
    return pdf.finish(catalog);
}

// Two pages whose size and orientation come from their page tree node, then a third
// with its own: the appended copies must keep all three.
QByteArray MixedGeometryDocument()
{
    RawPdf pdf;
    const int catalog = pdf.reserve();
    const int tree = pdf.reserve();
    const int node = pdf.reserve();
    const int font = pdf.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const QByteArray parent = " /Parent " + Ref(node);
    const int a = pdf.add("<< /Type /Page" + parent + " /Contents " + Ref(pdf.addStream({}, TextContent("Mixed 1"))) + " >>");
    const int b = pdf.add("<< /Type /Page" + parent + " /Rotate 0 /Contents " +
                          Ref(pdf.addStream({}, TextContent("Mixed 2"))) + " >>");
    const int c = pdf.add("<< /Type /Page /Parent " + Ref(tree) + " /MediaBox [0 0 300 200] /CropBox [10 10 290 190] " +
                          "/Resources << /Font << /F1 " + Ref(font) + " >> >> /Contents " +
                          Ref(pdf.addStream({}, TextContent("Mixed 3"))) + " >>");
    pdf.set(node, "<< /Type /Pages /Parent " + Ref(tree) + " /Kids [" + Ref(a) + " " + Ref(b) +
                      "] /Count 2 /MediaBox [0 0 842 595] /Rotate 90 /Resources << /Font << /F1 " + Ref(font) + " >> >> >>");
    pdf.set(tree, "<< /Type /Pages /Kids [" + Ref(node) + " " + Ref(c) + "] /Count 3 >>");
    pdf.set(catalog, "<< /Type /Catalog /Pages " + Ref(tree) + " >>");
    return pdf.finish(catalog);
}

// A two-page document carrying one thing that runs code (or tries to). The first page
// also links to the second and to a web address: links that may stay.
QByteArray HostileDocument(const QString &feature)
{
    RawPdf pdf;
    const int catalog = pdf.reserve();
    const int tree = pdf.reserve();
    const int first = pdf.reserve();
    const int second = pdf.reserve();
    const int font = pdf.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const QByteArray js = "<< /Type /Action /S /JavaScript /JS (app.alert\\('run'\\)) >>";
    QByteArray catalogExtra, firstExtra, resourcesExtra;
    QByteArray annotations = Ref(pdf.add("<< /Type /Annot /Subtype /Link /Rect [0 0 50 50] /Dest [" + Ref(second) +
                                          " /Fit] >>")) +
                             " " +
                             Ref(pdf.add("<< /Type /Annot /Subtype /Link /Rect [0 60 50 110] /A << /S /URI "
                                         "/URI (https://example.org/) >> >>"));
    auto addLink = [&](const QByteArray &action) {
        annotations += " " + Ref(pdf.add("<< /Type /Annot /Subtype /Link /Rect [60 0 110 50] /A " + action + " >>"));
    };
    if (feature == QLatin1String("open action")) {
        catalogExtra = " /OpenAction " + js;
    } else if (feature == QLatin1String("document script")) {
        catalogExtra = " /Names << /JavaScript << /Names [(start) " + Ref(pdf.add(js)) + "] >> >> /AA << /WC " + js + " >>";
    } else if (feature == QLatin1String("launch")) {
        addLink("<< /S /Launch /F (calc.exe) /Win << /F (cmd.exe) /P (/c calc) >> >>");
    } else if (feature == QLatin1String("page actions")) {
        firstExtra = " /AA << /O " + js + " /C << /S /Launch /F (x) >> >>";
    } else if (feature == QLatin1String("form")) {
        const int field = pdf.reserve();
        const int widget = pdf.add("<< /Type /Annot /Subtype /Widget /Rect [200 200 300 220] /P " + Ref(first) +
                                   " /Parent " + Ref(field) + " /A " + js + " /AA << /E " + js + " >> >>");
        pdf.set(field, "<< /FT /Tx /T (name) /Kids [" + Ref(widget) + "] /AA << /K " + js + " /V " + js + " >> >>");
        annotations += " " + Ref(widget);
        catalogExtra = " /AcroForm << /Fields [" + Ref(field) + "] /XFA (<xdp:xdp/>) >>";
    } else if (feature == QLatin1String("submit form")) {
        addLink("<< /S /SubmitForm /F << /FS /URL /F (https://example.org/collect) >> >>");
    } else if (feature == QLatin1String("import data")) {
        addLink("<< /S /ImportData /F (data.fdf) >>");
    } else if (feature == QLatin1String("rendition")) {
        addLink("<< /S /Rendition /OP 0 /JS (app.alert\\(1\\)) >>");
    } else if (feature == QLatin1String("chained script")) {
        addLink("<< /S /URI /URI (https://example.org/) /Next " + js + " >>");
    } else if (feature == QLatin1String("remote document")) {
        addLink("<< /S /GoToR /F (other.pdf) /D [0 /Fit] >>");
    } else if (feature == QLatin1String("file address")) {
        addLink("<< /S /URI /URI (file:///etc/passwd) >>");
    } else if (feature == QLatin1String("script in resources")) {
        resourcesExtra = " /Properties << /P0 " + Ref(pdf.add(js)) + " >>";
    } else if (feature == QLatin1String("catalog reached from a page")) {
        resourcesExtra = " /Properties << /P0 " + Ref(catalog) + " >>";
        catalogExtra = " /OpenAction " + js;
    }
    const QByteArray resources = "/Resources << /Font << /F1 " + Ref(font) + " >>" + resourcesExtra + " >>";
    pdf.set(first, "<< /Type /Page /Parent " + Ref(tree) + " /MediaBox [0 0 612 792] " + resources + " /Contents " +
                       Ref(pdf.addStream({}, TextContent("Hostile 1"))) + " /Annots [" + annotations + "]" + firstExtra +
                       " >>");
    pdf.set(second, "<< /Type /Page /Parent " + Ref(tree) + " /MediaBox [0 0 612 792] " + resources + " /Contents " +
                        Ref(pdf.addStream({}, TextContent("Hostile 2"))) + " >>");
    pdf.set(tree, "<< /Type /Pages /Kids [" + Ref(first) + " " + Ref(second) + "] /Count 2 >>");
    pdf.set(catalog, "<< /Type /Catalog /Pages " + Ref(tree) + catalogExtra + " >>");
    return pdf.finish(catalog);
}

// Pages that share one content stream and their attributes, in nodes of 1,000.
QByteArray ManyPagesDocument(int count)
{
    RawPdf pdf;
    const int catalog = pdf.reserve();
    const int tree = pdf.reserve();
    const int font = pdf.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const int content = pdf.addStream({}, TextContent("One of many"));
    QByteArray nodes;
    for (int start = 0; start < count; start += 1000) {
        const int node = pdf.reserve();
        QByteArray kids;
        const int inNode = std::min(1000, count - start);
        for (int i = 0; i < inNode; ++i)
            kids += Ref(pdf.add("<< /Type /Page /Parent " + Ref(node) + " /Contents " + Ref(content) + " >>")) + " ";
        pdf.set(node, "<< /Type /Pages /Parent " + Ref(tree) + " /Kids [" + kids + "] /Count " + QByteArray::number(inNode) + " >>");
        nodes += Ref(node) + " ";
    }
    pdf.set(tree, "<< /Type /Pages /Kids [" + nodes + "] /Count " + QByteArray::number(count) +
                      " /MediaBox [0 0 612 792] /Resources << /Font << /F1 " + Ref(font) + " >> >> >>");
    pdf.set(catalog, "<< /Type /Catalog /Pages " + Ref(tree) + " >>");
    return pdf.finish(catalog);
}

// A page tree whose second node lists the root again.
QByteArray LoopingTreeDocument()
{
    RawPdf pdf;
    const int catalog = pdf.reserve();
    const int root = pdf.reserve();
    const int node = pdf.reserve();
    const int font = pdf.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const QByteArray resources = " /MediaBox [0 0 612 792] /Resources << /Font << /F1 " + Ref(font) + " >> >>";
    const int a = pdf.add("<< /Type /Page /Parent " + Ref(root) + resources + " /Contents " +
                          Ref(pdf.addStream({}, TextContent("Loop 1"))) + " >>");
    const int b = pdf.add("<< /Type /Page /Parent " + Ref(node) + resources + " /Contents " +
                          Ref(pdf.addStream({}, TextContent("Loop 2"))) + " >>");
    pdf.set(root, "<< /Type /Pages /Kids [" + Ref(a) + " " + Ref(node) + "] /Count 3 >>");
    pdf.set(node, "<< /Type /Pages /Parent " + Ref(root) + " /Kids [" + Ref(b) + " " + Ref(root) + "] /Count 2 >>");
    pdf.set(catalog, "<< /Type /Catalog /Pages " + Ref(root) + " >>");
    return pdf.finish(catalog);
}

// A page whose resources lead through a chain of objects deeper than anything real.
QByteArray DeeplyNestedDocument(int depth)
{
    RawPdf pdf;
    const int catalog = pdf.reserve();
    const int tree = pdf.reserve();
    int next = pdf.add("<< /End true >>");
    for (int i = 0; i < depth; ++i)
        next = pdf.add("<< /Next " + Ref(next) + " >>");
    const int page = pdf.add("<< /Type /Page /Parent " + Ref(tree) + " /MediaBox [0 0 612 792] /Resources << /Properties << /P0 " +
                             Ref(next) + " >> >> /Contents " + Ref(pdf.addStream({}, TextContent("Deep"))) + " >>");
    pdf.set(tree, "<< /Type /Pages /Kids [" + Ref(page) + "] /Count 1 >>");
    pdf.set(catalog, "<< /Type /Catalog /Pages " + Ref(tree) + " >>");
    return pdf.finish(catalog);
}

QByteArray Encrypted(const QByteArray &plain, const char *user, const char *owner)
{
    QPDF document;
    document.processMemoryFile("plain", plain.constData(), size_t(plain.size()));
    QPDFWriter writer(document);
    writer.setOutputMemory();
    writer.setR6EncryptionParameters(user, owner, true, false, false, false, false, false, qpdf_r3p_none, true);
    writer.write();
    auto buffer = writer.getBufferSharedPointer();
    return QByteArray(reinterpret_cast<const char *>(buffer->getBuffer()), qsizetype(buffer->getSize()));
}

// ---- reading back ------------------------------------------------------------------------

struct Opened {
    QByteArray bytes; // qpdf reads from it
    std::unique_ptr<QPDF> pdf = std::make_unique<QPDF>();
    std::vector<QPDFObjectHandle> pages;

    explicit Opened(const QByteArray &data)
        : bytes(data)
    {
        pdf->setSuppressWarnings(true);
        pdf->processMemoryFile("written", bytes.constData(), size_t(bytes.size()));
        for (auto &page : QPDFPageDocumentHelper(*pdf).getAllPages())
            pages.push_back(page.getObjectHandle());
    }

    // 1-based number of the page a destination or a page object is, 0 if none.
    int pageNumber(QPDFObjectHandle pageOrDestination)
    {
        if (pageOrDestination.isArray() && pageOrDestination.getArrayNItems() > 0)
            pageOrDestination = pageOrDestination.getArrayItem(0);
        for (std::size_t i = 0; i < pages.size(); ++i)
            if (pageOrDestination.isIndirect() && pages[i].getObjGen() == pageOrDestination.getObjGen())
                return int(i) + 1;
        return 0;
    }

    QByteArray pageContent(int number)
    {
        QByteArray out;
        QPDFObjectHandle contents = pages[size_t(number - 1)].getKey("/Contents");
        QPDFObjectHandle streams = contents.isArray() ? contents : QPDFObjectHandle::newArray({contents});
        for (int i = 0; i < streams.getArrayNItems(); ++i) {
            if (!streams.getArrayItem(i).isStream())
                continue;
            auto data = streams.getArrayItem(i).getStreamData(qpdf_dl_all);
            out.append(reinterpret_cast<const char *>(data->getBuffer()), qsizetype(data->getSize()));
        }
        return out;
    }

    // The link annotations of a page that go somewhere within the document: their
    // destination's page numbers, in order.
    QList<int> internalLinks(int number)
    {
        QList<int> targets;
        QPDFObjectHandle annotations = pages[size_t(number - 1)].getKey("/Annots");
        for (int i = 0; annotations.isArray() && i < annotations.getArrayNItems(); ++i) {
            QPDFObjectHandle link = annotations.getArrayItem(i);
            if (!link.getKey("/Subtype").isNameAndEquals("/Link"))
                continue;
            QPDFObjectHandle destination = link.getKey("/Dest");
            if (link.getKey("/A").isDictionary() && link.getKey("/A").getKey("/S").isNameAndEquals("/GoTo"))
                destination = link.getKey("/A").getKey("/D");
            if (destination.isName()) // a named destination, as the renderer writes them
                destination = pdf->getRoot().getKey("/Dests").getKey(destination.getName());
            if (destination.isArray())
                targets.append(pageNumber(destination));
        }
        return targets;
    }

    // "title -> page" for each outline entry, children indented by two spaces.
    QStringList outline()
    {
        QStringList lines;
        std::set<QPDFObjGen> seen;
        std::function<void(QPDFObjectHandle, int)> walk = [&](QPDFObjectHandle item, int depth) {
            for (; item.isDictionary() && seen.insert(item.getObjGen()).second; item = item.getKey("/Next")) {
                lines.append(QString(depth * 2, QLatin1Char(' ')) + QString::fromStdString(item.getKey("/Title").getUTF8Value()) +
                             QStringLiteral(" -> %1").arg(pageNumber(item.getKey("/Dest"))));
                walk(item.getKey("/First"), depth + 1);
            }
        };
        QPDFObjectHandle outlines = pdf->getRoot().getKey("/Outlines");
        if (outlines.isDictionary())
            walk(outlines.getKey("/First"), 0);
        return lines;
    }

    // Embedded files by their name in the file list, with their bytes.
    QMap<QString, QByteArray> embeddedFiles()
    {
        QMap<QString, QByteArray> files;
        for (const auto &entry : QPDFEmbeddedFileDocumentHelper(*pdf).getEmbeddedFiles()) {
            auto data = entry.second->getEmbeddedFileStream().getStreamData(qpdf_dl_all);
            files.insert(QString::fromStdString(entry.second->getFilename()),
                         QByteArray(reinterpret_cast<const char *>(data->getBuffer()), qsizetype(data->getSize())));
        }
        return files;
    }
};

// Everything in the document that would run something, as "object: what".
QStringList ActiveContent(QPDF &document)
{
    static const std::set<std::string> unsafe = {"/JavaScript", "/Launch", "/SubmitForm", "/ImportData", "/ResetForm",
                                                 "/Rendition",  "/GoToR",  "/GoToE",      "/Movie",      "/Sound",
                                                 "/Named",      "/Hide",   "/RichMediaExecute"};
    QStringList found;
    std::function<void(QPDFObjectHandle, const QString &)> look = [&](QPDFObjectHandle object, const QString &where) {
        if (object.isStream())
            object = object.getDict();
        if (object.isArray()) {
            for (int i = 0; i < object.getArrayNItems(); ++i)
                if (!object.getArrayItem(i).isIndirect())
                    look(object.getArrayItem(i), where);
        } else if (object.isDictionary()) {
            for (const std::string &key : object.getKeys()) {
                if (key == "/JS" || key == "/JavaScript" || key == "/AA" || key == "/OpenAction" || key == "/XFA")
                    found.append(where + QStringLiteral(": ") + QString::fromStdString(key));
                if (key == "/S" && object.getKey(key).isName() && unsafe.count(object.getKey(key).getName()))
                    found.append(where + QStringLiteral(": ") + QString::fromStdString(object.getKey(key).getName()));
                if (key == "/URI" && object.getKey(key).isString()) {
                    const QString uri = QString::fromStdString(object.getKey(key).getUTF8Value());
                    // The rendered page's own addresses aside, only the web and mail.
                    if (!uri.startsWith(QLatin1String("https:")) && !uri.startsWith(QLatin1String("http:")) &&
                        !uri.startsWith(QLatin1String("mailto:")) && !uri.startsWith(QLatin1String("larkspan-")))
                        found.append(where + QStringLiteral(": URI ") + uri);
                }
                if (!object.getKey(key).isIndirect())
                    look(object.getKey(key), where);
            }
        }
    };
    for (QPDFObjectHandle object : document.getAllObjects())
        look(object, QStringLiteral("%1 0 R").arg(object.getObjectID()));
    look(document.getTrailer(), QStringLiteral("trailer"));
    return found;
}

QString Rectangle(QPDFObjectHandle box)
{
    QStringList numbers;
    for (int i = 0; box.isArray() && i < box.getArrayNItems(); ++i)
        numbers.append(QString::number(box.getArrayItem(i).getNumericValue()));
    return numbers.join(QLatin1Char(' '));
}

PdfRecord RecordShowing(const QList<QByteArray> &documents)
{
    PdfRecord record;
    record.title = QStringLiteral("Quarterly figures");
    record.outlineTitle = QStringLiteral("2026-03-10 — Quarterly figures");
    int number = 0;
    for (const QByteArray &document : documents) {
        ++number;
        PdfShownAttachment shown;
        shown.title = QStringLiteral("document %1.pdf").arg(number);
        shown.document = document;
        shown.linkTarget = QStringLiteral("larkspan-shown:%1").arg(number + 1);
        record.shown.append(shown);
        PdfEmbeddedFile file;
        file.name = shown.title;
        file.mimeType = QStringLiteral("application/pdf");
        file.data = document;
        record.files.append(file);
    }
    return record;
}

QString WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return file.errorString();
    return QString();
}

} // namespace

class PdfAssemblyTest : public QObject {
    Q_OBJECT

private slots:
    void appendsDocumentsInOrderKeepingEachPageGeometry()
    {
        const QByteArray mixed = MixedGeometryDocument();
        const QByteArray single = MakeSamplePdf({{612, 792, 0, QStringLiteral("Second document")}});
        QByteArray pdf = RenderedMessagePage();
        QList<PdfAppendOutcome> outcomes;
        QCOMPARE(AddRecordToPdf(pdf, RecordShowing({mixed, single}), &outcomes), QString());
        QCOMPARE(outcomes.size(), 2);
        QCOMPARE(outcomes[0].pages, 3);
        QCOMPARE(outcomes[1].pages, 1);
        QVERIFY(!outcomes[0].cut && outcomes[0].reason.isEmpty());

        Opened out(pdf);
        QCOMPARE(out.pages.size(), size_t(6));
        const QStringList expected = {"Message page 1", "Message page 2", "Mixed 1", "Mixed 2", "Mixed 3", "Second document"};
        for (int page = 1; page <= 6; ++page)
            QVERIFY2(out.pageContent(page).contains("(" + expected[page - 1].toLatin1() + ")"), qPrintable(expected[page - 1]));
        struct Geometry {
            const char *media;
            const char *crop;
            int rotate;
        };
        const Geometry geometry[] = {{"0 0 842 595", "", 90}, {"0 0 842 595", "", 0}, {"0 0 300 200", "10 10 290 190", 0}};
        for (int i = 0; i < 3; ++i) {
            QPDFPageObjectHelper page(out.pages[size_t(2 + i)]);
            QCOMPARE(Rectangle(page.getAttribute("/MediaBox", false)), QString::fromLatin1(geometry[i].media));
            QCOMPARE(Rectangle(page.getAttribute("/CropBox", false)), QString::fromLatin1(geometry[i].crop));
            QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
            QCOMPARE(rotate.isInteger() ? int(rotate.getIntValue()) : 0, geometry[i].rotate);
        }

        // Another reader sees the same pages, in the same order.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("record.pdf"));
        QCOMPARE(WriteFile(path, pdf), QString());
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(60000));
        const QString read = QString::fromUtf8(text.readAllStandardOutput());
        QCOMPARE(read.count(QLatin1Char('\f')), 6);
        QVERIFY(read.indexOf(QLatin1String("Mixed 3")) < read.indexOf(QLatin1String("Second document")));
        QVERIFY(read.indexOf(QLatin1String("Message page 2")) < read.indexOf(QLatin1String("Mixed 1")));
    }

    void keepsEmbeddedFilesByteForByteAndMakesTheOutline()
    {
        const QByteArray first = MakeSamplePdf({{}, {}});
        const QByteArray locked = Encrypted(MakeSamplePdf({{}}), "secret", "owner");
        PdfRecord record = RecordShowing({first, locked});
        // A picture shown within the page, under the heading the page links to.
        PdfShownAttachment picture;
        picture.title = QStringLiteral("photo.jpg");
        picture.anchor = QStringLiteral("shown-1");
        record.shown.prepend(picture);
        record.shown[2].anchor = QStringLiteral("shown-3"); // where the page says why it is not shown
        PdfEmbeddedFile message;
        message.name = QStringLiteral("message.eml");
        message.mimeType = QStringLiteral("message/rfc822");
        message.data = QByteArray("From: a@example.org\r\nSubject: figures\r\n\r\nbody\r\n").repeated(300);
        message.linkTarget = QStringLiteral("larkspan-attachment:1");
        message.relationship = PdfEmbeddedFile::Relationship::Source;
        record.files.prepend(message);

        QByteArray pdf = RenderedMessagePage();
        QList<PdfAppendOutcome> outcomes;
        QCOMPARE(AddRecordToPdf(pdf, record, &outcomes), QString());
        QCOMPARE(outcomes.size(), 3);
        QCOMPARE(outcomes[1].pages, 2);
        QCOMPARE(outcomes[2].reason, QStringLiteral("the document needs a password"));

        Opened out(pdf);
        QCOMPARE(out.pages.size(), size_t(4));
        QCOMPARE(out.outline(), QStringList({QStringLiteral("2026-03-10 — Quarterly figures -> 1"),
                                             QStringLiteral("  photo.jpg -> 2"), QStringLiteral("  document 1.pdf -> 3"),
                                             QStringLiteral("  document 2.pdf -> 2")}));
        // The page's links: to the first appended page, to the anchor of the document
        // that is not shown, and the renderer's own link to a heading.
        QCOMPARE(out.internalLinks(1), QList<int>({3, 2, 2}));

        const QMap<QString, QByteArray> files = out.embeddedFiles();
        QCOMPARE(files.keys(), QStringList({"document 1.pdf", "document 2.pdf", "message.eml"}));
        QCOMPARE(files.value(QStringLiteral("message.eml")), message.data);
        QCOMPARE(files.value(QStringLiteral("document 1.pdf")), first);
        QCOMPARE(files.value(QStringLiteral("document 2.pdf")), locked);
        QCOMPARE(out.pdf->getRoot().getKey("/AF").getArrayNItems(), 3);
    }

    void removesEverythingThatRunsCode_data()
    {
        QTest::addColumn<QString>("feature");
        for (const char *feature : {"open action", "document script", "launch", "page actions", "form", "submit form",
                                    "import data", "rendition", "chained script", "remote document", "file address",
                                    "script in resources", "catalog reached from a page"})
            QTest::newRow(feature) << QString::fromLatin1(feature);
    }

    void removesEverythingThatRunsCode()
    {
        QFETCH(QString, feature);
        const QByteArray hostile = HostileDocument(feature);
        {
            Opened source(hostile);
            QVERIFY2(!ActiveContent(*source.pdf).isEmpty(), "the sample carries what it is named after");
        }
        QByteArray pdf = RenderedMessagePage();
        QList<PdfAppendOutcome> outcomes;
        QCOMPARE(AddRecordToPdf(pdf, RecordShowing({hostile}), &outcomes), QString());
        QCOMPARE(outcomes.value(0).pages, 2);

        Opened out(pdf);
        QCOMPARE(ActiveContent(*out.pdf), QStringList());
        QCOMPARE(out.pages.size(), size_t(4));
        // The safe links stay: to the document's own second page (now page 4) and to
        // the web address.
        QCOMPARE(out.internalLinks(3), QList<int>({4}));
        int webLinks = 0;
        QPDFObjectHandle annotations = out.pages[2].getKey("/Annots");
        for (int i = 0; i < annotations.getArrayNItems(); ++i) {
            QPDFObjectHandle action = annotations.getArrayItem(i).getKey("/A");
            if (action.isDictionary() && action.getKey("/URI").isString())
                ++webLinks;
        }
        QCOMPARE(webLinks, feature == QLatin1String("chained script") ? 2 : 1);
        // The original stays attached as it came.
        QCOMPARE(out.embeddedFiles().value(QStringLiteral("document 1.pdf")), hostile);
    }

    void refusesWhatCannotBeShown_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("reason");
        const QByteArray sample = MakeSamplePdf({{}, {}});
        QTest::newRow("user password") << Encrypted(sample, "user", "owner") << "the document needs a password";
        QTest::newRow("cut short") << sample.left(sample.size() / 2) << "the document is damaged";
        QTest::newRow("not a PDF") << QByteArray("%PDF-1.7\nnothing here\n") << "the document is damaged";
        QTest::newRow("no pages") << MakeSamplePdf({}) << "the document has no pages";
        QTest::newRow("nested too deeply") << DeeplyNestedDocument(5000) << "the document cannot be shown safely";
    }

    void refusesWhatCannotBeShown()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, reason);
        // Known before the page is rendered, so that the page can say why.
        const PdfDocumentCheck check = InspectPdfDocument(document);
        QVERIFY(!check.appendable);
        QCOMPARE(check.pages, 0);
        QVERIFY2(check.reason.startsWith(reason), qPrintable(check.reason));

        const QByteArray following = MakeSamplePdf({{}});
        QByteArray pdf = RenderedMessagePage();
        QList<PdfAppendOutcome> outcomes;
        QCOMPARE(AddRecordToPdf(pdf, RecordShowing({document, following}), &outcomes), QString());
        QCOMPARE(outcomes[0].pages, 0);
        QVERIFY2(outcomes[0].reason.startsWith(reason), qPrintable(outcomes[0].reason));
        QCOMPARE(outcomes[1].pages, 1); // the next document is appended all the same
        Opened out(pdf);
        QCOMPARE(out.pages.size(), size_t(3));
        QCOMPARE(out.embeddedFiles().value(QStringLiteral("document 1.pdf")), document);
        // The page's link to the refused document has nowhere to go and is gone; the
        // one to the next document leads to its page.
        QCOMPARE(out.internalLinks(1), QList<int>({3, 2}));
    }

    void appendsWhatOnlyAnOwnerPasswordRestricts()
    {
        const QByteArray restricted = Encrypted(MakeSamplePdf({{612, 792, 0, QStringLiteral("Restricted page")}}), "", "owner");
        const PdfDocumentCheck check = InspectPdfDocument(restricted);
        QVERIFY2(check.appendable, qPrintable(check.reason));
        QCOMPARE(check.pages, 1);
        QByteArray pdf = RenderedMessagePage();
        QCOMPARE(AddRecordToPdf(pdf, RecordShowing({restricted})), QString());
        Opened out(pdf);
        QVERIFY(!out.pdf->isEncrypted());
        QVERIFY(out.pageContent(3).contains("(Restricted page)"));
    }

    void limitsTheAppendedPages_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("cut");
        QTest::newRow("100,000 pages") << ManyPagesDocument(100000) << kAppendedPageLimit << kAppendedPageLimit << true;
        QTest::newRow("a smaller limit") << ManyPagesDocument(10) << 4 << 4 << true;
        QTest::newRow("within the limit") << ManyPagesDocument(10) << 10 << 10 << false;
        QTest::newRow("a tree that loops") << LoopingTreeDocument() << kAppendedPageLimit << 2 << false;
    }

    void limitsTheAppendedPages()
    {
        QFETCH(QByteArray, document);
        QFETCH(int, limit);
        QFETCH(int, pages);
        QFETCH(bool, cut);
        const PdfDocumentCheck check = InspectPdfDocument(document, limit);
        QCOMPARE(check.pages, pages);
        QCOMPARE(check.cut, cut);
        QVERIFY(check.appendable);

        // A second document finds the limit reached when the first took it all.
        PdfRecord record = RecordShowing({document, MakeSamplePdf({{}})});
        record.appendedPageLimit = limit;
        QByteArray pdf = RenderedMessagePage();
        QList<PdfAppendOutcome> outcomes;
        QCOMPARE(AddRecordToPdf(pdf, record, &outcomes), QString());
        QCOMPARE(outcomes[0].pages, pages);
        QCOMPARE(outcomes[0].cut, cut);
        const bool secondFits = pages < limit;
        QCOMPARE(outcomes[1].pages, secondFits ? 1 : 0);
        if (!secondFits)
            QVERIFY2(outcomes[1].reason.contains(QLatin1String("limit")), qPrintable(outcomes[1].reason));
        Opened out(pdf);
        QCOMPARE(out.pages.size(), size_t(2 + pages + (secondFits ? 1 : 0)));
        QCOMPARE(QPDFPageObjectHelper(out.pages.back()).getAttribute("/MediaBox", false).isArray(), true);
    }

    void bundlesMessagesWithContentsOutlineAndFiles()
    {
        QTemporaryDir dir;
        QList<PdfBundlePart> parts;
        QList<QByteArray> originals;
        // Three messages; two carry a file of the same name, the third one differing in case only.
        const QStringList attachmentNames = {"invoice.pdf", "invoice.pdf", "INVOICE.pdf"};
        for (int n = 1; n <= 3; ++n) {
            const QByteArray document = MakeSamplePdf({{612, 792, 0, QStringLiteral("Invoice of message %1").arg(n)}});
            PdfRecord record = RecordShowing({document});
            record.files[0].name = attachmentNames[n - 1];
            record.outlineTitle = QStringLiteral("2026-03-0%1 — message %1").arg(n);
            PdfEmbeddedFile message;
            message.name = QStringLiteral("message.eml");
            message.data = QByteArray("Subject: message ") + QByteArray::number(n) + "\r\n\r\n" + QByteArray(20000, 'x');
            message.linkTarget = QStringLiteral("larkspan-attachment:1");
            record.files.prepend(message);
            originals << message.data << document;
            QByteArray pdf = RenderedMessagePage();
            QCOMPARE(AddRecordToPdf(pdf, record), QString());
            const QString path = dir.filePath(QStringLiteral("part%1.pdf").arg(n));
            QCOMPARE(WriteFile(path, pdf), QString());
            QCOMPARE(CountPdfPages(path), 3);
            parts.append({path, record.outlineTitle});
        }
        // The contents: one page with a line per message, and one to a message there is not.
        RawPdf contents;
        const int catalog = contents.reserve();
        const int tree = contents.reserve();
        QByteArray links;
        for (int n : {1, 2, 3, 9})
            links += Ref(contents.add("<< /Type /Annot /Subtype /Link /Rect [40 " + QByteArray::number(700 - 20 * n) +
                                      " 300 " + QByteArray::number(714 - 20 * n) + "] /A << /S /URI /URI (larkspan-message:" +
                                      QByteArray::number(n) + ") >> >>")) +
                     " ";
        const int page = contents.add("<< /Type /Page /Parent " + Ref(tree) + " /MediaBox [0 0 595 842] /Contents " +
                                      Ref(contents.addStream({}, "")) + " /Annots [" + links + "] >>");
        contents.set(tree, "<< /Type /Pages /Kids [" + Ref(page) + "] /Count 1 >>");
        contents.set(catalog, "<< /Type /Catalog /Pages " + Ref(tree) + " >>");
        const QString contentsPath = dir.filePath(QStringLiteral("contents.pdf"));
        QCOMPARE(WriteFile(contentsPath, contents.finish(catalog)), QString());

        PdfBundleInfo info;
        info.title = QStringLiteral("Inbox, 2026-03-01 to 2026-03-03");
        info.author = QStringLiteral("Ada Example");
        info.keywords = QStringLiteral("hand-over");
        const QString target = dir.filePath(QStringLiteral("bundle.pdf"));
        QCOMPARE(WritePdfBundle(target, contentsPath, parts, info), QString());

        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        Opened out(file.readAll());
        QCOMPARE(out.pages.size(), size_t(1 + 3 * 3));
        QCOMPARE(out.internalLinks(1), QList<int>({2, 5, 8}));
        QCOMPARE(out.outline(),
                 QStringList({"2026-03-01 — message 1 -> 2", "  document 1.pdf -> 4", "2026-03-02 — message 2 -> 5",
                              "  document 1.pdf -> 7", "2026-03-03 — message 3 -> 8", "  document 1.pdf -> 10"}));
        // Each message's own links still lead within it: to its appended document and
        // to its heading.
        QCOMPARE(out.internalLinks(5), QList<int>({7, 6}));

        const QMap<QString, QByteArray> files = out.embeddedFiles();
        QCOMPARE(files.keys(), QStringList({"INVOICE (3).pdf", "invoice (2).pdf", "invoice.pdf", "message (2).eml",
                                            "message (3).eml", "message.eml"}));
        QCOMPARE(files.value(QStringLiteral("message.eml")), originals[0]);
        QCOMPARE(files.value(QStringLiteral("invoice.pdf")), originals[1]);
        QCOMPARE(files.value(QStringLiteral("message (2).eml")), originals[2]);
        QCOMPARE(files.value(QStringLiteral("invoice (2).pdf")), originals[3]);
        QCOMPARE(files.value(QStringLiteral("INVOICE (3).pdf")), originals[5]);
        QCOMPARE(out.pdf->getRoot().getKey("/AF").getArrayNItems(), 6);

        // The paperclip on each message's page opens that message's own file.
        for (int first : {2, 5, 8}) {
            QPDFObjectHandle annotations = out.pages[size_t(first - 1)].getKey("/Annots");
            QString opened;
            for (int i = 0; i < annotations.getArrayNItems(); ++i)
                if (annotations.getArrayItem(i).getKey("/Subtype").isNameAndEquals("/FileAttachment"))
                    opened = QString::fromStdString(QPDFFileSpecObjectHelper(annotations.getArrayItem(i).getKey("/FS")).getFilename());
            QCOMPARE(opened, first == 2 ? QStringLiteral("message.eml") : QStringLiteral("message (%1).eml").arg(first / 3 + 1));
        }

        QPDFObjectHandle written = out.pdf->getTrailer().getKey("/Info");
        QCOMPARE(QString::fromStdString(written.getKey("/Title").getUTF8Value()), info.title);
        QCOMPARE(QString::fromStdString(written.getKey("/Author").getUTF8Value()), info.author);
        QCOMPARE(QString::fromStdString(written.getKey("/Keywords").getUTF8Value()), info.keywords);
        QCOMPARE(ActiveContent(*out.pdf), QStringList());
    }

    void aBundleThatFailsLeavesTheTargetAsItWas_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a part is missing") << "missing part" << "message 2";
        QTest::newRow("the disk is full") << "full disk" << "could not be written";
        QTest::newRow("cancelled between messages") << "cancel at 2" << "cancelled";
        QTest::newRow("cancelled while writing") << "cancel at 4" << "cancelled";
    }

    void aBundleThatFailsLeavesTheTargetAsItWas()
    {
        QFETCH(QString, failure);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QTemporaryDir output;
        QList<PdfBundlePart> parts;
        for (int n = 1; n <= 3; ++n) {
            QByteArray pdf = RenderedMessagePage();
            PdfRecord record = RecordShowing({MakeSamplePdf({{}})});
            record.files[0].data = QByteArray(400000, char('a' + n)); // stored as it is: the bundle is large
            QCOMPARE(AddRecordToPdf(pdf, record), QString());
            parts.append({dir.filePath(QStringLiteral("part%1.pdf").arg(n)), QStringLiteral("message %1").arg(n)});
            QCOMPARE(WriteFile(parts.last().path, pdf), QString());
        }
        const QString contents = dir.filePath(QStringLiteral("contents.pdf"));
        QCOMPARE(WriteFile(contents, MakeSamplePdf({{}})), QString());
        const QString target = output.filePath(QStringLiteral("bundle.pdf"));
        QCOMPARE(WriteFile(target, "the bundle of an earlier run"), QString());

        QString problem;
        int calls = 0;
        if (failure.startsWith(QLatin1String("cancel at "))) {
            // Parts come first (one call each), then the writing (one call a megabyte).
            const int cancelAt = failure.mid(10).toInt();
            problem = WritePdfBundle(target, contents, parts, {}, [&] { return ++calls < cancelAt; });
            QCOMPARE(calls, cancelAt);
        } else if (failure == QLatin1String("missing part")) {
            QFile::remove(parts[1].path);
            problem = WritePdfBundle(target, contents, parts, {});
        } else {
            // Files this process writes may not grow past 300 KB: as if the disk were full.
            rlimit original{};
            getrlimit(RLIMIT_FSIZE, &original);
            rlimit small = original;
            small.rlim_cur = 600 * 1024;
            const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &small);
            problem = WritePdfBundle(target, contents, parts, {});
            setrlimit(RLIMIT_FSIZE, &original);
            std::signal(SIGXFSZ, previousHandler);
        }
        QVERIFY2(problem.contains(reason), qPrintable(problem));
        QFile kept(target);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("the bundle of an earlier run"));
        QCOMPARE(QDir(output.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList({"bundle.pdf"}));
    }

    void countsPages_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("pages");
        QTest::newRow("three pages") << MakeSamplePdf({{}, {}, {}}) << 3;
        QTest::newRow("a tree that loops") << LoopingTreeDocument() << 2;
        QTest::newRow("not a PDF") << QByteArray("no PDF at all") << -1;
    }

    void countsPages()
    {
        QFETCH(QByteArray, document);
        QFETCH(int, pages);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("count.pdf"));
        QCOMPARE(WriteFile(path, document), QString());
        QString problem;
        QCOMPARE(CountPdfPages(path, &problem), pages);
        QCOMPARE(problem.isEmpty(), pages >= 0);
    }
};

LARKSPAN_GUILESS_TEST_MAIN(PdfAssemblyTest)
#include "tst_pdfassembly.moc"
