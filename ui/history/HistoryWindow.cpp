#include "ui/history/HistoryWindow.h"

#include <QSplitter>
#include <algorithm>

#include "ui/framework/View.h"
#include "ui/framework/WindowKind.h"
#include "ui/history/BarChart.h"
#include "ui/history/HistoryChartView.h"
#include "ui/history/HistoryTableView.h"

namespace {

// Gives the first pane its initial width once the window has a size, and again after
// every resize until the user drags the bar: a window opened small and then maximized
// still shows the table at that width. The chart pane takes the rest.
class PaneSplitter : public QSplitter {
public:
    explicit PaneSplitter(int firstWidth) : QSplitter(Qt::Horizontal), m_firstWidth(firstWidth) {
        connect(this, &QSplitter::splitterMoved, this, [this] { m_userMoved = true; });
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QSplitter::resizeEvent(event);
        if (m_userMoved || count() < 2) return;
        const int room = width() - handleWidth();
        if (room <= 1) return;
        const int first = std::min(m_firstWidth, room - 1);
        setSizes({first, room - first});
    }

private:
    int m_firstWidth;
    bool m_userMoved = false;
};

}  // namespace

const HistoryWindowKind kHistoryByDays{"History by days", 180, kDaysTable, kDaysChart};
const HistoryWindowKind kHistoryByMonths{"History by months", 150, kMonthsTable, kMonthsChart};

HistoryWindow::HistoryWindow(Recorder& recorder, const HistoryWindowKind& kind)
    : ChildWindow(QString::fromLatin1(kind.caption)), m_recorder(recorder), m_kind(kind) {}

bool HistoryWindow::createPanes(Document* document, WindowKind& windowKind) {
    View* table = windowKind.createFirstView(document);
    View* chart =
        table ? WindowKind::createView(document,
                                       [this] {
                                           return new HistoryChartView(
                                               m_recorder, m_kind.table.table, m_kind.chart);
                                       })
              : nullptr;
    if (!table || !chart) {
        delete table;
        return false;
    }
    const int cx = std::max(0, contentsRect().width());
    m_splitter = new PaneSplitter(m_kind.tableWidth);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(table);
    m_splitter->addWidget(chart);
    // The table keeps its width when the window is resized; the chart takes the change.
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({m_kind.tableWidth, std::max(1, cx - m_kind.tableWidth)});
    setWidget(m_splitter);
    setActiveView(table);
    return true;
}
