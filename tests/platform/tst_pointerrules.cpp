#include "support/WidgetTestMain.h"

#include "platform/widgets/PointerRules.h"
#include "platform/widgets/WindowPointer.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace larkspan;

namespace {

// A main window laid out like the real one: buttons inside and outside a frame, the
// listing button, a list, a text box, a label and open background.
struct Window {
    QMainWindow window;
    WindowPointer *pointer;
    QGroupBox *frame;
    QPushButton *connect;
    QPushButton *getAll;
    QTreeView *list;
    QLineEdit *text;
    QLabel *label;
    QWidget *background;

    Window()
    {
        background = new QWidget;
        window.setCentralWidget(background);
        auto *layout = new QVBoxLayout(background);
        layout->setContentsMargins(40, 40, 40, 40);
        layout->setSpacing(30);
        frame = new QGroupBox(QStringLiteral("Login"));
        auto *inner = new QHBoxLayout(frame);
        inner->setContentsMargins(30, 30, 30, 30);
        inner->addWidget(text = new QLineEdit);
        inner->addWidget(connect = new QPushButton(QStringLiteral("1. Connect")));
        layout->addWidget(frame);
        layout->addWidget(getAll = new QPushButton(QStringLiteral("2a. Get All Emails")));
        layout->addWidget(list = new QTreeView);
        layout->addWidget(label = new QLabel(QStringLiteral("Selected Emails: 0")));
        window.resize(500, 600);
        pointer = new WindowPointer(&window);
        InstallPointerRules(&window, pointer, {getAll});
    }

    void moveTo(QWidget *widget, QPoint at = QPoint(-1, -1))
    {
        if (at == QPoint(-1, -1))
            at = widget->rect().center();
        QTest::mouseMove(widget, at);
    }
    // A spot of open background beside the frame's margin.
    void moveToBackground() { moveTo(background, QPoint(10, 10)); }
};

} // namespace

class PointerRulesTest : public QObject {
    Q_OBJECT

private slots:
    void handOverButtonsDefaultOverBackground()
    {
        Window w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));

        w.moveTo(w.connect);
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Custom);
        w.moveToBackground();
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Default);

        w.moveTo(w.getAll);
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Custom);
        w.moveTo(w.frame, QPoint(8, w.frame->height() - 8)); // inside the frame, beside its controls
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Default);

        w.moveTo(w.connect);
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Custom);
        w.moveTo(w.list->viewport());
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Default);

        w.moveTo(w.connect);
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Custom);
        w.moveTo(w.text);
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Default);
    }

    void labelsLeaveThePointerAlone()
    {
        Window w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.moveTo(w.connect);
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Custom);
        w.moveTo(w.label);
        QCoreApplication::processEvents(); // the label's enter and move are delivered
        QCOMPARE(w.pointer->pointer(), MousePointer::Custom);
    }

    void hourglassStaysExceptOverTheListingButtons()
    {
        Window w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.moveToBackground();
        w.pointer->setPointer(MousePointer::Hourglass);

        w.moveTo(w.connect);
        w.moveToBackground();
        w.moveTo(w.list->viewport());
        QCoreApplication::processEvents();
        QCOMPARE(w.pointer->pointer(), MousePointer::Hourglass);
        QCOMPARE(w.window.cursor().shape(), Qt::WaitCursor);

        w.moveTo(w.getAll);
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Custom);

        // The end of the operation puts the default back; the rules work as before.
        w.pointer->setPointer(MousePointer::Default);
        w.moveTo(w.connect);
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Custom);
    }

    void controlsAddedLaterFollowTheRules()
    {
        Window w;
        auto *late = new QPushButton(QStringLiteral("Show List In Larger View"), w.background);
        w.background->layout()->addWidget(late);
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.moveToBackground();
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Default);
        w.moveTo(late);
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Custom);
        // It tracks moves like the others: the hand comes back on the next move after
        // the hourglass, without leaving the button.
        w.pointer->setPointer(MousePointer::Hourglass);
        w.moveTo(late, late->rect().center() + QPoint(3, 0));
        QCOMPARE(w.pointer->pointer(), MousePointer::Hourglass);
        w.pointer->setPointer(MousePointer::Default);
        w.moveTo(late, late->rect().center() + QPoint(6, 0));
        QTRY_COMPARE(w.pointer->pointer(), MousePointer::Custom);
    }
};

LARKSPAN_TEST_MAIN(PointerRulesTest)
#include "tst_pointerrules.moc"
