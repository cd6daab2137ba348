// Draws Kelvo's built-in pictures: the login picture (425 x 300) and the about picture
// (350 x 160), saved as 24-bit PNGs next to this file. Run once after changing the artwork:
//   g++ -std=c++20 -fPIC DrawPictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw
//   QT_QPA_PLATFORM=offscreen /tmp/draw .
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace {

void drawSun(QPainter& p, QPointF centre, double radius) {
    QRadialGradient glow(centre, radius * 2.2);
    glow.setColorAt(0, QColor(255, 236, 150, 200));
    glow.setColorAt(1, QColor(255, 236, 150, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, radius * 2.2, radius * 2.2);
    p.setPen(QPen(QColor(255, 190, 40), 3, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 12; ++i) {
        const double a = i * M_PI / 6;
        p.drawLine(centre + QPointF(std::cos(a), std::sin(a)) * radius * 1.3,
                   centre + QPointF(std::cos(a), std::sin(a)) * radius * 1.7);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 204, 51));
    p.drawEllipse(centre, radius, radius);
}

void drawHouse(QPainter& p, QRectF body) {
    // Walls, door, window.
    p.setPen(QPen(QColor(70, 60, 55), 2));
    p.setBrush(QColor(236, 226, 208));
    p.drawRect(body);
    p.setBrush(QColor(120, 80, 50));
    p.drawRect(QRectF(body.left() + body.width() * 0.15, body.bottom() - body.height() * 0.55,
                      body.width() * 0.18, body.height() * 0.55));
    p.setBrush(QColor(170, 210, 240));
    p.drawRect(QRectF(body.left() + body.width() * 0.55, body.top() + body.height() * 0.22,
                      body.width() * 0.28, body.height() * 0.3));
    // Roof with a row of solar panels on its sunny side.
    const QPointF ridge(body.center().x(), body.top() - body.height() * 0.6);
    QPainterPath roof;
    roof.moveTo(body.left() - 12, body.top());
    roof.lineTo(ridge);
    roof.lineTo(body.right() + 12, body.top());
    roof.closeSubpath();
    p.setBrush(QColor(178, 68, 52));
    p.drawPath(roof);
    p.setPen(QPen(QColor(200, 215, 235), 1));
    p.setBrush(QColor(30, 60, 120));
    const QPointF a(body.left() + 2, body.top() - 4);
    const QPointF b = ridge + QPointF(-8, 10);
    for (int i = 0; i < 3; ++i) {
        const double t0 = 0.1 + i * 0.28, t1 = t0 + 0.24;
        const QPointF lo0 = a + (b - a) * t0, lo1 = a + (b - a) * t1;
        QPolygonF panel;
        panel << lo0 << lo1 << lo1 + QPointF(14, 8) << lo0 + QPointF(14, 8);
        p.drawPolygon(panel);
    }
}

// A power trace across the picture: the day's curve of a solar site.
void drawTrace(QPainter& p, QRectF area, QColor colour) {
    QPainterPath path;
    for (int x = 0; x <= area.width(); x += 3) {
        const double t = x / area.width();
        const double sun = std::max(0.0, std::sin(t * M_PI));
        const double y =
            area.bottom() - area.height() * (0.15 + 0.7 * sun * sun + 0.06 * std::sin(t * 40));
        if (x == 0) {
            path.moveTo(area.left() + x, y);
        } else {
            path.lineTo(area.left() + x, y);
        }
    }
    p.setPen(QPen(colour, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

QImage loginPicture() {
    QImage image(425, 300, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0, QColor(44, 102, 170));
    sky.setColorAt(0.7, QColor(150, 198, 235));
    sky.setColorAt(1, QColor(200, 228, 245));
    p.fillRect(image.rect(), sky);
    drawSun(p, QPointF(340, 70), 26);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(96, 160, 80));
    p.drawEllipse(QRectF(-80, 220, 600, 160));
    drawHouse(p, QRectF(70, 170, 120, 80));
    drawTrace(p, QRectF(210, 150, 190, 90), QColor(255, 250, 235));

    QFont title(QStringLiteral("DejaVu Sans"), 34, QFont::Bold);
    p.setFont(title);
    p.setPen(QColor(0, 0, 0, 60));
    p.drawText(QRectF(22, 22, 300, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kelvo"));
    p.setPen(Qt::white);
    p.drawText(QRectF(20, 20, 300, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kelvo"));
    QFont tag(QStringLiteral("DejaVu Sans"), 11);
    p.setFont(tag);
    p.drawText(QRectF(22, 78, 300, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Solar and consumption monitor"));
    return image;
}

QImage aboutPicture() {
    QImage image(350, 160, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 350, 0);
    band.setColorAt(0, QColor(36, 84, 140));
    band.setColorAt(1, QColor(96, 160, 210));
    p.fillRect(image.rect(), band);
    drawSun(p, QPointF(60, 62), 22);
    drawTrace(p, QRectF(12, 110, 326, 40), QColor(255, 230, 140));

    p.setPen(Qt::white);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 26, QFont::Bold));
    p.drawText(QRectF(120, 20, 220, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kelvo"));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    p.drawText(QRectF(122, 62, 220, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Home electricity monitor"));
    p.drawText(QRectF(122, 82, 220, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Version 1.0"));
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const bool ok = loginPicture().save(dir + QStringLiteral("/login.png")) &&
                    aboutPicture().save(dir + QStringLiteral("/about.png"));
    return ok ? 0 : 1;
}
