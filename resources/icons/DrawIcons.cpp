// Draws Kelvo's toolbar buttons (23 x 16) and its window icon (48 x 48), saved as PNGs next
// to this file. Run once after changing the artwork:
//   g++ -std=c++20 -fPIC DrawIcons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/icons
//   QT_QPA_PLATFORM=offscreen /tmp/icons .
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

const QColor kConsumption(52, 101, 164);
const QColor kSolar(237, 160, 30);

QImage canvas(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// Pairs of consumption / solar bars; `pairs` bars wide over the 23-pixel button.
QImage historyBars(int pairs, const int* heights, bool calendarTab) {
    QImage image = canvas(23, 16);
    QPainter p(&image);
    p.setPen(QColor(90, 90, 90));
    p.drawLine(1, 15, 21, 15);
    const int pairWidth = 20 / pairs;
    for (int i = 0; i < pairs; ++i) {
        const int x = 2 + i * pairWidth;
        const int bar = std::max(1, pairWidth / 2 - (pairs > 3 ? 0 : 1));
        p.fillRect(x, 15 - heights[2 * i], bar, heights[2 * i], kConsumption);
        p.fillRect(x + bar, 15 - heights[2 * i + 1], bar, heights[2 * i + 1], kSolar);
    }
    if (calendarTab) {  // a small page corner marks "days"
        p.fillRect(16, 0, 6, 5, Qt::white);
        p.setPen(QColor(170, 40, 40));
        p.drawRect(16, 0, 6, 5);
        p.drawLine(16, 1, 22, 1);
    } else {  // three stacked ticks mark "months"
        p.setPen(QColor(60, 120, 60));
        for (int i = 0; i < 3; ++i) p.drawLine(17, 1 + 2 * i, 22, 1 + 2 * i);
    }
    return image;
}

QImage realTime() {
    QImage image = canvas(23, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(90, 90, 90));
    p.drawLine(1, 15, 22, 15);
    p.drawLine(1, 1, 1, 15);
    QPainterPath wave;
    wave.moveTo(2, 11);
    for (int x = 3; x <= 21; ++x) wave.lineTo(x, 8 - 5 * std::sin((x - 2) * 0.55));
    p.setPen(QPen(QColor(200, 30, 30), 1.6));
    p.drawPath(wave);
    return image;
}

// A plug and a socket, joined or apart.
QImage plug(bool joined) {
    QImage image = canvas(23, 16);
    QPainter p(&image);
    const int gap = joined ? 0 : 4;
    const QColor body = joined ? QColor(40, 140, 60) : QColor(180, 40, 40);
    p.fillRect(1, 5, 7, 6, QColor(110, 110, 110));  // cable end, left
    p.fillRect(8, 3, 4, 10, body);                  // plug body
    p.fillRect(12, 5, 3, 2, QColor(200, 170, 60));  // pins
    p.fillRect(12, 9, 3, 2, QColor(200, 170, 60));
    p.fillRect(15 + gap - (joined ? 3 : 0), 3, 4, 10, body);  // socket
    p.fillRect(19 + gap - (joined ? 3 : 0), 6, 4, 4, QColor(110, 110, 110));
    return image;
}

QImage appIcon() {
    QImage image = canvas(48, 48);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 204, 51));  // sun
    p.drawEllipse(QPointF(34, 12), 8, 8);
    p.setPen(QPen(QColor(255, 190, 40), 2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        p.drawLine(QPointF(34, 12) + QPointF(std::cos(a), std::sin(a)) * 10.5,
                   QPointF(34, 12) + QPointF(std::cos(a), std::sin(a)) * 13.5);
    }
    p.setPen(Qt::NoPen);  // house
    p.setBrush(QColor(250, 245, 235));
    p.drawRect(6, 26, 26, 19);
    QPainterPath roof;
    roof.moveTo(2, 28);
    roof.lineTo(19, 13);
    roof.lineTo(36, 28);
    roof.closeSubpath();
    p.setBrush(kConsumption);
    p.drawPath(roof);
    QPainterPath bolt;  // lightning bolt on the wall
    bolt.moveTo(21, 28);
    bolt.lineTo(14, 37);
    bolt.lineTo(19, 37);
    bolt.lineTo(16, 45);
    bolt.lineTo(25, 34);
    bolt.lineTo(20, 34);
    bolt.closeSubpath();
    p.setBrush(kSolar);
    p.drawPath(bolt);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(6, 26, 26, 19);
    return image;
}

// A filing box with a curve above it: the archive of past days.
QImage archive() {
    QImage image = canvas(23, 16);
    QPainter p(&image);
    p.fillRect(4, 8, 15, 7, QColor(150, 110, 60));
    p.setPen(QColor(90, 60, 30));
    p.drawRect(4, 8, 14, 7);
    p.drawLine(9, 11, 13, 11);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath curve;
    curve.moveTo(3, 6);
    curve.cubicTo(7, 0, 11, 7, 14, 3);
    curve.lineTo(19, 1);
    p.setPen(QPen(kConsumption, 1.4));
    p.drawPath(curve);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const int days[] = {9, 6, 12, 9, 7, 11, 10, 13};
    const int months[] = {8, 12, 13, 10};
    bool ok = historyBars(4, days, true).save(dir + "/history_days.png");
    ok = historyBars(2, months, false).save(dir + "/history_months.png") && ok;
    ok = realTime().save(dir + "/real_time.png") && ok;
    ok = plug(true).save(dir + "/connect.png") && ok;
    ok = plug(false).save(dir + "/disconnect.png") && ok;
    ok = appIcon().save(dir + "/kelvo.png") && ok;
    ok = archive().save(dir + "/archive.png") && ok;
    return ok ? 0 : 1;
}
