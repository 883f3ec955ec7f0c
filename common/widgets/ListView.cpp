#include "common/widgets/ListView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>

namespace wdx::common {

void TListItems::SetColumns(const QStringList& Titles) {
    beginResetModel();
    FTitles = Titles;
    endResetModel();
}

void TListItems::Clear() {
    if (FRows.empty() && !FSource)
        return;
    beginResetModel();
    FRows.clear();
    FSource.reset();
    endResetModel();
}

void TListItems::Add(QStringList Cells) {
    Materialize();
    int row = Count();
    beginInsertRows({}, row, row);
    FRows.push_back(std::move(Cells));
    endInsertRows();
}

void TListItems::Assign(std::vector<QStringList> Rows) {
    beginResetModel();
    FSource.reset();
    FRows = std::move(Rows);
    endResetModel();
}

void TListItems::SetText(int Row, int Column, const QString& Text) {
    Materialize();
    if (Row < 0 || Row >= Count() || Column < 0)
        return;
    QStringList& cells = FRows[static_cast<size_t>(Row)];
    while (cells.size() <= Column)
        cells << QString();
    cells[Column] = Text;
    QModelIndex cell = index(Row, Column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void TListItems::Delete(int Row) {
    Materialize();
    if (Row < 0 || Row >= Count())
        return;
    beginRemoveRows({}, Row, Row);
    FRows.erase(FRows.begin() + Row);
    endRemoveRows();
}

void TListItems::Assign(std::unique_ptr<TListSource> Source) {
    beginResetModel();
    FRows.clear();
    FSource = std::move(Source);
    endResetModel();
}

void TListItems::Materialize() {
    if (!FSource)
        return;
    std::unique_ptr<TListSource> source = std::move(FSource);
    const int rows = source->Count(), columns = columnCount();
    FRows.reserve(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        QStringList cells;
        for (int c = 0; c < columns; ++c)
            cells << source->Text(r, c);
        FRows.push_back(std::move(cells));
    }
}

QString TListItems::Text(int Row, int Column) const {
    if (Row < 0 || Row >= Count())
        return {};
    if (FSource)
        return Column >= 0 && Column < FTitles.size() ? FSource->Text(Row, Column) : QString();
    const QStringList& cells = FRows[static_cast<size_t>(Row)];
    return Column >= 0 && Column < cells.size() ? cells.at(Column) : QString();
}

int TListItems::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : Count(); }

int TListItems::columnCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : static_cast<int>(FTitles.size());
}

QVariant TListItems::data(const QModelIndex& Index, int Role) const {
    if (Role != Qt::DisplayRole || !Index.isValid())
        return {};
    return Text(Index.row(), Index.column());
}

QVariant TListItems::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Role == Qt::DisplayRole && Orientation == Qt::Horizontal && Section >= 0 && Section < FTitles.size())
        return FTitles.at(Section);
    return QAbstractTableModel::headerData(Section, Orientation, Role);
}

TListView::TListView(QWidget* Parent) : QTableView(Parent), FItems(new TListItems(this)) {
    setModel(FItems);
    setShowGrid(true);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    // Fixed row heights let the view skip measuring rows: big lists stay fast.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetHideSelection(false);
}

void TListView::SetColumns(const QStringList& Titles, const std::vector<int>& Widths) {
    FItems->SetColumns(Titles);
    for (int c = 0; c < Titles.size() && static_cast<size_t>(c) < Widths.size(); ++c)
        setColumnWidth(c, Widths[static_cast<size_t>(c)]);
}

int TListView::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TListView::SelectRow(int Row) {
    if (Row < 0 || Row >= FItems->Count()) {
        selectionModel()->clearSelection();
        return;
    }
    QModelIndex index = FItems->index(Row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TListView::mousePressEvent(QMouseEvent* Event) {
    FLeftPressed = Event->button() == Qt::LeftButton && !FInDoubleClick;
    QTableView::mousePressEvent(Event);
}

void TListView::mouseReleaseEvent(QMouseEvent* Event) {
    const bool click = FLeftPressed && Event->button() == Qt::LeftButton;
    if (click)
        FLeftPressed = false;
    QTableView::mouseReleaseEvent(Event);
    if (click)
        emit Click();
}

void TListView::mouseDoubleClickEvent(QMouseEvent* Event) {
    // The second press of a double-click starts no click of its own, also
    // where the view treats it as a press (outside the rows).
    FLeftPressed = false;
    FInDoubleClick = true;
    QTableView::mouseDoubleClickEvent(Event);
    FInDoubleClick = false;
}

void TListView::SetHideSelection(bool Hide) {
    FHideSelection = Hide;
    QPalette p = palette();
    if (Hide) {
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Inactive, QPalette::Base));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Inactive, QPalette::Text));
    } else {
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Active, QPalette::HighlightedText));
    }
    setPalette(p);
}

} // namespace wdx::common
