#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include "QtTestApp.h"
#include "ui/history/TablePage.h"
#include "ui/history/TablePrinting.h"

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

bool isDark(QRgb p) { return qGray(p) < 128; }

int darkPixels(const QImage& image, const QRect& area) {
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (isDark(image.pixel(x, y))) ++n;
    return n;
}

}  // namespace

TEST(TablePageLayout, UnitPageGeometry) {
    struct Case {
        int rows;
        int rowLines;
    };
    for (const Case c : {Case{40, 39}, Case{12, 11}, Case{16, 15}}) {
        const TablePageLayout l = TablePageLayout::compute(kUnitPage, {45, 60, 60}, c.rows);
        EXPECT_EQ(QRect(QPoint(l.x0, l.y0), QPoint(l.x1, l.y1)),
                  QRect(QPoint(200, 250), QPoint(2600, 4350)));
        EXPECT_EQ(l.captionLine, 350);
        EXPECT_EQ(l.titleBox, QRect(200, 100, 2400, 100));
        EXPECT_EQ(l.stampBox, QRect(1800, 4350, 800, 100));
        ASSERT_EQ(int(l.rowLines.size()), c.rowLines);
        for (int i = 0; i < c.rowLines; ++i) EXPECT_EQ(l.rowLines[i], 450 + 100 * i);
        EXPECT_EQ(l.captionBox(1), QRect(854, 270, 872, 80));
        EXPECT_EQ(l.cellBox(0, 0), QRect(200, 365, 654, 100));
        EXPECT_EQ(l.cellBox(c.rows - 1, 2), QRect(1726, 365 + 100 * (c.rows - 1), 872, 100));
    }
}

TEST(TablePageLayout, ColumnsFollowScreenWidths) {
    struct Case {
        std::array<int, 3> screen;
        std::array<int, 3> printed;
    };
    const Case cases[] = {
        {{45, 60, 60}, {654, 872, 872}},     // the history tables as they open
        {{120, 120, 120}, {800, 800, 800}},  // the real-time list as it opens
        {{90, 60, 60}, {1028, 685, 685}},    // first column widened by the user
        {{0, 0, 0}, {800, 800, 800}},        // all hidden: equal columns, no division by 0
        {{0, 165, 0}, {0, 2400, 0}},        {{-3, 0, 0}, {800, 800, 800}},
    };
    for (const Case& c : cases) {
        const TablePageLayout l = TablePageLayout::compute(kUnitPage, c.screen, 40);
        EXPECT_EQ(l.widths, c.printed) << c.screen[0] << "/" << c.screen[1] << "/" << c.screen[2];
        EXPECT_EQ(l.columnX[0], 200);
        EXPECT_EQ(l.columnX[3], 200 + c.printed[0] + c.printed[1] + c.printed[2]);
    }
}

TEST(TablePageLayout, ScaledPagesStayInsideTheFrame) {
    // Printable areas of real printers: A4 at 600 dpi portrait and landscape, letter at 300.
    for (const QSize printable : {QSize(4760, 6814), QSize(6814, 4760), QSize(2400, 3150)}) {
        const TablePageLayout l = TablePageLayout::compute(printable, {45, 60, 60}, 40);
        const float frameWidth = 2400.0f * l.sx;
        EXPECT_LE(l.columnX[3], l.x1);
        EXPECT_GE(l.columnX[3], l.x1 - 4);
        EXPECT_LT(l.x1, printable.width());
        EXPECT_LT(l.stampBox.bottom(), printable.height());
        EXPECT_NEAR(l.x1 - l.x0, frameWidth, 1.0f);
        EXPECT_GT(l.rowLines.back(), l.captionLine);
        EXPECT_LT(l.rowLines.back(), l.y1);
        // The last row's text (60 units high, 15 under its line) ends inside the frame.
        EXPECT_LT(l.cellBox(39, 0).top() + 75.0f * l.sy, l.y1);
    }
}

