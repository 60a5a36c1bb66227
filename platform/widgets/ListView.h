#pragma once

#include <QTreeView>

namespace larkspan {

class ListViewModel;

// The message list control: report view with a tick box per row. Rows are numbered
// from 1; sub-items 1 to 5 are the columns after the row text. Asking for a row that
// does not exist raises AppError("Index out of bounds", 35600).
class ListView : public QTreeView {
    Q_OBJECT
public:
    explicit ListView(QWidget *parent = nullptr);
    ~ListView() override;

    int count() const;
    // Appends an unticked row with the given text; returns its 1-based number.
    int append(const QString &text);
    void clearItems();

    QString text(int row) const;
    void setText(int row, const QString &text);
    QString subItem(int row, int index) const; // index 1..5
    void setSubItem(int row, int index, const QString &text);
    bool checked(int row) const;
    // Program-side tick change: does not raise itemCheck.
    void setChecked(int row, bool checked);

    bool sorted() const;
    void setSorted(bool sorted);

    // Column headers; widths in twips (1440 to the inch). Column numbers are 1-based.
    void addColumn(const QString &header, int widthTwips);
    void clearColumns();
    int columnCount() const;
    QString columnHeader(int column) const;
    void setColumnWidthTwips(int column, int twips);
    int columnWidthTwips(int column) const;

    void refresh();
    // While a long run appends rows: show them at most once per interval (0: at once).
    void setAnnounceInterval(int intervalMs);

signals:
    // The user ticked or unticked a row (mouse or keyboard); row is 1-based.
    void itemCheck(int row);
    // Every row was removed (clearItems).
    void cleared();

private:
    ListViewModel *m_model;
};

// Twips and pixels for a widget's screen.
int TwipsToPixels(int twips, const QWidget *widget);
int PixelsToTwips(int pixels, const QWidget *widget);

} // namespace larkspan
