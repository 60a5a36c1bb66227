// "Export All To PDF" through the real export window, offscreen, on a mix of 200
// messages (plain text, HTML with inline images, long bodies of several pages), for
// both export options; beside it a bare loop of one web page printing the same
// pages. Every PDF's text is read back with pdftotext.
//
//   bench_export [messages]     (default 200)

#include "support/TestEnvironment.h"

#include "export/Form3.h"
#include "mail/OleDate.h"
#include "messagelist/MainWindowContext.h"
#include "messagelist/MessageRecord.h"
#include "platform/PdfWriterName.h"
#include "platform/PrinterRegistry.h"
#include "platform/ProgramFolder.h"
#include "platform/WebBrowser.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QSaveFile>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdio>

using namespace larkspan;

namespace {

QString InlineImage(int seed)
{
    QImage image(320, 120, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 320, 120);
    gradient.setColorAt(0, QColor::fromHsv((seed * 37) % 360, 160, 230));
    gradient.setColorAt(1, QColor::fromHsv((seed * 91) % 360, 200, 120));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Chart %1").arg(seed));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

// Message i: its subject, and a word that must come out in the PDF's text.
MessageRecord MakeMessage(int i, QString *marker)
{
    const QString subject = QStringLiteral("Bench message %1").arg(i);
    *marker = QStringLiteral("marker%1x").arg(i);
    QString plain;
    QString html;
    switch (i % 3) {
    case 0: // short text only
        plain = QStringLiteral("Hello,\n\nThe figures are in: %1.\n\nRegards,\nAda").arg(*marker);
        break;
    case 1: // HTML with inline images; the text version is short
        plain = QStringLiteral("Figures attached %1").arg(*marker);
        html = QStringLiteral("<div style=\"width:900px\"><h2>Monthly figures</h2><p>%1</p><img src=\"%2\"><p>and</p>"
                              "<img src=\"%3\"><table border=1><tr><td>north</td><td>12</td></tr><tr><td>south</td>"
                              "<td>7</td></tr></table></div>")
                   .arg(*marker, InlineImage(i), InlineImage(i + 1));
        break;
    default: { // long body of several pages
        QStringList lines;
        for (int l = 0; l < 260; ++l)
            lines << QStringLiteral("Line %1 of a long report about the heron census on the river weir.").arg(l);
        lines.insert(130, *marker);
        plain = lines.join(QLatin1Char('\n'));
        html = QStringLiteral("<p>") + lines.join(QStringLiteral("</p><p>")) + QStringLiteral("</p>");
        break;
    }
    }
    return MessageRecord(QStringLiteral("Ada Bench <ada@example.org>"), QStringLiteral("Ada Bench"),
                         QStringLiteral("ada@example.org"), subject,
                         OleDateToGeneralText(ToOleDate(QDateTime(QDate(2026, 12, 1), QTime(9, 30)))), plain, html);
}

qint64 PeakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

bool TextHolds(const QString &pdf, const QStringList &needles)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(60000) || pdftotext.exitCode() != 0)
        return false;
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    for (const QString &needle : needles)
        if (!text.contains(needle))
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    test::PrepareTestEnvironment();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    test::InstallRecordingDialogs();
    Printers().setDefaultPrinter(PdfWriterDeviceName());

    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 200;
    QStringList markers;
    SelectedRecords.redim(0);
    for (int i = 1; i <= count; ++i) {
        QString marker;
        SelectedRecords.append(MakeMessage(i, &marker));
        markers << marker;
    }

    QWidget mainWindow;
    MainWindowContext ctx;
    ctx.window = &mainWindow;
    ctx.Text1 = new QLineEdit(QStringLiteral("bench@example.org"), &mainWindow);
    Form3 form(ctx);
    form.Form_Load();
    form.Text1->setText(QStringLiteral("<Count> <Subject>"));
    form.show();

    // The pages both options print, made by the export window itself.
    QList<QString> pages;
    for (const bool asHtml : {true, false}) {
        form.PrintAsHTML = asHtml;
        for (int i = 1; i <= count; ++i) {
            form.CurrentIndex = i;
            form.CreateHTMLFile();
            QFile page(form.HTMLFilePath);
            page.open(QIODevice::ReadOnly);
            pages << QString::fromUtf8(page.readAll());
        }
    }
    form.CurrentIndex = 1;

