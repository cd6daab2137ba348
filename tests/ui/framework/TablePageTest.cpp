#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <ctime>

#include "support/QtTestApp.h"
#include "ui/framework/TablePage.h"

namespace {

const QSize kUnitPage(2800, 4480);     // sx = sy = 1
constexpr int64_t kNoon = 1773576000;  // 2026-03-15 12:00:00 UTC

TablePrintout daysTable() {
    TablePrintout t;
    t.title = QStringLiteral("History by days");
    t.rows = 40;
    t.captions = {QStringLiteral("Days"), QStringLiteral("Consumption(KWh)"),
                  QStringLiteral("Solar(KWh)")};
    t.columnWidths = {45, 60, 60};
    t.cell = [](int row, int column) {
        return column == 0 ? QString::number(row + 1) : QStringLiteral("65535");
    };
    return t;
}

int darkPixels(const QImage& image, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += qGray(image.pixel(x, y)) < 128;
    return n;
}

}  // namespace

TEST(TablePage, UnitPageGeometry) {
    for (const int rows : {40, 12, 16}) {
        const TablePageLayout l = TablePageLayout::compute(kUnitPage, {45, 60, 60}, rows);
        EXPECT_EQ(QRect(QPoint(l.x0, l.y0), QPoint(l.x1, l.y1)),
                  QRect(QPoint(200, 250), QPoint(2600, 4350)));
        EXPECT_EQ(l.captionLine, 350);
        EXPECT_EQ(l.titleBox, QRect(200, 100, 2400, 100));
        EXPECT_EQ(l.stampBox, QRect(1800, 4350, 800, 100));
        ASSERT_EQ(int(l.rowLines.size()), rows - 1);
        for (int i = 0; i < rows - 1; ++i) EXPECT_EQ(l.rowLines[i], 450 + 100 * i);
        EXPECT_EQ(l.captionBox(1), QRect(854, 270, 872, 80));
        EXPECT_EQ(l.cellBox(0, 0), QRect(200, 365, 654, 100));
        EXPECT_EQ(l.cellBox(rows - 1, 2), QRect(1726, 365 + 100 * (rows - 1), 872, 100));
    }
}

TEST(TablePage, ColumnsFollowScreenWidthsAndNeverDivideByZero) {
    struct Case {
        std::array<int, 3> screen, printed;
    };
    const Case cases[] = {
        {{45, 60, 60}, {654, 872, 872}},     // the history tables as they open
        {{120, 120, 120}, {800, 800, 800}},  // the real-time list as it opens
        {{90, 60, 60}, {1028, 685, 685}},    // first column widened by the user
        {{0, 0, 0}, {800, 800, 800}},        // all columns shrunk to nothing: equal columns
        {{0, 165, 0}, {0, 2400, 0}},
    };
    for (const Case& c : cases) {
        const TablePageLayout l = TablePageLayout::compute(kUnitPage, c.screen, 40);
        EXPECT_EQ(l.widths, c.printed) << c.screen[0] << "/" << c.screen[1] << "/" << c.screen[2];
        EXPECT_EQ(l.columnX[3], 200 + c.printed[0] + c.printed[1] + c.printed[2]);
    }
    // A printer's page: the columns still fill the frame, less the dropped fractions.
    const TablePageLayout a4 = TablePageLayout::compute(QSize(4760, 6814), {45, 60, 60}, 40);
    EXPECT_LE(a4.columnX[3], a4.x1);
    EXPECT_GE(a4.columnX[3], a4.x1 - 3);
}

TEST(TablePage, DrawsFrameGridCaptionsCellsAndStamp) {
    qtTestApp();
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(printTimeStamp(kNoon), "2026-03-15 12:00:00");
    QImage page(kUnitPage, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        paintTablePage(painter, kUnitPage, daysTable(), kNoon);
    }
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    EXPECT_EQ(page.pixel(200, 2000), black);   // frame left
    EXPECT_EQ(page.pixel(2600, 2000), black);  // frame right
    EXPECT_EQ(page.pixel(1500, 4350), black);  // frame bottom
    EXPECT_EQ(page.pixel(2000, 247), black);   // frame top, above the grey band
    EXPECT_EQ(page.pixel(2000, 350), black);   // caption line
    EXPECT_EQ(page.pixel(860, 340), qRgb(192, 192, 192));
    for (int i = 0; i < 39; ++i) {
        EXPECT_EQ(page.pixel(1760, 450 + 100 * i), qRgb(0, 192, 192)) << "row line " << i;
        EXPECT_EQ(page.pixel(1760, 451 + 100 * i), white);
    }
    // A row line starts on the frame and leaves out its end point, which stays frame black.
    EXPECT_EQ(page.pixel(200, 450), qRgb(0, 192, 192));
    EXPECT_EQ(page.pixel(2599, 450), qRgb(0, 192, 192));
    EXPECT_EQ(page.pixel(2600, 450), black);
    EXPECT_EQ(page.pixel(1760, 4300), white);
    EXPECT_EQ(page.pixel(854, 2000), qRgb(0, 0, 255));
    EXPECT_EQ(page.pixel(1726, 4300), qRgb(0, 0, 255));
    EXPECT_EQ(page.pixel(2163, 2000), white);  // no line of its own for the last column

    EXPECT_GT(darkPixels(page, QRect(200, 100, 2400, 100)), 0);  // title
    EXPECT_GT(darkPixels(page, QRect(205, 260, 640, 80)), 0);    // "Days"
    EXPECT_GT(darkPixels(page, QRect(1730, 4265, 860, 80)), 0);  // row 40 solar
    EXPECT_GT(darkPixels(page, QRect(1800, 4360, 800, 90)), 0);  // time stamp
    EXPECT_EQ(darkPixels(page, QRect(0, 4360, 1790, 120)), 0);
}
