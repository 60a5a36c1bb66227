#include "messagelist/windows/Form4.h"

#include "messagelist/windows/ListCounters.h"
#include "messagelist/windows/ListSelection.h"
#include "messagelist/windows/MainListActions.h"
#include "messagelist/windows/MainListParts.h"
#include "messagelist/windows/SecondaryWindowLook.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/KeyboardActivation.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/WindowPointer.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>

namespace larkspan {

namespace {

void SetTopTwips(QWidget *control, int top)
{
    control->move(control->x(), TwipsToPixels(top, control));
}

void SetLeftTwips(QWidget *control, int left)
{
    control->move(TwipsToPixels(left, control), control->y());
}

int WidthTwips(const QWidget *control)
{
    return PixelsToTwips(control->width(), control);
}

} // namespace

Form4::Form4(MainListParts &main, QWidget *owner)
    : QDialog(owner), m_main(main), m_pointer(new WindowPointer(this))
{
    setWindowTitle(QStringLiteral(" List In Larger View"));
    setWindowModality(Qt::ApplicationModal);
    setSizeGripEnabled(false);

    ListView1 = new ListView(this);
    Label1 = new QLabel(QStringLiteral("Total Number Of Emails: "), this);
    Label2 = new QLabel(QStringLiteral("Selected Emails: "), this);
    PushButton5 = new QPushButton(QStringLiteral("Check All"), this);
    PushButton6 = new QPushButton(QStringLiteral("Uncheck All"), this);
    PushButton9 = new QPushButton(QStringLiteral("Check Emails Containing..."), this);
    PushButton10 = new QPushButton(QStringLiteral("Check Emails Not Containing..."), this);
    PushButton7 = new QPushButton(QStringLiteral("Clear List"), this);
    PushButton1 = new QPushButton(QStringLiteral("Maximize This Window"), this);
    PushButton4 = new QPushButton(QStringLiteral("< Back"), this);
    for (QPushButton *button : {PushButton5, PushButton6, PushButton9, PushButton10, PushButton7, PushButton1, PushButton4})
        button->setAutoDefault(false);
    ListView1->setAccessibleName(QStringLiteral("Message list"));
    ListView1->setAccessibleDescription(QStringLiteral("Space ticks or unticks the current message"));
    PressFocusedButtonsWithEnter(this);

    PlaceTwips(ListView1, 120, 120, 7800, 1860);
    PlaceTwips(Label1, 120, 2085, 3840, 255);
    PlaceTwips(Label2, 4080, 2085, 3840, 255);
    PlaceTwips(PushButton5, 120, 2440, 3840, 405);
    PlaceTwips(PushButton6, 4080, 2440, 3840, 405);
    PlaceTwips(PushButton9, 120, 2950, 3840, 405);
    PlaceTwips(PushButton10, 4080, 2950, 3840, 405);
    PlaceTwips(PushButton7, 120, 3460, 3840, 405);
    PlaceTwips(PushButton1, 4080, 3460, 3840, 405);
    PlaceTwips(PushButton4, 120, 3970, 7800, 405);
    resize(TwipsToPixels(8040, this), TwipsToPixels(4470, this));

    m_counters = new ListCounters(ListView1, Label1, Label2);
    connect(ListView1, &ListView::itemCheck, this, [this](int row) {
        ErrorTrap trap("Form4", "ListView1_ItemCheck", __LINE__);
        trap.step(__LINE__, [&] { m_counters->ItemCheck(row); });
    });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton9, &QPushButton::clicked, this, [this] { PushButton9_Click(); });
    connect(PushButton10, &QPushButton::clicked, this, [this] { PushButton10_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });

    Form_Load();
}

Form4::~Form4()
{
    delete m_counters;
}

void Form4::Form_Load()
{
    ErrorTrap trap("Form4", "Form_Load", __LINE__);
    trap.step(__LINE__, [&] { ApplySecondaryWindowLook(this, m_pointer); });
    trap.step(__LINE__, [&] {
        ListView1->clearColumns();
        ListView1->addColumn(QStringLiteral("From"), 1300);
        ListView1->addColumn(QStringLiteral("From Name"), 1600);
        ListView1->addColumn(QStringLiteral("From Address"), 1600);
        ListView1->addColumn(QStringLiteral("Subject"), 1600);
        ListView1->addColumn(QStringLiteral("Received Date"), 1600);
        ListView1->addColumn(QStringLiteral("RecDate"), 0);
    });
    trap.step(__LINE__, [&] {
        ListView1->clearItems();
        ListView1->refresh();
    });
    trap.step(__LINE__, [&] { m_counters->RefreshCounters(false); });
    m_counters->AccumulateChecks = false;
    trap.step(__LINE__, [&] {
        for (QLabel *label : {Label1, Label2}) {
            QPalette palette = label->palette();
            palette.setColor(QPalette::Window, Qt::white);
            label->setPalette(palette);
            label->setAutoFillBackground(true);
        }
    });
}

void Form4::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Form_Resize();
}

