#include "platform/widgets/ListView.h"

#include "platform/core/AppError.h"
#include "platform/widgets/ListViewModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <cmath>

namespace larkspan {

namespace {


[[noreturn]] void raiseOutOfBounds()
{
    throw AppError(ErrorCode::IndexOutOfBounds);
}

double dpiOf(const QWidget *widget)
{
    const int dpi = widget ? widget->logicalDpiX() : 96;
    return dpi > 0 ? dpi : 96;
}

// Space ticks the current row wherever in the row the focus cell is (the view alone
// only ticks when the focus cell is the first column).
class SpaceTicksRow : public QObject {
public:
    SpaceTicksRow(ListView *view, ListViewModel *model) : QObject(view), m_view(view), m_model(model) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_view || event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Space && key->key() != Qt::Key_Select) || key->modifiers() != Qt::NoModifier)
            return false;
        const QModelIndex current = m_view->currentIndex();
        if (!current.isValid())
            return false;
        const QModelIndex tick = current.siblingAtColumn(0);
        const bool now = tick.data(Qt::CheckStateRole).toInt() != Qt::Unchecked;
        m_model->setData(tick, now ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        return true;
    }

private:
    ListView *m_view;
    ListViewModel *m_model;
};

} // namespace

int TwipsToPixels(int twips, const QWidget *widget)
{
    return static_cast<int>(std::lround(twips * dpiOf(widget) / 1440.0));
}

int PixelsToTwips(int pixels, const QWidget *widget)
{
    return static_cast<int>(std::lround(pixels * 1440.0 / dpiOf(widget)));
}

ListView::ListView(QWidget *parent) : QTreeView(parent), m_model(new ListViewModel(this))
{
    setModel(m_model);
    // A flat report view: no tree decoration, every row the same height (which lets
    // the view lay out a long list without measuring each row).
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    installEventFilter(new SpaceTicksRow(this, m_model));
    connect(m_model, &ListViewModel::userChecked, this, [this](int row) { emit itemCheck(row + 1); });
}

ListView::~ListView() = default;

int ListView::count() const
{
    return m_model->rowTotal();
}

int ListView::append(const QString &text)
{
    return m_model->appendRow(text) + 1;
}

void ListView::clearItems()
{
    m_model->clearRows();
    emit cleared();
}

static int checkedRow(const ListViewModel *model, int row)
{
    if (row < 1 || row > model->rowTotal())
        raiseOutOfBounds();
    return row - 1;
}

static int checkedSubItem(int index)
{
    if (index < 1 || index > ListViewModel::kSubItems)
        raiseOutOfBounds();
    return index;
}

QString ListView::text(int row) const
{
    return m_model->cell(checkedRow(m_model, row), 0);
}

void ListView::setText(int row, const QString &text)
{
    m_model->setCell(checkedRow(m_model, row), 0, text);
}

QString ListView::subItem(int row, int index) const
{
    const int r = checkedRow(m_model, row);
    return m_model->cell(r, checkedSubItem(index));
}

void ListView::setSubItem(int row, int index, const QString &text)
{
    const int r = checkedRow(m_model, row);
    m_model->setCell(r, checkedSubItem(index), text);
}

bool ListView::checked(int row) const
{
    return m_model->isChecked(checkedRow(m_model, row));
}

void ListView::setChecked(int row, bool checked)
{
    m_model->setCheckedByProgram(checkedRow(m_model, row), checked);
}

bool ListView::sorted() const
{
    return m_model->isSorted();
}

void ListView::setSorted(bool sorted)
{
    m_model->setSorted(sorted);
}

void ListView::addColumn(const QString &header, int widthTwips)
{
    m_model->addHeader(header);
    setColumnWidthTwips(m_model->headerCount(), widthTwips);
}

void ListView::clearColumns()
{
    m_model->clearHeaders();
}

int ListView::columnCount() const
{
    return m_model->headerCount();
}

static int checkedColumn(const ListViewModel *model, int column)
{
    if (column < 1 || column > model->headerCount())
        raiseOutOfBounds();
    return column - 1;
}

QString ListView::columnHeader(int column) const
{
    return m_model->header(checkedColumn(m_model, column));
}

void ListView::setColumnWidthTwips(int column, int twips)
{
    const int c = checkedColumn(m_model, column);
    m_model->setHeaderTwips(c, twips);
    if (twips <= 0) {
        // A column of width 0 carries data but is not shown.
        setColumnHidden(c, true);
        return;
    }
    setColumnHidden(c, false);
    setColumnWidth(c, TwipsToPixels(twips, this));
}

int ListView::columnWidthTwips(int column) const
{
    const int c = checkedColumn(m_model, column);
    if (isColumnHidden(c))
        return 0;
    const int pixels = QTreeView::columnWidth(c);
    // The width as set unless the user has since dragged the column to another size.
    const int set = m_model->headerTwips(c);
    if (TwipsToPixels(set, this) == pixels)
        return set;
    return PixelsToTwips(pixels, this);
}

void ListView::setAnnounceInterval(int intervalMs)
{
    m_model->setAnnounceInterval(intervalMs);
}

void ListView::refresh()
{
    m_model->flushPendingRows();
    viewport()->update();
}

} // namespace larkspan
