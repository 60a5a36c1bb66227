#include "support/WidgetTestMain.h"

#include "platform/core/AppError.h"
#include "platform/widgets/Appearance.h"
#include "platform/core/FileExists.h"
#include "platform/widgets/HandCursor.h"
#include "platform/core/ProgramFolder.h"
#include "platform/widgets/SkinEngine.h"
#include "platform/widgets/WindowPointer.h"

#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QVBoxLayout>

using namespace larkspan;

namespace {

const QColor kFace(201, 187, 160); // a button face no style uses on its own

// A window with one control of each kind the colour rules speak of.
struct Controls {
    QLabel *label;
    QCheckBox *check;
    QRadioButton *option;
    QGroupBox *frame;
    QFrame *plainFrame;
    QLineEdit *text;
    QTreeView *list;
    QPushButton *button;

    explicit Controls(QWidget *parent)
    {
        auto *layout = new QVBoxLayout(parent);
        frame = new QGroupBox(QStringLiteral("Login"));
        auto *inner = new QVBoxLayout(frame);
        inner->addWidget(label = new QLabel(QStringLiteral("Password:")));
        inner->addWidget(check = new QCheckBox(QStringLiteral("Remember me")));
        inner->addWidget(text = new QLineEdit);
        layout->addWidget(frame);
        layout->addWidget(option = new QRadioButton(QStringLiteral("Export as text-only PDF")));
        layout->addWidget(plainFrame = new QFrame);
        layout->addWidget(list = new QTreeView);
        layout->addWidget(button = new QPushButton(QStringLiteral("1. Connect")));
    }