void Form4::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void Form4::Form_Resize()
{
    if (!m_counters)
        return;
    const QRect outer = frameGeometry();
    const int W = PixelsToTwips(outer.width(), this);
    const int H = PixelsToTwips(outer.height(), this);
    const int listWidth = W - 330;
    const int listHeight = H - 3100;
    // A window too small for the list (minimized, or dragged tiny) keeps its last
    // layout rather than getting negative sizes.
    if (listWidth >= 0 && listHeight >= 0) {
        ListView1->resize(TwipsToPixels(listWidth, ListView1), TwipsToPixels(listHeight, ListView1));
        const int LW = listWidth;
        ListView1->setColumnWidthTwips(1, LW / 6);
        for (int column = 2; column <= 5; ++column)
            ListView1->setColumnWidthTwips(column, LW / 5);
        ListView1->setColumnWidthTwips(6, 0);

        SetTopTwips(Label1, H - 2865);
        SetTopTwips(Label2, H - 2865);
        SetTopTwips(PushButton5, H - 2505);
        SetTopTwips(PushButton6, H - 2505);
        SetTopTwips(PushButton9, H - 1995);
        SetTopTwips(PushButton10, H - 1995);
        SetTopTwips(PushButton7, H - 1485);
        SetTopTwips(PushButton1, H - 1485);
        SetTopTwips(PushButton4, H - 975);

        const int left = (W / 2) - (WidthTwips(PushButton7) / 2) - 45;
        for (QWidget *control : {static_cast<QWidget *>(PushButton7), static_cast<QWidget *>(PushButton4),
                                 static_cast<QWidget *>(Label1), static_cast<QWidget *>(PushButton5),
                                 static_cast<QWidget *>(PushButton9)})
            SetLeftTwips(control, left);
        const int rightLeft = left + WidthTwips(Label1) + 120;
        for (QWidget *control : {static_cast<QWidget *>(Label2), static_cast<QWidget *>(PushButton6),
                                 static_cast<QWidget *>(PushButton10), static_cast<QWidget *>(PushButton1)})
            SetLeftTwips(control, rightLeft);
    }
    // The recount yields once per row. It runs from the window's own event loop rather
    // than inside the show or resize event, so a click during it ("< Back") cannot
    // land before the window's modal loop has started; resizes that come in before
    // it has begun share one recount.
    if (!m_recountPending) {
        m_recountPending = true;
        QTimer::singleShot(0, this, [this] {
            m_recountPending = false;
            m_counters->RefreshCounters(false);
        });
    }
}

void Form4::PushButton1_Click()
{
    setWindowState(windowState() | Qt::WindowMaximized);
}

void Form4::PushButton4_Click()
{
    accept();
}

void Form4::PushButton5_Click()
{
    SetAllTicks("Form4", "PushButton5_Click", ListView1, m_counters, true);
}

void Form4::PushButton6_Click()
{
    SetAllTicks("Form4", "PushButton6_Click", ListView1, m_counters, false);
}

void Form4::PushButton9_Click()
{
    CheckRowsByText("Form4", "PushButton9_Click", this, ListView1, m_counters, true);
}

void Form4::PushButton10_Click()
{
    CheckRowsByText("Form4", "PushButton10_Click", this, ListView1, m_counters, false);
}

void Form4::PushButton7_Click()
{
    ErrorTrap trap("Form4", "PushButton7_Click", __LINE__);
    trap.step(__LINE__, [&] { ListView1->clearItems(); });
    trap.step(__LINE__, [&] { m_main.ListView1->clearItems(); });
    trap.step(__LINE__, [&] { m_counters->RefreshCounters(true); });
}

void Form4::done(int result)
{
    // "< Back", Escape and the close box all come through here.
    Form_Unload();
    QDialog::done(result);
}

void Form4::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    ListView *main = m_main.ListView1;
    const int rows = ListView1->count();
    // The main list is at least as long (the window is modal); a shorter one would
    // have been cleared behind our back, so only the rows it still has are written.
    const int writable = std::min(rows, main->count());
    for (int row = 1; row <= writable; ++row)
        main->setChecked(row, ListView1->checked(row));
}

void OpenLargerView(MainListParts &ctx)
{
    ErrorTrap trap("Form1", "PushButton8_Click", __LINE__);
    QPointer<Form4> form;
    trap.step(__LINE__, [&] { form = new Form4(ctx, ctx.window); });
    if (!form)
        return;
    ListView *source = ctx.ListView1;
    ListView *copy = form->ListView1;
    int rows = 0;
    trap.step(__LINE__, [&] { rows = source->count(); });
    for (int row = 1; row <= rows; ++row) {
        trap.step(__LINE__, [&] { copy->append(source->text(row)); });
        for (int index = 1; index <= 5; ++index)
            trap.step(__LINE__, [&] { copy->setSubItem(copy->count(), index, source->subItem(row, index)); });
        trap.step(__LINE__, [&] { copy->setChecked(copy->count(), source->checked(row)); });
    }
    trap.step(__LINE__, [&] { form->setWindowState(form->windowState() | Qt::WindowMaximized); });
    trap.step(__LINE__, [&] { form->exec(); });
    delete form.data();
    trap.step(__LINE__, [&] { ctx.counters->RefreshCounters(false); });
}

void PushButton8_Click(MainListParts &ctx)
{
    OpenLargerView(ctx);
}

} // namespace larkspan