    // Bare loop: one persistent page loads each page as an .html file beside the
    // template's image and prints it to a file, with nothing of ours in between.
    const QString bareFolder = test::TestScratchFolder() + QStringLiteral("/out-bare/");
    const QString pageFolder = bareFolder + QStringLiteral("pages/");
    QDir().mkpath(pageFolder);
    QFile::copy(ProgramFile(QStringLiteral("ipad-yahoo-mail.png")), pageFolder + QStringLiteral("ipad-yahoo-mail.png"));
    for (int i = 0; i < pages.size(); ++i) {
        QFile file(pageFolder + QStringLiteral("%1.html").arg(i));
        file.open(QIODevice::WriteOnly);
        file.write(pages[i].toUtf8());
    }
    QWebEngineProfile profile;
    QWebEnginePage page(&profile);
    page.settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    // Hosted like the export's printing browser: a view that is never shown. A page
    // without any view loaded and printed markedly slower here.
    QWebEngineView host;
    host.setPage(&page);
    host.resize(800, 1000);
    int bareMade = 0;
    QElapsedTimer bareTimer;
    bareTimer.start();
    for (int i = 0; i < pages.size(); ++i) {
        QEventLoop loop;
        auto loaded = QObject::connect(&page, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
        page.load(QUrl::fromLocalFile(pageFolder + QStringLiteral("%1.html").arg(i)));
        loop.exec();
        QObject::disconnect(loaded);
        QByteArray pdf;
        page.printToPdf(
            [&](const QByteArray &data) {
                pdf = data;
                loop.quit();
            },
            WebBrowser::sharedPageLayout());
        loop.exec();
        QSaveFile out(bareFolder + QStringLiteral("%1.pdf").arg(i));
        if (!pdf.isEmpty() && out.open(QIODevice::WriteOnly) && out.write(pdf) == pdf.size() && out.commit())
            ++bareMade;
    }
    const double bareSeconds = bareTimer.nsecsElapsed() / 1e9;

    int made = 0;
    int checked = 0;
    double exportSeconds = 0;
    for (const bool asHtml : {true, false}) {
        const QString folder = test::TestScratchFolder() + (asHtml ? QStringLiteral("/out-html/") : QStringLiteral("/out-text/"));
        QDir().mkpath(folder);
        form.txtBackupPath->setText(folder);
        form.PrintAsHTML = asHtml;
        test::Recorded().clear();
        QElapsedTimer timer;
        timer.start();
        form.PushButton2->click();
        const double seconds = timer.nsecsElapsed() / 1e9;
        exportSeconds += seconds;
        const QStringList messages = test::Recorded().messages();
        int files = 0;
        for (int i = 1; i <= count; ++i) {
            const QString pdf = folder + QStringLiteral("%1 Bench message %1.pdf").arg(i);
            if (!QFileInfo::exists(pdf))
                continue;
            ++files;
            if (TextHolds(pdf, {QStringLiteral("Bench message %1").arg(i), markers[i - 1]}))
                ++checked;
        }
        made += files;
        std::printf("export (%s): %d PDFs in %.2f s, %.2f PDF/s, end message \"%s\"\n", asHtml ? "as in browser" : "text only",
                    files, seconds, files / seconds, qPrintable(messages.join(QStringLiteral(" | ")).replace(QLatin1Char('\r'), QLatin1Char(' '))));
        std::fflush(stdout);

    }


    const double rate = made / exportSeconds;
    const double bareRate = bareMade / bareSeconds;
    std::printf("bare loop: %d PDFs in %.2f s; peak memory of this process %lld MB (renderer processes not counted)\n", bareMade,
                bareSeconds, PeakRssKb() / 1024);
    std::printf("export: %d PDFs, %.2f PDF/s, bare loop %.2f PDF/s, ratio %.2f, texts checked %d/%d\n", made, rate, bareRate,
                rate / bareRate, checked, made);
    host.setPage(nullptr);
    return 0;
}
