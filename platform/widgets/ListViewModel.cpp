#include "platform/widgets/ListViewModel.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <numeric>

namespace larkspan {

namespace {

const QEvent::Type kFlushEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

bool textLess(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) < 0;
}

} // namespace

ListViewModel::ListViewModel(QObject *parent) : QAbstractItemModel(parent)
{
    m_announceTimer.setSingleShot(true);
    connect(&m_announceTimer, &QTimer::timeout, this, &ListViewModel::flushPendingRows);
}

int ListViewModel::appendRow(const QString &text)
{
    if (m_sorted) {
        // A sorted list places the row by its text; that touches announced rows, so
        // it is announced at once.
        flushPendingRows();
        const int pos = sortedInsertPosition(text);
        beginInsertRows(QModelIndex(), pos, pos);
        Row row;
        row.cells[0] = m_texts.add(text);
        m_rows.insert(m_rows.begin() + pos, std::move(row));
        ++m_announced;
        endInsertRows();
        return pos;
    }
    Row &row = m_rows.emplace_back();
    row.cells[0] = m_texts.add(text);
    scheduleFlush();
    return static_cast<int>(m_rows.size()) - 1;
}

void ListViewModel::clearRows()
{
    if (m_announced > 0) {
        // Row removal rather than a model reset: a reset would also make the header
        // forget its section widths and the hidden column.
        beginRemoveRows(QModelIndex(), 0, m_announced - 1);
        m_rows.clear();
        m_texts.clear();
        m_announced = 0;
        endRemoveRows();
    } else {
        m_rows.clear();
        m_texts.clear();
    }
}

void ListViewModel::setCell(int row, int column, const QString &text)
{
    Row &r = m_rows[static_cast<size_t>(row)];
    // The old text's room is not reused; it goes with the list.
    r.cells[static_cast<size_t>(column)] = m_texts.add(text);
    if (row < m_announced) {
        const QModelIndex idx = createIndex(row, column);
        emit dataChanged(idx, idx, {Qt::DisplayRole});
    }
    if (m_sorted && column == 0)
        sortRows();
}

void ListViewModel::setCheckedByProgram(int row, bool checked)
{
    Row &r = m_rows[static_cast<size_t>(row)];
    if (r.checked == checked)
        return;
    r.checked = checked;
    if (row < m_announced) {
        const QModelIndex idx = createIndex(row, 0);
        emit dataChanged(idx, idx, {Qt::CheckStateRole});
    }
}

void ListViewModel::setSorted(bool sorted)
{
    if (m_sorted == sorted)
        return;
    m_sorted = sorted;
    if (m_sorted)
        sortRows();
}

void ListViewModel::addHeader(const QString &text)
{
    // Cells exist for the row text and five sub-items; a further column shows empty.
    const int column = static_cast<int>(m_headers.size());
    beginInsertColumns(QModelIndex(), column, column);
    m_headers.append(text);
    m_headerTwips.append(0);
    endInsertColumns();
}

void ListViewModel::clearHeaders()
{
    if (m_headers.isEmpty())
        return;
    beginRemoveColumns(QModelIndex(), 0, static_cast<int>(m_headers.size()) - 1);
    m_headers.clear();
    m_headerTwips.clear();
    endRemoveColumns();
}

void ListViewModel::flushPendingRows()
{
    const int total = static_cast<int>(m_rows.size());
    if (m_announced >= total)
        return;
    beginInsertRows(QModelIndex(), m_announced, total - 1);
    m_announced = total;
    endInsertRows();
}

void ListViewModel::setAnnounceInterval(int intervalMs)
{
    if (intervalMs > 0) {
        m_announceTimer.setInterval(intervalMs);
        return;
    }
    m_announceTimer.setInterval(0);
    m_announceTimer.stop();
    flushPendingRows();
}

void ListViewModel::scheduleFlush()
{
    if (m_announceTimer.interval() > 0) {
        // One timer per batch: a posted event per row costs the loop a wake-up each.
        if (!m_announceTimer.isActive())
            m_announceTimer.start();
        return;
    }
    if (m_flushPosted)
        return;
    m_flushPosted = true;
    QCoreApplication::postEvent(this, new QEvent(kFlushEvent));
}

bool ListViewModel::event(QEvent *e)
{
    if (e->type() == kFlushEvent) {
        m_flushPosted = false;
        flushPendingRows();
        return true;
    }
    return QAbstractItemModel::event(e);
}

int ListViewModel::sortedInsertPosition(QStringView text) const
{
    // After rows with an equal text, so equal rows keep their order of arrival.
    const auto it = std::upper_bound(m_rows.begin(), m_rows.end(), text,
                                     [this](QStringView t, const Row &r) { return textLess(t, m_texts.view(r.cells[0])); });
    return static_cast<int>(it - m_rows.begin());
}

void ListViewModel::sortRows()
{
    flushPendingRows();
    std::vector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return textLess(m_texts.view(m_rows[static_cast<size_t>(a)].cells[0]),
                        m_texts.view(m_rows[static_cast<size_t>(b)].cells[0]));
    });
    if (std::is_sorted(order.begin(), order.end()))
        return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPosition(order.size());
    std::vector<Row> sortedRows;
    sortedRows.reserve(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newPosition[static_cast<size_t>(order[i])] = static_cast<int>(i);
        sortedRows.push_back(std::move(m_rows[static_cast<size_t>(order[i])]));
    }
    m_rows = std::move(sortedRows);
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (const QModelIndex &idx : persistent)
        moved.append(createIndex(newPosition[static_cast<size_t>(idx.row())], idx.column()));
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QModelIndex ListViewModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= m_announced || column < 0 || column >= m_headers.size())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex ListViewModel::parent(const QModelIndex &) const
{
    return QModelIndex();
}

QModelIndex ListViewModel::sibling(int row, int column, const QModelIndex &) const
{
    return index(row, column);
}

int ListViewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_announced;
}

int ListViewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

bool ListViewModel::hasChildren(const QModelIndex &parent) const
{
    return !parent.isValid() && m_announced > 0 && !m_headers.isEmpty();
}

QVariant ListViewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_announced)
        return QVariant();
    const Row &r = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (index.column() <= kSubItems)
            return cell(index.row(), index.column());
        return QVariant();
    case Qt::CheckStateRole:
        if (index.column() == 0)
            return r.checked ? Qt::Checked : Qt::Unchecked;
        return QVariant();
    default:
        return QVariant();
    }
}

bool ListViewModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 || index.row() >= m_announced)
        return false;
    const bool checked = value.toInt() != Qt::Unchecked;
    Row &r = m_rows[static_cast<size_t>(index.row())];
    if (r.checked == checked)
        return true;
    r.checked = checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit userChecked(index.row());
    return true;
}

Qt::ItemFlags ListViewModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ListViewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_headers.size())
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_headers.at(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return QVariant();
}

} // namespace larkspan
