#include "ui/framework/LineDrawing.h"

#include <QPainter>
#include <cmath>
#include <cstdlib>

namespace {

// The last pixel before `to`: one step back along the longer axis, the other coordinate
// where the line crosses that column or row, rounded to the nearest pixel.
QPoint oneShortOf(QPoint from, QPoint to) {
    const int dx = to.x() - from.x();
    const int dy = to.y() - from.y();
    if (std::abs(dx) >= std::abs(dy)) {
        const int x = to.x() - (dx > 0 ? 1 : -1);
        const double y = from.y() + static_cast<double>(x - from.x()) * dy / dx;
        return {x, static_cast<int>(std::lround(y))};
    }
    const int y = to.y() - (dy > 0 ? 1 : -1);
    const double x = from.x() + static_cast<double>(y - from.y()) * dx / dy;
    return {static_cast<int>(std::lround(x)), y};
}

}  // namespace

void drawLineExcludingEnd(QPainter& painter, QPoint from, QPoint to) {
    if (from == to) return;
    painter.drawLine(from, oneShortOf(from, to));
}

void drawPolylineExcludingEnd(QPainter& painter, const QPoint* points, int count) {
    if (count < 2) return;
    // Repeats of the last point add nothing: the end is left out after the last real step.
    const QPoint end = points[count - 1];
    int last = count - 1;
    while (last > 0 && points[last - 1] == end) --last;
    if (last == 0) return;
    if (last > 1) painter.drawPolyline(points, last);
    drawLineExcludingEnd(painter, points[last - 1], end);
}
