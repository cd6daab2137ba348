#pragma once

#include "ui/framework/TablePage.h"
#include "ui/framework/View.h"
#include "ui/history/HistorySnapshot.h"

class QTableWidget;
class Recorder;

// What differs between the days table and the months table, on screen and on paper.
struct HistoryTableKind {
    HistoryTable table;
    int rows;
    const char* firstCaption;  // column 0 on screen
    const char* printTitle;
    const char* printFirstCaption;  // column 0 on paper
};

extern const HistoryTableKind kDaysTable;
extern const HistoryTableKind kMonthsTable;

// The left pane of a history window: a three-column list of the energy table, built on
// first display and refreshed in place on every update. It is the pane that prints.
class HistoryTableView : public View {
    Q_OBJECT
public:
    HistoryTableView(Recorder& recorder, const HistoryTableKind& kind, QWidget* parent = nullptr);
    ~HistoryTableView() override;

    // Builds the rows: labels, then the values of the table as it is now.
    void onInitialUpdate() override;
    // Rewrites columns 1 and 2; labels, selection and scroll position stay as they are.
    void onDocumentChanged(View* sender) override;

    QTableWidget* list() const { return m_list; }
    // The table as it goes on paper, with the column widths it has on screen now.
    TablePrintout printout() const;

protected:
    // Column 0 of row `row`; months are labelled back from `currentMonth`.
    QString rowLabel(int row, int currentMonth) const;

private:
    void buildList();
    void writeValues();

    Recorder& m_recorder;
    const HistoryTableKind& m_kind;
    QTableWidget* m_list = nullptr;
    bool m_built = false;
};
