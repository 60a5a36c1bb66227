// The message page: placeholders in their order, escaped header values, plain and
// HTML bodies, the image copied once, the page file in TEMP.

#include "support/WidgetTestMain.h"
#include "ExportFixture.h"

#include "platform/core/ProgramFolder.h"
#include "platform/widgets/WebBrowser.h"

#include <QPushButton>
#include <QWebEnginePage>

using namespace larkspan;
using namespace larkspan::test;

class ExportPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_main;
    QPointer<Form3> m_form;

    QString page(const MessageRecord &record, bool asHtml)
    {
        GiveRecords(*m_form, {record});
        m_form->PrintAsHTML = asHtml;
        m_form->CreateHTMLFile();
        QFile file(m_form->HTMLFilePath);
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    }

    QString shownText()
    {
        m_form->Navigate();
        WebBrowser *browser = m_form->WebBrowser1;
        [&] { QTRY_COMPARE_WITH_TIMEOUT(browser->readyState(), 4, 30000); }();
        QString text;
        bool done = false;
        browser->page()->toPlainText([&](const QString &t) {
            text = t;
            done = true;
        });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(done, 30000); }();
        return text;
    }

private slots:
    void init()
    {
        Recorded().clear();
        m_main = std::make_unique<MainWindowFixture>();
        m_form = new Form3(m_main->ctx);
    }

    void cleanup()
    {
        delete m_form;
        m_main.reset();
    }

    void pageFileLiesInTempAndHeaderValuesStayText()
    {
        const QString html = page(MakeRecord(QStringLiteral("<b>Rates</b> & \"fees\""), QStringLiteral("Body text")), true);
        QCOMPARE(m_form->HTMLFilePath, TempFolder() + QStringLiteral("/tmp.tmp"));
        QVERIFY(html.contains(QStringLiteral("&lt;b&gt;Rates&lt;/b&gt; &amp; &quot;fees&quot;")));
        QVERIFY(!html.contains(QStringLiteral("<b>Rates</b>")));
        QVERIFY(!html.contains(QLatin1Char('%') + QStringLiteral("Subject%")));
        const QString shown = shownText();
        QVERIFY2(shown.contains(QStringLiteral("<b>Rates</b> & \"fees\"")), qPrintable(shown));
        QVERIFY(shown.contains(QStringLiteral("Ada Example <ada@example.org>")));
        QVERIFY(shown.contains(m_form->Records(1).receivedDate()));
    }

    void plainBodiesAreEscapedAndKeepTheirLines()
    {
        page(MakeRecord(QStringLiteral("s"), QStringLiteral("line one\r\nline <two>\n\n    indented & four")), false);
        const QString shown = shownText();
        QVERIFY2(shown.contains(QStringLiteral("line one\nline <two>\n\n    indented & four")), qPrintable(shown));
    }

    void whichBodyIsUsed()
    {
        const QString plain = QStringLiteral("plain words");
        const QString htmlBody = QStringLiteral("<p id=\"mail\">Hello <i>there</i></p>");
        QVERIFY(page(MakeRecord(QStringLiteral("s"), plain, htmlBody), true).contains(htmlBody));
        // As text-only, the HTML body is never used, even when there is no plain body.
        QString text = page(MakeRecord(QStringLiteral("s"), plain, htmlBody), false);
        QVERIFY(text.contains(plain) && !text.contains(QStringLiteral("id=\"mail\"")));
        text = page(MakeRecord(QStringLiteral("s"), QString(), htmlBody), false);
        QVERIFY(!text.contains(QStringLiteral("id=\"mail\"")) && !text.contains(QStringLiteral("&lt;p")));
        // Without an HTML body the plain one stands in.
        QVERIFY(page(MakeRecord(QStringLiteral("s"), plain, QString()), true).contains(plain));
    }

    void placeholdersAreReplacedInTheirOrder()
    {
        // A later placeholder inside an earlier value is filled; an earlier one stays.
        MessageRecord record = MakeRecord(QStringLiteral("See %Message% and %Name%"), QStringLiteral("BODY-TEXT"), QString(),
                                          QStringLiteral("Sender %Subject%"));
        const QString html = page(record, true);
        QVERIFY(html.contains(QStringLiteral("See <div class=\"plain-text\"")));
        QVERIFY(html.contains(QStringLiteral("and %Name%")));
        QVERIFY(html.contains(QStringLiteral("Sender See ")));
        QCOMPARE(html.count(QStringLiteral("BODY-TEXT")), 3 + 1); // title, subject line, sender line, body
    }

    void recipientAndAttachmentLines_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("cc");
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::addColumn<QString>("expected");
        const QString to = QStringLiteral("<p class=\"line\"><span class=\"label\">To</span>Ann &lt;ann@x&gt;</p>");
        QTest::newRow("none: the template as before") << "s" << "" << "" << QList<qint64>{} << "[s]ABCD";
        QTest::newRow("to only, escaped") << "s" << "Ann <ann@x>" << "" << QList<qint64>{} << "[s]A" + to + "BCD";
        QTest::newRow("a value never fills a later placeholder")
            << "%To% %Cc%" << "Ann <ann@x>" << "" << QList<qint64>{} << "[%To% %Cc%]A" + to + "BCD";
        QTest::newRow("attachments with readable sizes")
            << "s" << "" << "" << QList<qint64>{1, 1536, 1572864}
            << "[s]ABC<div class=\"line\"><span class=\"label\">Attachments</span><span class=\"values\">"
               "<span class=\"attachment\"><a href=\"larkspan-attachment:1\">&lt;0&gt;.txt</a> <span class=\"address\">(text/plain, 1 byte)</span></span><br>"
               "<span class=\"attachment\"><a href=\"larkspan-attachment:2\">&lt;1&gt;.txt</a> <span class=\"address\">(text/plain, 2 KB)</span></span><br>"
               "<span class=\"attachment\"><a href=\"larkspan-attachment:3\">&lt;2&gt;.txt</a> <span class=\"address\">(text/plain, 1.5 MB)</span></span>"
               "</span></div>D";
    }

    void recipientAndAttachmentLines()
    {
        QFETCH(QString, subject);
        QFETCH(QString, to);
        QFETCH(QString, cc);
        QFETCH(QList<qint64>, sizes);
        QFETCH(QString, expected);
        MessageBodies details;
        details.to = to;
        details.cc = cc;
        for (int i = 0; i < sizes.size(); ++i)
            details.attachments.append({QStringLiteral("<%1>.txt").arg(i), QStringLiteral("text/plain"), {}, sizes[i], {}});
        const QString filled = FillPageTemplate(QStringLiteral("[%Subject%]A%To%B%Cc%C%Attachments%D"),
                                                MakeRecord(subject, QStringLiteral("body")),
                                                ComposePageContent(details, PageOptions{true}));
        QCOMPARE(filled, expected);
    }

    void anUnwritablePageFileIsReportedAndThePreviewShowsNoOtherMessage()
    {
        GiveRecords(*m_form, {MakeRecord(QStringLiteral("first page"), QStringLiteral("one")),
                              MakeRecord(QStringLiteral("second page"), QStringLiteral("two"))});
        m_form->CreateHTMLFile();
        QVERIFY(shownText().contains(QStringLiteral("first page")));
        // The page file's place is taken by a folder: writing it fails.
        const QString pageFile = m_form->HTMLFilePath;
        QVERIFY(QFile::remove(pageFile));
        QVERIFY(QDir().mkdir(pageFile));
        Recorded().clear();
        m_form->PushButton5->click();
        QCOMPARE(m_form->CurrentIndex, 2);
        QCOMPARE(Recorded().calls.size(), 1);
        QCOMPARE(Recorded().calls.first().title, QStringLiteral("Application Error"));
        QVERIFY(Recorded().calls.first().text.contains(QStringLiteral("Form3.PushButton5_Click")));
        // The preview is blank rather than the first message shown as the second.
        QVERIFY(m_form->HTMLFilePath.isEmpty());
        QVERIFY(m_form->PageFailure.contains(pageFile));
        QCOMPARE(shownText(), QString());
        QVERIFY(QDir().rmdir(pageFile));
        m_form->PushButton4->click();
        QVERIFY(shownText().contains(QStringLiteral("first page")));
        QVERIFY(m_form->PageFailure.isEmpty());
    }

    void imageIsCopiedOnceAndNeverRefreshed()
    {
        const QString copy = TempFolder() + QStringLiteral("/ipad-yahoo-mail.png");
        QFile::remove(copy);
        page(MakeRecord(QStringLiteral("s")), true);
        QFile made(copy);
        QVERIFY(made.open(QIODevice::ReadOnly));
        QFile original(ProgramFile(QStringLiteral("ipad-yahoo-mail.png")));
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(made.readAll(), original.readAll());
        made.close();

        QFile older(copy);
        QVERIFY(older.open(QIODevice::WriteOnly | QIODevice::Truncate));
        older.write("an older picture");
        older.close();
        page(MakeRecord(QStringLiteral("s")), true);
        QVERIFY(older.open(QIODevice::ReadOnly));
        QCOMPARE(older.readAll(), QByteArray("an older picture"));
        QFile::remove(copy);
    }
};

LARKSPAN_TEST_MAIN(ExportPageTest)
#include "tst_export_page.moc"