TEST(TablePage, DrawsFrameGridCaptionsCellsAndStamp) {
    qtTestApp();
    QImage page(kUnitPage, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        paintTablePage(painter, kUnitPage, daysTable(), kNoon);
    }
    const QRgb black = qRgb(0, 0, 0);
    const QRgb rowLine = qRgb(0, 192, 192);
    const QRgb columnLine = qRgb(0, 0, 255);
    const QRgb band = qRgb(192, 192, 192);

    EXPECT_EQ(page.pixel(200, 2000), black);   // frame left
    EXPECT_EQ(page.pixel(2600, 2000), black);  // frame right
    EXPECT_EQ(page.pixel(1500, 4350), black);  // frame bottom
    EXPECT_EQ(page.pixel(2000, 350), black);   // caption line
    EXPECT_EQ(page.pixel(2000, 247), black);   // frame top, outside the grey band
    EXPECT_EQ(page.pixel(860, 340), band);
    EXPECT_EQ(page.pixel(2590, 300), band);
    for (int i = 0; i < 39; ++i) {
        EXPECT_EQ(page.pixel(1760, 450 + 100 * i), rowLine) << "row line " << i;
        EXPECT_EQ(page.pixel(1760, 451 + 100 * i), qRgb(255, 255, 255));
    }
    EXPECT_EQ(page.pixel(1760, 4350 - 50), qRgb(255, 255, 255));
    for (int x : {854, 1726}) {
        EXPECT_EQ(page.pixel(x, 2000), columnLine) << x;
        EXPECT_EQ(page.pixel(x, 4300), columnLine) << x;
    }
    EXPECT_NE(page.pixel(2163, 2000), columnLine);  // no line of the last column

    EXPECT_GT(darkPixels(page, QRect(200, 100, 2400, 100)), 0);  // title
    EXPECT_GT(darkPixels(page, QRect(205, 260, 640, 80)), 0);    // "Days"
    EXPECT_GT(darkPixels(page, QRect(860, 365, 860, 80)), 0);    // row 1 consumption
    EXPECT_GT(darkPixels(page, QRect(1730, 4265, 860, 80)), 0);  // row 40 solar
    EXPECT_GT(darkPixels(page, QRect(1800, 4360, 800, 90)), 0);  // time stamp
    EXPECT_EQ(darkPixels(page, QRect(0, 4360, 1790, 120)), 0);
    EXPECT_EQ(darkPixels(page, QRect(0, 0, 2800, 95)), 0);
}

TEST(TablePage, TimeStampIsLocalTimeToTheSecond) {
    qputenv("TZ", "UTC");
    tzset();
    EXPECT_EQ(printTimeStamp(kNoon), "2026-03-15 12:00:00");
    EXPECT_EQ(printTimeStamp(0), "1970-01-01 00:00:00");
    EXPECT_EQ(printTimeStamp(951782399), "2000-02-28 23:59:59");
}

TEST(TablePrinting, PdfPrintoutHasOnePage) {
    qtTestApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char* name;
        int rows;
        std::array<int, 3> widths;
        QPageLayout::Orientation orientation;
    };
    const Case cases[] = {{"days.pdf", 40, {45, 60, 60}, QPageLayout::Portrait},
                          {"months.pdf", 12, {0, 0, 0}, QPageLayout::Landscape},
                          {"realtime.pdf", 16, {120, 120, 120}, QPageLayout::Portrait}};
    for (const Case& c : cases) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageOrientation(c.orientation);
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        printer.setOutputFileName(path);
        TablePrintout table = daysTable();
        table.rows = c.rows;
        table.columnWidths = c.widths;
        ASSERT_TRUE(printTable(printer, table, kNoon)) << c.name;

        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.name;
        const QByteArray pdf = file.readAll();
        EXPECT_EQ(pdf.count("/Type /Page") - pdf.count("/Type /Pages"), 1) << c.name;
    }
}
