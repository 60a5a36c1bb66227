// The PDF assembly on its own, each measured in a process of its own so that its peak
// memory is its own (the web engine and the making of the inputs stay outside):
//   - a bundle of many messages: every part a record as an export makes it (a page
//     rendered by the web engine, its .eml of ~20 KB and one PDF attachment, appended
//     and embedded), the contents rendered too;
//   - appending a PDF of 100,000 pages (the page limit applies);
//   - appending a PDF of ~50 MB.
// Prints time and peak resident memory of each, and the time of rendering and
// recording one message, the cost the bundle is compared with.
//
//   bench_pdfassembly [messages] [folder]     (default 2000; a temporary folder)
//   bench_pdfassembly --bundle <folder> <messages> <ms a message> <ms of the contents>
//                                         (the bundle alone, of the parts a run left in folder)

#include "support/PdfSamples.h"
#include "support/TestEnvironment.h"

#include "platform/core/PdfBundle.h"
#include "platform/core/PdfRecord.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineSettings>

#include <cstdio>
#include <sys/resource.h>

using namespace larkspan;
using namespace larkspan::test;

namespace {

long PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Render(QWebEnginePage &page, const QString &html)
{
    QEventLoop loop;
    QObject::connect(&page, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
    page.setHtml(html, QUrl(QStringLiteral("file:///message.html")));
    loop.exec();
    QByteArray pdf;
    page.printToPdf(
        [&](const QByteArray &result) {
            pdf = result;
            loop.quit();
        },
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10)));
    loop.exec();
    return pdf;
}

QString MessageHtml(int n)
{
    QString body;
    for (int i = 0; i < 45; ++i)
        body += QStringLiteral("<p>Line %1 of message %2: the figures for the quarter, as discussed.</p>").arg(i).arg(n);
    return QStringLiteral("<html><body><h1>Quarterly figures %1</h1><p>From: a@example.org</p>"
                          "<p>Attachments: <a href=\"larkspan-attachment:1\">message.eml</a>, "
                          "<a href=\"larkspan-shown:2\">invoice.pdf</a></p>%2</body></html>")
        .arg(n)
        .arg(body);
}

PdfRecord RecordFor(int n, const QByteArray &invoice)
{
    PdfRecord record;
    record.title = QStringLiteral("Quarterly figures %1").arg(n);
    record.outlineTitle = QStringLiteral("2026-03-10 — ") + record.title;
    PdfEmbeddedFile message;
    message.name = QStringLiteral("message.eml");
    message.mimeType = QStringLiteral("message/rfc822");
    QByteArray eml = "Subject: Quarterly figures " + QByteArray::number(n) + "\r\n\r\n";
    while (eml.size() < 20000)
        eml += "The figures for the quarter, line " + QByteArray::number(eml.size()) + ".\r\n";
    message.data = eml;
    message.linkTarget = QStringLiteral("larkspan-attachment:1");
    PdfEmbeddedFile attachment;
    attachment.name = QStringLiteral("invoice.pdf");
    attachment.mimeType = QStringLiteral("application/pdf");
    attachment.data = invoice;
    record.files = {message, attachment};
    record.shown.append({QStringLiteral("invoice.pdf"), QString(), invoice, QStringLiteral("larkspan-shown:2")});
    return record;
}

// Child: the bundle of the parts in folder.
int BundleChild(const QString &folder, int count, double perMessageMs, double contentsMs)
{
    QList<PdfBundlePart> parts;
    for (int n = 1; n <= count; ++n)
        parts.append({QDir(folder).filePath(QStringLiteral("part%1.pdf").arg(n)),
                      QStringLiteral("2026-03-10 — Quarterly figures %1").arg(n)});
    QElapsedTimer timer;
    timer.start();
    const QString problem = WritePdfBundle(QDir(folder).filePath(QStringLiteral("bundle.pdf")),
                                           QDir(folder).filePath(QStringLiteral("contents.pdf")), parts,
                                           {QStringLiteral("Inbox"), {}, {}, {}, {}});
    const double bundleMs = double(timer.elapsed());
    const double separately = perMessageMs * count;
    std::printf("bundle of %d messages: %.0f ms, peak %ld MB, %s, %lld bytes; one PDF each %.0f ms, "
                "bundle with contents %.0f ms: %.2fx\n",
                count, bundleMs, PeakMegabytes(), problem.isEmpty() ? "written" : qPrintable(problem),
                QFileInfo(QDir(folder).filePath(QStringLiteral("bundle.pdf"))).size(), separately,
                separately + contentsMs + bundleMs, (separately + contentsMs + bundleMs) / separately);
    return problem.isEmpty() ? 0 : 1;
}

