#pragma once

#include <QPoint>

class QPainter;

// Lines as the charts and the printed tables draw them: from the first point up to, but not
// including, the last one. Qt's 1-pixel pen (square cap) paints both end points, and a flat
// cap leaves out whichever end lies right or below, whatever the direction, so the end is
// taken one pixel short instead, along the line's longer axis. A line of no length draws
// nothing.
void drawLineExcludingEnd(QPainter& painter, QPoint from, QPoint to);

// A polyline through `count` points in the same way: every point but the last is painted.
void drawPolylineExcludingEnd(QPainter& painter, const QPoint* points, int count);
