#include "support/TestEnvironment.h"

#include "platform/core/AppError.h"
#include "platform/core/CollapseBackslashes.h"
#include "platform/core/DesktopFolder.h"
#include "platform/core/FileExists.h"
#include "platform/core/FileHelpers.h"
#include "platform/core/FolderPicker.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace larkspan;
using larkspan::test::Recorded;

namespace {

// Runs body and returns the AppError it raised, or none.
template <typename Body>
std::optional<AppError> raised(Body body)
{
    try {
        body();
    } catch (const AppError &e) {
        return e;
    }
    return std::nullopt;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class FileHelpersTest : public QObject {
    Q_OBJECT

private slots:
    void init() { Recorded().clear(); }

    void collapseBackslashes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("doubled separators") << "out//pdf//" << "out/pdf/";
        QTest::newRow("three in a row become two") << "a///b" << "a//b";
        QTest::newRow("nothing to do") << "/home/me/Desktop/" << "/home/me/Desktop/";
        QTest::newRow("root from the picker plus the appended separator") << "//" << "/";
        QTest::newRow("root alone") << "/" << "/";
        QTest::newRow("only separators") << "////" << "/";
        QTest::newRow("one leading separator stays one") << "/home/me//out//" << "/home/me/out/";
        QTest::newRow("network path keeps two") << "//server//share/" << "//server/share/";
        QTest::newRow("four leading become two") << "////server/x" << "//server/x";
        QTest::newRow("empty") << "" << "";
    }
    void collapseBackslashes()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(CollapseBackslashes(path), expected);
    }

