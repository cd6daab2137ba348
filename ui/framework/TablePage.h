#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QPainter;

// One table as it goes on paper: title, data rows, the printed column captions, the
// on-screen column widths (pixels) that set the printed proportions, and the cell texts.
struct TablePrintout {
    QString title;
    int rows = 0;
    std::array<QString, 3> captions;
    std::array<int, 3> columnWidths{};
    // Text of data row `row`, column `column`; empty where the list has no such row.
    std::function<QString(int row, int column)> cell;
};

// Where everything of a one-page table printout lies, in device units of the output.
// The page is laid out on a virtual page of 2800 x 4480 units scaled onto the printable
// area by sx and sy, both single precision like every intermediate position below.
struct TablePageLayout {
    static constexpr float kPageWidth = 2800.0f;
    static constexpr float kPageHeight = 4480.0f;

    float sx = 0;
    float sy = 0;
    float rowHeight = 0;                 // 100 units, not rounded
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;  // the frame
    int captionLine = 0;                 // bottom of the grey caption band
    QRect titleBox;
    std::vector<int> rowLines;     // N - 1 lines between the data rows
    std::array<int, 3> widths{};   // printed column widths
    std::array<int, 4> columnX{};  // left edges of the columns, then the right end
    QRect stampBox;

    // `printable` is the printable area's right and bottom edge in device units.
    static TablePageLayout compute(QSize printable, const std::array<int, 3>& screenWidths,
                                   int rows);

    QRect captionBox(int column) const;
    QRect cellBox(int row, int column) const;
};

// Draws the whole page on `painter`, whose device units start at the printable area's
// top-left; `now` (seconds since 1970-01-01 UTC) is printed in local time under the frame.
void paintTablePage(QPainter& painter, QSize printable, const TablePrintout& table, int64_t now);

// "%Y-%m-%d %H:%M:%S" in local time.
QString printTimeStamp(int64_t now);

// The title face, or a bold sans-serif with CJK coverage where that face is missing;
// `height` is the character cell height in device units.
QFont titleFont(int height);
// The face of captions, cells and time stamp, with the same fallback in a regular weight.
QFont textFont(int height);
