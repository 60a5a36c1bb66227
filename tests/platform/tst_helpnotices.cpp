#include "support/WidgetTestMain.h"

#include "app/HelpNotices.h"
#include "platform/core/AppError.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/OpenDocument.h"
#include "platform/core/ProgramFolder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

using namespace larkspan;
using larkspan::test::Recorded;
using Kind = larkspan::test::RecordingDialogs::Kind;

// Takes the desktop's "open" requests for local files, so that no viewer starts.
class OpenRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class HelpNoticesTest : public QObject {
    Q_OBJECT
    OpenRecorder recorder;

private slots:
    void initTestCase() { QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open"); }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void init()
    {
        Recorded().clear();
        recorder.opened.clear();
        SetAppTitle(QStringLiteral("Larkspan"));
    }

    void helpShowsContactThenPrivacy()
    {
        ShowHelpNotices();
        const auto &calls = Recorded().calls;
        QCOMPARE(calls.size(), 2);
        QVERIFY(calls.at(0).text.startsWith(QStringLiteral("Questions? Please contact Team Vornhelm at ")));
        QVERIFY(calls.at(0).text.size() > int(qstrlen("Questions? Please contact Team Vornhelm at ")));
        const QString privacy = calls.at(1).text;
        QVERIFY(!privacy.contains(QLatin1Char('\n')));
        const QStringList lines = privacy.split(QStringLiteral("\r\r"));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), QStringLiteral("Privacy Policy"));
        QCOMPARE(lines.at(1), QStringLiteral("1. This software can access your Yahoo! Mail account only if you grant access to it."));
        QCOMPARE(lines.at(2), QStringLiteral("2. This software does not store any information that is retrieved from your Yahoo! Mail account."));
        QCOMPARE(lines.at(3), QStringLiteral("3. This software stores your username and password locally on your computer if you select the "
                                             "'Remember me' feature, but this information is private and not stored on a server."));
        for (const auto &call : calls) {
            QCOMPARE(call.kind, Kind::Message);
            QCOMPARE(call.title, QStringLiteral("Larkspan"));
            QCOMPARE(call.buttons, MsgButtons::Ok);
            QCOMPARE(call.icon, MsgIcon::None);
        }
    }

    void failingFirstBoxStillLeadsToPrivacy()
    {
        bool failed = false;
        Recorded().onCall = [&](const auto &call) {
            if (!failed && call.text.startsWith(QStringLiteral("Questions?"))) {
                failed = true;
                throw AppError(QStringLiteral("Out of memory"), 7);
            }
        };
        ShowHelpNotices();
        const auto &calls = Recorded().calls;
        QCOMPARE(calls.size(), 3);
        QCOMPARE(calls.at(1).title, QStringLiteral("Application Error"));
        QCOMPARE(calls.at(1).icon, MsgIcon::Warning);
        QVERIFY(calls.at(1).text.startsWith(QStringLiteral("Out of memory\r\nin Ostrevan2021/08/31.Form1.PushButton11_Click at line ")));
        QVERIFY(calls.at(2).text.startsWith(QStringLiteral("Privacy Policy\r\r")));
    }

    void cantLoginOpensTheShippedPicture()
    {
        const QString picture = ProgramFile(QStringLiteral("yahoo-can't-login.png"));
        QVERIFY2(QFile::exists(picture), "the help picture ships beside the program");
        QCOMPARE(LoginHelpPicturePath(), picture);
        OpenLoginHelpPicture();
        QCOMPARE(recorder.opened.size(), 1);
        QCOMPARE(recorder.opened.at(0).toLocalFile(), picture);
        QVERIFY(Recorded().calls.isEmpty());
        QVERIFY(!QImage(picture).isNull());
    }

    void pathWithSpacesNamesOneFile()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Program Files/Lark span")));
        const QString picture = dir.filePath(QStringLiteral("Program Files/Lark span/yahoo-can't-login.png"));
        QVERIFY(QFile::copy(LoginHelpPicturePath(), picture));
        QVERIFY(OpenDocumentQuietly(picture));
        QCOMPARE(recorder.opened.size(), 1);
        QCOMPARE(recorder.opened.at(0).toLocalFile(), picture);
    }

    void missingPictureDoesNothing()
    {
        QTemporaryDir dir;
        QVERIFY(!OpenDocumentQuietly(dir.filePath(QStringLiteral("yahoo-can't-login.png"))));
        QVERIFY(!OpenDocumentQuietly(dir.path())); // a folder is no picture either
        QVERIFY(recorder.opened.isEmpty());
        QVERIFY(Recorded().calls.isEmpty());
    }
};

LARKSPAN_TEST_MAIN(HelpNoticesTest)
#include "tst_helpnotices.moc"
