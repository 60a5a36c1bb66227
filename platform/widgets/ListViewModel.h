#pragma once

#include <QAbstractItemModel>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTimer>

#include "platform/core/TextArena.h"
#include <array>
#include <vector>

namespace larkspan {

// The rows behind the message list: a flat table of texts (item text and sub-items
// 1 to 5) with one tick per row.
//
// Appending is the hot path (a retrieval run appends one row per message, a benchmark
// a hundred thousand at once), so appended rows are collected and announced to the
// views in one insertion when the event loop next runs (or, paced, once an interval),
// or at once when anything else touches the announced rows. The list's own accessors
// see every row immediately; views see only announced rows, which keeps the model
// contract intact.
class ListViewModel : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int kSubItems = 5;

    explicit ListViewModel(QObject *parent = nullptr);

    // Every row, announced or not. Rows here are 0-based.
    int rowTotal() const { return static_cast<int>(m_rows.size()); }
    int appendRow(const QString &text); // returns the 0-based position of the new row
    void clearRows();

    QString cell(int row, int column) const { return cellView(row, column).toString(); }
    QStringView cellView(int row, int column) const
    {
        return m_texts.view(m_rows[static_cast<size_t>(row)].cells[static_cast<size_t>(column)]);
    }
    void setCell(int row, int column, const QString &text);
    bool isChecked(int row) const { return m_rows[static_cast<size_t>(row)].checked; }
    void setCheckedByProgram(int row, bool checked);

    bool isSorted() const { return m_sorted; }
    void setSorted(bool sorted);

    int headerCount() const { return static_cast<int>(m_headers.size()); }
    const QString &header(int column) const { return m_headers.at(column); }
    void addHeader(const QString &text);
    void clearHeaders();
    // The width a column was given, in twips (kept with the header for the view).
    int headerTwips(int column) const { return m_headerTwips.at(column); }
    void setHeaderTwips(int column, int twips) { m_headerTwips[column] = twips; }

    // Announces the rows appended since the last announcement.
    void flushPendingRows();
    // With an interval, appended rows are announced at most once per interval rather
    // than at every turn of the event loop; 0 announces what is pending and goes back.
    void setAnnounceInterval(int intervalMs);

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &idx) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Tick changes arriving here come from a view, that is from the user.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // A view changed a row's tick (row 0-based).
    void userChecked(int row);

protected:
    bool event(QEvent *e) override;

private:
    struct Row {
        std::array<TextArena::Ref, kSubItems + 1> cells;
        bool checked = false;
    };

    int sortedInsertPosition(QStringView text) const;
    void sortRows();
    void scheduleFlush();

    std::vector<Row> m_rows;
    TextArena m_texts; // every cell's text
    QStringList m_headers;
    QList<int> m_headerTwips;
    int m_announced = 0; // rows the views know about
    bool m_flushPosted = false;
    QTimer m_announceTimer; // runs while paced rows wait
    bool m_sorted = false;
};

} // namespace larkspan