    void fileExistsOnDiskIsForFilesOnly()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("page.tmp"));
        QVERIFY(!FileExistsOnDisk(file));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(FileExistsOnDisk(file));
        QVERIFY(!FileExistsOnDisk(dir.path()));                                  // a folder
        QVERIFY(!FileExistsOnDisk(dir.filePath(QStringLiteral("no/such/x.pdf")))); // folder missing
        QVERIFY(!FileExistsOnDisk(QString()));
    }

    void fileExistsCountsFolders()
    {
        QTemporaryDir dir;
        QVERIFY(FileExists(dir.path()));
        QVERIFY(FileExists(QCoreApplication::applicationFilePath()));
        QVERIFY(!FileExists(dir.filePath(QStringLiteral("missing"))));
        QVERIFY(!FileExists(QString()));
    }

    void textFilesRoundTripInTheSystemEncoding()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tmp.tmp"));
        const QString text = QStringLiteral("<p>Grüße – ½ €</p>\r\nline two");
        const int slot = FreeFileSlot();
        OpenTextFile(path, slot);
        WriteText(text.left(10), slot);
        WriteText(text.mid(10), slot);
        CloseTextFile(slot);
        QCOMPARE(contents(path), text.toLocal8Bit()); // exactly the text, no line end added
        QCOMPARE(ReadWholeFile(path), text);

        // Opening again truncates.
        OpenTextFile(path, slot);
        WriteText(QStringLiteral("x"), slot);
        CloseTextFile(slot);
        QCOMPARE(ReadWholeFile(path), QStringLiteral("x"));
    }

    void closeTextFileClosesEveryOpenFile()
    {
        QTemporaryDir dir;
        OpenTextFile(dir.filePath(QStringLiteral("a")), 1);
        QCOMPARE(FreeFileSlot(), 2);
        OpenTextFile(dir.filePath(QStringLiteral("b")), 2);
        WriteText(QStringLiteral("second"), 2);

        const auto busy = raised([&] { OpenTextFile(dir.filePath(QStringLiteral("c")), 1); });
        QVERIFY(busy);
        QCOMPARE(busy->number(), 55);

        CloseTextFile(1);
        QCOMPARE(contents(dir.filePath(QStringLiteral("b"))), QByteArray("second"));
        const auto closed = raised([&] { WriteText(QStringLiteral("late"), 2); });
        QVERIFY(closed);
        QCOMPARE(closed->number(), 52);
        QCOMPARE(FreeFileSlot(), 1);
    }

    void fileErrorsNameThePath()
    {
        QTemporaryDir dir;
        const QString missingFile = dir.filePath(QStringLiteral("Base.tmp"));
        const QString missingFolder = dir.filePath(QStringLiteral("gone/tmp.tmp"));

        auto error = raised([&] { ReadWholeFile(missingFile); });
        QVERIFY(error);
        QCOMPARE(error->number(), int(ErrorCode::FileNotFound));
        QVERIFY(error->description().contains(missingFile));

        error = raised([&] { ReadWholeFile(missingFolder); });
        QVERIFY(error);
        QCOMPARE(error->number(), int(ErrorCode::PathNotFound));

        error = raised([&] { ReadWholeFile(dir.path()); });
        QVERIFY(error);
        QCOMPARE(error->number(), 75);

        error = raised([&] { OpenTextFile(missingFolder, 1); });
        QVERIFY(error);
        QCOMPARE(error->number(), int(ErrorCode::PathNotFound));
        QVERIFY(error->description().contains(missingFolder));

        error = raised([&] { OpenTextFile(dir.path(), 1); });
        QVERIFY(error);
        QCOMPARE(error->number(), 75);

        error = raised([&] { AppendToFile(missingFolder, "entry"); });
        QVERIFY(error);
        QCOMPARE(error->number(), int(ErrorCode::PathNotFound));
        QVERIFY(error->description().contains(missingFolder));

        error = raised([&] { AppendToFile(dir.path(), "entry"); });
        QVERIFY(error);
        QCOMPARE(error->number(), int(ErrorCode::PermissionDenied));
        QVERIFY(error->description().contains(dir.path()));

        // A failed open leaves the slot free and creates nothing.
        QCOMPARE(FreeFileSlot(), 1);
        QVERIFY(!QFileInfo::exists(missingFolder));
    }

    void desktopFolderPath()
    {
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        QVERIFY(!desktop.isEmpty());
        QCOMPARE(DesktopFolderPath(), desktop + QLatin1Char('/'));
        QCOMPARE(DesktopFolderPathFrom(QStringLiteral("/")), QStringLiteral("/"));
        const auto none = raised([] { DesktopFolderPathFrom(QString()); });
        QVERIFY(none);
        QVERIFY(!none->description().isEmpty());
    }

    void browseForFolder()
    {
        auto &dialogs = Recorded();
        dialogs.folderAnswers = {QStringLiteral("/srv/out/"), QString(), QStringLiteral("/"),
                                 QStringLiteral("file:///srv/My%20Files"), QStringLiteral("smb://host/share")};

        QCOMPARE(BrowseForFolder(nullptr, QStringLiteral("Select folder"), QStringLiteral("/srv/in")),
                 QStringLiteral("/srv/out"));
        QCOMPARE(dialogs.calls.at(0).text, QStringLiteral("Select folder"));
        QCOMPARE(dialogs.calls.at(0).title, QStringLiteral("/srv/in")); // the initial folder

        QCOMPARE(BrowseForFolder(nullptr, QStringLiteral("t"), QString()), QString()); // cancelled
        QCOMPARE(dialogs.calls.at(1).title, QString());

        // The root keeps its separator; the one the export window appends goes again.
        const QString root = BrowseForFolder(nullptr, QStringLiteral("t"), QString());
        QCOMPARE(root, QStringLiteral("/"));
        QCOMPARE(CollapseBackslashes(root + QLatin1Char('/')), QStringLiteral("/"));

        QCOMPARE(BrowseForFolder(nullptr, QStringLiteral("t"), QString()), QStringLiteral("/srv/My Files"));
        QCOMPARE(BrowseForFolder(nullptr, QStringLiteral("t"), QString()), QString()); // not a local folder
    }
};

LARKSPAN_GUILESS_TEST_MAIN(FileHelpersTest)
#include "tst_filehelpers.moc"
