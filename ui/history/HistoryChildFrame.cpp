#include "ui/history/HistoryChildFrame.h"

#include <QSplitter>
#include <algorithm>

#include "ui/framework/CDocTemplate.h"
#include "ui/framework/CView.h"

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

HistoryChildFrame::HistoryChildFrame(const QString& caption, int tableWidth, ChartFactory chart)
    : CChildFrame(caption), m_tableWidth(tableWidth), m_makeChart(std::move(chart)) {}

bool HistoryChildFrame::OnCreateClient(CDocument* document, CDocTemplate& docTemplate) {
    CView* table = docTemplate.createFirstView(document);
    CView* chart = table ? CDocTemplate::createView(document, m_makeChart) : nullptr;
    if (!table || !chart) {
        delete table;
        return false;
    }
    const int cx = std::max(0, contentsRect().width());
    m_splitter = new PaneSplitter(m_tableWidth);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(table);
    m_splitter->addWidget(chart);
    // The table keeps its width when the window is resized; the chart takes the change.
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({m_tableWidth, std::max(1, cx - m_tableWidth)});
    setWidget(m_splitter);
    SetActiveView(table);
    return true;
}