// Child: one document appended to a rendered page.
int AppendChild(const QString &folder, const QString &which)
{
    QByteArray document;
    if (which == QLatin1String("many")) {
        RawPdf pdf;
        const int catalog = pdf.reserve();
        const int tree = pdf.reserve();
        const int content = pdf.addStream({}, TextContent(QStringLiteral("One of many")));
        QByteArray nodes;
        for (int start = 0; start < 100000; start += 1000) {
            const int node = pdf.reserve();
            QByteArray kids;
            for (int i = 0; i < 1000; ++i)
                kids += Ref(pdf.add("<< /Type /Page /Parent " + Ref(node) + " /Contents " + Ref(content) + " >>")) + " ";
            pdf.set(node, "<< /Type /Pages /Parent " + Ref(tree) + " /Kids [" + kids + "] /Count 1000 >>");
            nodes += Ref(node) + " ";
        }
        pdf.set(tree, "<< /Type /Pages /Kids [" + nodes + "] /Count 100000 /MediaBox [0 0 612 792] >>");
        pdf.set(catalog, "<< /Type /Catalog /Pages " + Ref(tree) + " >>");
        document = pdf.finish(catalog);
    } else {
        // 200 pages, each drawing a picture of its own of 256 KB.
        RawPdf pdf;
        const int catalog = pdf.reserve();
        const int tree = pdf.reserve();
        QByteArray kids;
        QByteArray pixels(256 * 1024, Qt::Uninitialized);
        for (int i = 0; i < 200; ++i) {
            QRandomGenerator(quint32(i)).fillRange(reinterpret_cast<quint32 *>(pixels.data()), pixels.size() / 4);
            const int image = pdf.addStream("/Type /XObject /Subtype /Image /Width 512 /Height 512 /ColorSpace /DeviceGray "
                                            "/BitsPerComponent 8",
                                            pixels);
            const int content = pdf.addStream({}, "q 500 0 0 500 50 150 cm /Im0 Do Q");
            kids += Ref(pdf.add("<< /Type /Page /Parent " + Ref(tree) + " /MediaBox [0 0 612 792] /Resources << /XObject << /Im0 " +
                                Ref(image) + " >> >> /Contents " + Ref(content) + " >>")) +
                    " ";
        }
        pdf.set(tree, "<< /Type /Pages /Kids [" + kids + "] /Count 200 >>");
        pdf.set(catalog, "<< /Type /Catalog /Pages " + Ref(tree) + " >>");
        document = pdf.finish(catalog);
    }
    QFile page(QDir(folder).filePath(QStringLiteral("part1.pdf")));
    if (!page.open(QIODevice::ReadOnly))
        return 1;
    QByteArray pdf = page.readAll();
    PdfRecord record = RecordFor(1, document);
    const long before = PeakMegabytes();
    QElapsedTimer timer;
    timer.start();
    const PdfDocumentCheck check = InspectPdfDocument(document);
    const qint64 inspected = timer.elapsed();
    QList<PdfAppendOutcome> outcomes;
    const QString problem = AddRecordToPdf(pdf, record, &outcomes);
    std::printf("append %s (%lld MB): inspect %lld ms (%d pages%s), record %lld ms, %d pages appended%s, "
                "peak %ld MB (%ld MB before), output %lld MB %s\n",
                which == QLatin1String("many") ? "100,000 pages" : "200 large pages", qint64(document.size() >> 20),
                inspected, check.pages, check.cut ? ", cut" : "", timer.elapsed() - inspected, outcomes.value(0).pages,
                outcomes.value(0).cut ? ", cut" : "", PeakMegabytes(), before, qint64(pdf.size() >> 20),
                qPrintable(problem));
    return problem.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 6 && qstrcmp(argv[1], "--bundle") == 0) {
        QCoreApplication app(argc, argv);
        return BundleChild(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt(), QByteArray(argv[4]).toDouble(),
                           QByteArray(argv[5]).toDouble());
    }
    if (argc >= 4 && qstrcmp(argv[1], "--append") == 0) {
        QCoreApplication app(argc, argv);
        return AppendChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }

    PrepareTestEnvironment();
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 2000;
    QTemporaryDir temporary; // owner-only, removed at the end
    const QString folderPath = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    QWebEnginePage page;
    page.settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);

    const QByteArray invoice = MakeSamplePdf({{612, 792, 0, QStringLiteral("Invoice")}});
    // Rendering and recording one message, as an export of one PDF each does.
    QElapsedTimer timer;
    timer.start();
    const int sampled = std::min(count, 40);
    QByteArray rendered;
    for (int n = 1; n <= sampled; ++n)
        rendered = Render(page, MessageHtml(n));
    const double renderMs = double(timer.elapsed()) / sampled;
    timer.restart();
    for (int n = 1; n <= count; ++n) {
        QByteArray pdf = rendered;
        const QString problem = AddRecordToPdf(pdf, RecordFor(n, invoice));
        if (!problem.isEmpty() || !WriteFile(QDir(folderPath).filePath(QStringLiteral("part%1.pdf").arg(n)), pdf)) {
            std::printf("part %d failed: %s\n", n, qPrintable(problem));
            return 1;
        }
    }
    const double recordMs = double(timer.elapsed()) / count;
    QString contents;
    for (int n = 1; n <= count; ++n)
        contents += QStringLiteral("<p><a href=\"larkspan-message:%1\">2026-03-10 — Quarterly figures %1</a> ....... %2</p>")
                        .arg(n)
                        .arg(2 + 3 * n);
    timer.restart();
    const QByteArray contentsPdf = Render(page, QStringLiteral("<html><body><h1>Contents</h1>%1</body></html>").arg(contents));
    const qint64 contentsMs = timer.elapsed();
    WriteFile(QDir(folderPath).filePath(QStringLiteral("contents.pdf")), contentsPdf);
    std::printf("one message: rendered in %.1f ms, recorded and written in %.1f ms; contents of %d lines rendered in %lld ms\n",
                renderMs, recordMs, count, contentsMs);

    auto child = [&](const QStringList &arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QCoreApplication::applicationFilePath(), arguments);
        process.waitForFinished(-1);
        return process.exitCode();
    };
    const int bundled = child({QStringLiteral("--bundle"), folderPath, QString::number(count),
                               QString::number(renderMs + recordMs), QString::number(contentsMs)});
    child({QStringLiteral("--append"), folderPath, QStringLiteral("many")});
    child({QStringLiteral("--append"), folderPath, QStringLiteral("large")});
    return bundled;
}
