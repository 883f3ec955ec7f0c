#pragma once
// A read-only list in report style: column titles, one row of texts per
// record, grid lines and a single selected row. The rows live in a flat
// model so that lists of a hundred thousand rows fill and scroll quickly.

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>
#include <memory>
#include <vector>

namespace wdx::common {

// Rows a list shows without holding their texts: the list asks for a cell's
// text only when it draws the cell, so handing over a hundred thousand
// records costs no more than handing over ten.
class TListSource {
public:
    virtual ~TListSource() = default;
    virtual int Count() const = 0;
    // Row and Column are within range; the first column is the caption.
    virtual QString Text(int Row, int Column) const = 0;
};

class TListItems : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetColumns(const QStringList& Titles);
    // Empties the list.
    void Clear();
    // Appends one row; its first text is the row's caption.
    void Add(QStringList Cells);
    // Replaces every row at once (one view update, however many rows).
    void Assign(std::vector<QStringList> Rows);
    // Changes one cell of an existing row (the caption is column 0).
    void SetText(int Row, int Column, const QString& Text);
    // Removes one row; the rows after it move up.
    void Delete(int Row);
    // The same, with rows whose texts Source gives when they are drawn. The
    // list owns Source until the next Clear or Assign.
    void Assign(std::unique_ptr<TListSource> Source);

    int Count() const { return FSource ? FSource->Count() : static_cast<int>(FRows.size()); }
    // Text of one cell; empty when the row has fewer texts.
    QString Text(int Row, int Column) const;
    QString Caption(int Row) const { return Text(Row, 0); }

    int rowCount(const QModelIndex& Parent = {}) const override;
    int columnCount(const QModelIndex& Parent = {}) const override;
    QVariant data(const QModelIndex& Index, int Role) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

private:
    // Turns source rows into rows of texts, so that single rows can be added.
    void Materialize();

    QStringList FTitles;
    std::vector<QStringList> FRows;
    std::unique_ptr<TListSource> FSource; // when set, the rows; FRows is empty
};

class TListView : public QTableView {
    Q_OBJECT
public:
    explicit TListView(QWidget* Parent = nullptr);

    TListItems* Items() const { return FItems; }
    // Titles and widths of the columns, in order.
    void SetColumns(const QStringList& Titles, const std::vector<int>& Widths);

    // Index of the selected row, or -1.
    int SelectedRow() const;
    // Selects one row (or none for -1) without moving the focus.
    void SelectRow(int Row);

    // Whether the selection is drawn while the list has no focus.
    void SetHideSelection(bool Hide);
    bool HideSelection() const { return FHideSelection; }

signals:
    // A click of the left button in the list, on a row or on its empty part,
    // once the selection has followed it. Moving the selection with the
    // keyboard is no click, and a double-click counts as its first click only.
    void Click();

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;

private:
    TListItems* FItems;
    bool FHideSelection = false;
    bool FLeftPressed = false; // a left press in the list waits for its release
    bool FInDoubleClick = false;
};

} // namespace wdx::common
