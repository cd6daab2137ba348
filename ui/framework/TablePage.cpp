#include "ui/framework/TablePage.h"

#include <QColor>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QStringList>
#include <algorithm>
#include <ctime>

#include "ui/framework/LineDrawing.h"

namespace {

// A rectangle given by its four edges; right and bottom are the far edges.
QRect box(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

int trunc(float v) { return static_cast<int>(v); }

const QColor kColumnLine(0, 0, 255);
const QColor kRowLine(0, 192, 192);
const QColor kCaptionBand(192, 192, 192);
constexpr int kFramePenWidth = 8;  // device units, not scaled with the page
constexpr int kColumnPenWidth = 3;
constexpr int kRowPenWidth = 1;

// A font whose character cell (ascent + descent) is `height` device units, the way the
// page sizes its texts, whatever the face's own proportions.
QFont cellHeightFont(const QStringList& families, QFont::StyleHint hint, int height, bool bold) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    const int wanted = std::max(1, height);
    font.setPixelSize(wanted);
    const qreal cell = QFontMetricsF(font).height();
    if (cell > 0) font.setPixelSize(std::max(1, static_cast<int>(wanted * wanted / cell)));
    return font;
}

constexpr int kCentredTop = Qt::AlignHCenter | Qt::AlignTop;

// White frame, caption line in the frame pen, then the grey band over the caption row.
void drawFrame(QPainter& painter, const TablePageLayout& l) {
    painter.setPen(QPen(Qt::black, kFramePenWidth));
    painter.setBrush(Qt::white);
    painter.drawRect(box(l.x0, l.y0, l.x1, l.y1));
    painter.drawLine(l.x0, l.captionLine, l.x1, l.captionLine);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(QBrush(kCaptionBand));
    painter.drawRect(box(l.x0, l.y0, l.x1 - 1, l.captionLine - 1));
    painter.setBrush(Qt::NoBrush);
}

// The lines between the data rows, then each column's caption and the line on its right.
void drawGrid(QPainter& painter, const TablePageLayout& l, const std::array<QString, 3>& captions,
              const QPen& textPen) {
    // The 1-unit row pen leaves out the end point, so the frame keeps its black at x1.
    painter.setPen(QPen(kRowLine, kRowPenWidth));
    for (int y : l.rowLines) drawLineExcludingEnd(painter, {l.x0, y}, {l.x1, y});

    const QPen columnPen(kColumnLine, kColumnPenWidth);
    for (int j = 0; j < 3; ++j) {
        painter.setPen(textPen);
        painter.drawText(l.captionBox(j), kCentredTop, captions[j]);
        if (j < 2) {
            // The last column is closed by the frame.
            const int x = l.columnX[j + 1];
            painter.setPen(columnPen);
            painter.drawLine(x, l.y0, x, l.y1);
        }
    }
}

}  // namespace

TablePageLayout TablePageLayout::compute(QSize printable, const std::array<int, 3>& screenWidths,
                                         int rows) {
    TablePageLayout l;
    l.sx = static_cast<float>(printable.width()) / kPageWidth;
    l.sy = static_cast<float>(printable.height()) / kPageHeight;
    l.rowHeight = 100.0f * l.sy;
    l.x0 = trunc(200.0f * l.sx);
    l.x1 = trunc(2600.0f * l.sx);
    l.y0 = trunc(250.0f * l.sy);
    l.y1 = trunc(4350.0f * l.sy);
    l.captionLine = trunc(l.y0 + l.rowHeight);
    l.titleBox = box(l.x0, trunc(100.0f * l.sy), l.x1, trunc(200.0f * l.sy));

    float y = l.y0 + 2 * l.rowHeight;
    for (int i = 0; i < rows - 1; ++i) {
        l.rowLines.push_back(trunc(y));
        y += l.rowHeight;
    }

    int total = 0;
    for (int w : screenWidths) total += std::max(0, w);
    l.columnX[0] = l.x0;
    for (int j = 0; j < 3; ++j) {
        // Columns keep their on-screen proportions; a list whose columns are all zero wide
        // (or hidden) prints three equal columns rather than dividing by nothing.
        if (total > 0)
            l.widths[j] = trunc(std::max(0, screenWidths[j]) * l.sx * 2400.0f / total);
        else
            l.widths[j] = trunc(l.sx * 2400.0f / 3.0f);
        l.columnX[j + 1] = l.columnX[j] + l.widths[j];
    }

    l.stampBox = box(trunc(1800.0f * l.sy), l.y1, l.x1, trunc(l.y1 + l.rowHeight));
    return l;
}

QRect TablePageLayout::captionBox(int column) const {
    const int top = y0 - trunc(-20.0f * sy);
    return box(columnX[column], top, columnX[column] + widths[column], captionLine);
}

QRect TablePageLayout::cellBox(int row, int column) const {
    // Accumulated like the row lines, so a text keeps its 15 units under the line above.
    float y = y0 + 15.0f * sy;
    for (int i = 0; i <= row; ++i) y += rowHeight;
    return box(columnX[column], trunc(y), columnX[column] + widths[column], trunc(y + rowHeight));
}

QString printTimeStamp(int64_t now) {
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return QString();
    char text[32];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return QString::fromLatin1(text, static_cast<int>(n));
}

QFont titleFont(int height) {
    return cellHeightFont(
        {QStringLiteral("黑体"), QStringLiteral("SimHei"), QStringLiteral("WenQuanYi Zen Hei"),
         QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback")},
        QFont::SansSerif, height, true);
}

QFont textFont(int height) {
    return cellHeightFont(
        {QStringLiteral("楷体_GB2312"), QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"),
         QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC")},
        QFont::SansSerif, height, false);
}

void paintTablePage(QPainter& painter, QSize printable, const TablePrintout& table, int64_t now) {
    const TablePageLayout l = TablePageLayout::compute(printable, table.columnWidths, table.rows);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBackgroundMode(Qt::TransparentMode);

    // Created for this page only and dropped when it returns.
    const QFont heading = titleFont(trunc(100.0f * l.sy));
    const QFont text = textFont(trunc(60.0f * l.sy));
    const QPen textPen(Qt::black);

    painter.setPen(textPen);
    painter.setFont(heading);
    painter.drawText(l.titleBox, kCentredTop, table.title);
    painter.setFont(text);

    drawFrame(painter, l);
    drawGrid(painter, l, table.captions, textPen);

    painter.setPen(textPen);
    painter.drawText(l.stampBox, Qt::AlignLeft | Qt::AlignTop, printTimeStamp(now));

    for (int i = 0; i < table.rows; ++i) {
        for (int j = 0; j < 3; ++j) {
            const QString cell = table.cell ? table.cell(i, j) : QString();
            if (!cell.isEmpty()) painter.drawText(l.cellBox(i, j), kCentredTop, cell);
        }
    }
    painter.restore();
}