    QList<QWidget *> plain() const { return {label, check, option, frame, plainFrame}; }
    QList<QWidget *> others() const { return {text, list, button}; }
};

bool hasFace(const QWidget *w)
{
    return w->autoFillBackground() && w->palette().color(QPalette::Window) == kFace;
}

QString fileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class AppearanceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Button, kFace);
        QApplication::setPalette(palette);
    }

    void classicColorsForPlainControlsOnly()
    {
        QDialog dialog;
        Controls controls(&dialog);
        ApplyClassicColors(&dialog);
        QVERIFY(hasFace(&dialog));
        for (QWidget *w : controls.plain())
            QVERIFY2(hasFace(w), w->metaObject()->className());
        for (QWidget *w : controls.others())
            QVERIFY2(!hasFace(w), w->metaObject()->className());
    }

    void skinPresent()
    {
        QMainWindow window;
        window.setCentralWidget(new QWidget);
        Controls controls(window.centralWidget());
        const QString skin = ProgramFile(QStringLiteral("x/o.cjs"));
        QVERIFY2(FileExists(skin), "the skin ships beside the program");

        SkinEngine *engine = ApplySkin(&window);
        QVERIFY(engine);
        QCOMPARE(engine->objectName(), QStringLiteral("SkinFramework1"));
        QCOMPARE(engine->skinPath(), skin);
        QVERIFY(engine->options() & SkinEngine::kSkinEnabled);
        QVERIFY(engine->applyToNewWindows());
        QVERIFY(engine->reloadOnChange());
        QVERIFY(!window.styleSheet().isEmpty());
        QCOMPARE(window.styleSheet(), fileText(skin));

        QVERIFY(hasFace(&window));
        for (QWidget *w : controls.plain())
            QVERIFY2(hasFace(w), w->metaObject()->className());
        for (QWidget *w : controls.others())
            QVERIFY2(!hasFace(w), w->metaObject()->className());

        // The shipped skin leaves label backgrounds to the program: a label made white
        // afterwards is white on screen.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QPalette white = controls.label->palette();
        white.setColor(QPalette::Window, Qt::white);
        controls.label->setPalette(white);
        const QImage shot = controls.label->grab().toImage();
        QCOMPARE(QColor(shot.pixel(1, 1)), QColor(Qt::white));

        // A second call reuses the window's skin engine.
        QCOMPARE(ApplySkin(&window), engine);
        delete engine; // the application-wide watch goes with it
    }

    void skinAbsentChangesNothing()
    {
        QTemporaryDir dir;
        QMainWindow window;
        window.setCentralWidget(new QWidget);
        Controls controls(window.centralWidget());
        QVERIFY(!ApplySkinFile(&window, dir.filePath(QStringLiteral("x/o.cjs"))));
        QVERIFY(window.styleSheet().isEmpty());
        QVERIFY(!hasFace(&window));
        for (QWidget *w : controls.plain())
            QVERIFY(!hasFace(w));
        QVERIFY(!window.findChild<SkinEngine *>());
    }

    void unreadableSkinRaisesToTheCaller()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("x/o.cjs"))); // a folder of that name
        QMainWindow window;
        try {
            ApplySkinFile(&window, dir.filePath(QStringLiteral("x/o.cjs")));
            QFAIL("no error raised");
        } catch (const AppError &e) {
            QVERIFY(e.description().contains(QStringLiteral("o.cjs")));
        }
        QVERIFY(window.styleSheet().isEmpty());
    }

    void engineFollowsItsSwitches()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("skin.cjs"));
        const auto writeSkin = [&](const QByteArray &sheet) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(sheet);
        };
        writeSkin("QPushButton { color: #123456; }");

        QMainWindow window;
        SkinEngine engine;
        engine.loadSkin(path, QString());
        engine.applyWindow(&window);
        QVERIFY2(window.styleSheet().isEmpty(), "nothing is applied before the skin is enabled");

        engine.setOptions(engine.options() | SkinEngine::kSkinEnabled);
        engine.setApplyToNewWindows(true);
        engine.setReloadOnChange(true);
        engine.applyWindow(&window);
        QCOMPARE(window.styleSheet(), QStringLiteral("QPushButton { color: #123456; }"));

        // A window opened afterwards is skinned as well.
        QDialog later;
        later.show();
        QCOMPARE(later.styleSheet(), window.styleSheet());

        // Editing the skin file puts the new skin on.
        writeSkin("QPushButton { color: #654321; }");
        QTRY_COMPARE(window.styleSheet(), QStringLiteral("QPushButton { color: #654321; }"));

        try {
            engine.loadSkin(path, QStringLiteral("Blue"));
            QFAIL("a variant our skins do not have was accepted");
        } catch (const AppError &) {
        }
    }

    void handCursorFromTheProgramFolder()
    {
        QWidget window;
        WindowPointer pointer(&window);
        QVERIFY(LoadHandCursor(pointer));
        QVERIFY(pointer.hasCustomCursor());
        QCOMPARE(pointer.customCursor().pixmap().size(), QSize(32, 32));
        QCOMPARE(pointer.customHotSpot(), QPoint(6, 0)); // the fingertip stored in the file
        pointer.setPointer(MousePointer::Custom);
        QCOMPARE(window.cursor().shape(), Qt::BitmapCursor);
    }

    void handCursorMissingOrBroken()
    {
        QTemporaryDir dir;
        QWidget window;
        WindowPointer pointer(&window);
        QVERIFY(!LoadHandCursorFile(pointer, dir.filePath(QStringLiteral("HAND-M.CUR"))));
        QVERIFY(!pointer.hasCustomCursor());
        pointer.setPointer(MousePointer::Custom);
        QCOMPARE(window.cursor().shape(), Qt::ArrowCursor); // the platform's default

        const QString broken = dir.filePath(QStringLiteral("broken.cur"));
        QFile f(broken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a cursor");
        f.close();
        try {
            LoadHandCursorFile(pointer, broken);
            QFAIL("no error raised");
        } catch (const AppError &e) {
            QCOMPARE(e.number(), 481);
        }
        QVERIFY(!pointer.hasCustomCursor());
    }
};

LARKSPAN_TEST_MAIN(AppearanceTest)
#include "tst_appearance.moc"
