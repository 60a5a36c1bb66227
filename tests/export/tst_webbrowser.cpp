// The browser wrapper: page files with any extension shown as HTML, the ready state of
// the latest navigation, printing to the default printer, the shared page layout, and
// remote content refused while blocked.

#include "support/WidgetTestMain.h"
#include "ExportFixture.h"

#include "platform/web/PdfWriter.h"
#include "platform/core/SettingsStore.h"
#include "platform/widgets/WebBrowser.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebEnginePage>

using namespace larkspan;
using namespace larkspan::test;

namespace {

QString WriteFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

QString PlainText(WebBrowser &browser)
{
    QString text;
    bool done = false;
    browser.page()->toPlainText([&](const QString &t) {
        text = t;
        done = true;
    });
    [&] { QTRY_VERIFY_WITH_TIMEOUT(done, 30000); }();
    return text;
}

QString PrintToPdf(WebBrowser &browser, const QString &path, bool *ok)
{
    IniStore store = PdfWriter::store();
    store.write(PdfWriter::outputFileKey(), path);
    store.write(PdfWriter::bypassSaveAsKey(), QStringLiteral("1"));
    QSignalSpy finished(&browser, &WebBrowser::printFinished);
    *ok = browser.printWithoutPrompt();
    if (!*ok)
        return QStringLiteral("print command refused");
    if (!finished.wait(60000)) {
        *ok = false;
        return QStringLiteral("no end");
    }
    *ok = finished.first().at(0).toBool();
    return finished.first().at(2).toString();
}

// Answers every HTTP request on loopback with a small PNG and counts them.
class ImageServer : public QTcpServer {
public:
    int requests = 0;
    QByteArray image;
    ImageServer()
    {
        QFile png(QCoreApplication::applicationDirPath() + QStringLiteral("/ipad-yahoo-mail.png"));
        if (png.open(QIODevice::ReadOnly))
            image = png.readAll();
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    ++requests;
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\nContent-Length: "
                                  + QByteArray::number(image.size()) + "\r\n\r\n" + image);
                    socket->disconnectFromHost();
                });
            }
        });
    }
};

} // namespace

class WebBrowserTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { UsePdfWriterAsDefaultPrinter(); }

    void tmpPageFileIsShownAsHtmlWithItsNeighbouringImage()
    {
        QTemporaryDir dir;
        QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/ipad-yahoo-mail.png"),
                    dir.filePath(QStringLiteral("ipad-yahoo-mail.png")));
        const QString page = WriteFile(dir.filePath(QStringLiteral("tmp.tmp")),
                                       "<!DOCTYPE html><html><body><h1>Heron <b>count</b></h1>"
                                       "<img src=\"ipad-yahoo-mail.png\"></body></html>");
        WebBrowser browser;
        browser.setSilent(true);
        QCOMPARE(browser.readyState(), 0);
        QCOMPARE(browser.queryStatusPrint(), 1);
        browser.navigate(page);
        QVERIFY(browser.busy());
        QCOMPARE(browser.queryStatusPrint(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(browser.readyState(), 4, 30000);
        QVERIFY(!browser.busy());
        QCOMPARE(browser.queryStatusPrint(), int(WebBrowser::PrintReady));
        // Rendered markup, not the source shown as text.
        QCOMPARE(PlainText(browser).trimmed(), QStringLiteral("Heron count"));

        // The relative image came from beside the page file: the PDF holds it.
        bool ok = false;
        const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
        const QString error = PrintToPdf(browser, pdf, &ok);
        QVERIFY2(ok, qPrintable(error));
        QProcess images;
        images.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
        QVERIFY(images.waitForFinished(30000));
        const QStringList rows = QString::fromUtf8(images.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(rows.size() >= 3, qPrintable(rows.join(QLatin1Char('\n')))); // two header lines, then the image
    }

    void otherLocalFilesStayOutOfThePage()
    {
        QTemporaryDir dir;
        WriteFile(dir.filePath(QStringLiteral("errorlog.txt")), "SECRET-LINE from the diagnostic log");
        const QString page = WriteFile(dir.filePath(QStringLiteral("tmp.tmp")),
                                       "<p>visible words</p><iframe src=\"errorlog.txt\" width=600 height=200></iframe>"
                                       "<iframe src=\"/etc/hostname\"></iframe>");
        WebBrowser browser;
        browser.navigate(page);
        QTRY_COMPARE_WITH_TIMEOUT(browser.readyState(), 4, 30000);
        bool ok = false;
        const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
        const QString error = PrintToPdf(browser, pdf, &ok);
        QVERIFY2(ok, qPrintable(error));
        const QString text = PdfText(pdf);
        QVERIFY2(text.contains(QStringLiteral("visible words")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("SECRET-LINE")), qPrintable(text));
    }

    void readyStateWaitsForTheLatestNavigation()
    {
        QTemporaryDir dir;
        const QString first = WriteFile(dir.filePath(QStringLiteral("one page.tmp")), "<p>first</p>");
        const QString second = WriteFile(dir.filePath(QStringLiteral("two.tmp")), "<p>second</p>");
        WebBrowser browser;
        browser.navigate(first);
        QTRY_COMPARE_WITH_TIMEOUT(browser.readyState(), 4, 30000);
        browser.navigate(QStringLiteral("about:blank"));
        browser.navigate(second);
        // Right after the call the previous document no longer counts as complete.
        QCOMPARE(browser.readyState(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(browser.readyState(), 4, 30000);
        QCOMPARE(PlainText(browser).trimmed(), QStringLiteral("second"));
        QCOMPARE(browser.location(), second);
    }

    void printsWithTheSharedLayoutAndReportsFailures()
    {
        QTemporaryDir dir;
        const QString page = WriteFile(dir.filePath(QStringLiteral("tmp.tmp")), "<p>Paper size check</p>");
        const QPageLayout saved = WebBrowser::sharedPageLayout();
        WebBrowser::setSharedPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10)));
        WebBrowser browser;
        browser.navigate(page);
        QTRY_COMPARE_WITH_TIMEOUT(browser.readyState(), 4, 30000);
        bool ok = false;
        const QString letter = dir.filePath(QStringLiteral("letter.pdf"));
        QString error = PrintToPdf(browser, letter, &ok);
        QVERIFY2(ok, qPrintable(error));
        QVERIFY2(PdfInfo(letter).contains(QStringLiteral("612 x 792")), qPrintable(PdfInfo(letter)));

        WebBrowser::setSharedPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10)));
        const QString a4 = dir.filePath(QStringLiteral("a4.pdf"));
        error = PrintToPdf(browser, a4, &ok);
        QVERIFY2(ok, qPrintable(error));
        QVERIFY2(PdfInfo(a4).contains(QStringLiteral("(A4)")), qPrintable(PdfInfo(a4)));
        WebBrowser::setSharedPageLayout(saved);

        // A folder that does not exist: the failure reaches the caller with its reason.
        error = PrintToPdf(browser, dir.filePath(QStringLiteral("gone/x.pdf")), &ok);
        QVERIFY(!ok);
        QVERIFY2(error.contains(QStringLiteral("does not exist")), qPrintable(error));

        // No default printer: a failure, not a silent nothing.
        Printers().replacePrinters({PdfWriterDeviceName()}, QString());
        error = PrintToPdf(browser, dir.filePath(QStringLiteral("none.pdf")), &ok);
        Printers().useSystemPrinters();
        UsePdfWriterAsDefaultPrinter();
        QVERIFY(!ok);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("none.pdf"))));
    }

    void paperFollowsTheLocale()
    {
        QCOMPARE(WebBrowser::paperSizeFor(QLocale::UnitedStates), QPageSize::Letter);
        QCOMPARE(WebBrowser::paperSizeFor(QLocale::Canada), QPageSize::Letter);
        QCOMPARE(WebBrowser::paperSizeFor(QLocale::Germany), QPageSize::A4);
        QCOMPARE(WebBrowser::paperSizeFor(QLocale::UnitedKingdom), QPageSize::A4);
    }

    void loopbackHostsOnly()
    {
        QVERIFY(IsLoopbackHost(QStringLiteral("127.0.0.1")));
        QVERIFY(IsLoopbackHost(QStringLiteral("127.8.9.10")));
        QVERIFY(IsLoopbackHost(QStringLiteral("[::1]")));
        QVERIFY(IsLoopbackHost(QStringLiteral("LocalHost")));
        QVERIFY(!IsLoopbackHost(QStringLiteral("192.0.2.10")));
        QVERIFY(!IsLoopbackHost(QStringLiteral("localhost.example.org")));
        QVERIFY(!IsLoopbackHost(QStringLiteral("10.0.0.1")));
    }

    void remoteImagesAreRefusedWhileLoopbackLoads()
    {
        QCOMPARE(qEnvironmentVariable("LARKSPAN_REMOTE_CONTENT"), QStringLiteral("block"));
        ImageServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QTemporaryDir dir;
        // The remote address is from a documentation range and the request is refused
        // before anything is sent; the loopback one must arrive.
        const QByteArray html = "<p>images</p><img src=\"http://127.0.0.1:" + QByteArray::number(server.serverPort())
                                + "/local.png\"><img src=\"http://192.0.2.10/remote.png\">";
        const QString page = WriteFile(dir.filePath(QStringLiteral("tmp.tmp")), html);
        WebBrowser browser;
        browser.navigate(page);
        QTRY_COMPARE_WITH_TIMEOUT(browser.readyState(), 4, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(server.requests, 1, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(WebBrowser::blockedRemoteLoads() >= 1, 30000);
    }
};

LARKSPAN_TEST_MAIN(WebBrowserTest)
#include "tst_webbrowser.moc"
