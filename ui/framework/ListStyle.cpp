#include "ui/framework/ListStyle.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableWidget>

namespace {

// Every cell a click, a key or the program selects or makes current stands for the first
// cell of its row, so the highlight and the focus frame sit on the row's label alone.
class FirstCellSelection : public QItemSelectionModel {
public:
    using QItemSelectionModel::QItemSelectionModel;

    void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override {
        QItemSelectionModel::setCurrentIndex(firstCell(index), command);
    }
    void select(const QModelIndex& index, SelectionFlags command) override {
        QItemSelectionModel::select(firstCell(index), command);
    }
    void select(const QItemSelection& selection, SelectionFlags command) override {
        QItemSelection cells;
        for (const QItemSelectionRange& range : selection)
            cells.select(firstCell(range.topLeft()), firstCell(range.bottomRight()));
        QItemSelectionModel::select(cells, command);
    }

private:
    static QModelIndex firstCell(const QModelIndex& index) {
        return index.isValid() ? index.siblingAtColumn(0) : index;
    }
};

}  // namespace

void applyListStyle(QTableWidget& list, ListSelection selection) {
    list.setShowGrid(true);
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    if (selection == ListSelection::WholeRow) {
        list.setSelectionBehavior(QAbstractItemView::SelectRows);
    } else {
        list.setSelectionBehavior(QAbstractItemView::SelectItems);
        // The list's own selection and current-item signals stay with the model it was
        // built with: whoever needs them connects to list.selectionModel().
        QItemSelectionModel* previous = list.selectionModel();
        list.setSelectionModel(new FirstCellSelection(list.model(), &list));
        delete previous;
    }
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* rows = list.verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(kListRowHeight);
    QHeaderView* columns = list.horizontalHeader();
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setStretchLastSection(false);
}
