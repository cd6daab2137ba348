#include "ui/dialogs/PictureFrame.h"

#include <QImageReader>
#include <QPainter>

// The pictures are compiled into the static UI library; registering them here ties the
// resource object to the code that uses it, so the linker keeps it.
static void registerBuiltinPictures() { Q_INIT_RESOURCE(dialog_pictures); }

PictureFrame::PictureFrame(QWidget* parent) : QWidget(parent) {}

void PictureFrame::setPicture(QImage picture) {
    m_picture = std::move(picture);
    update();
}

void PictureFrame::releasePicture() {
    m_picture = QImage();
    update();
}

void PictureFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    // One plain copy at the picture's own size; the widget clips it at the frame's edges.
    if (!m_picture.isNull()) painter.drawImage(QPoint(0, 0), m_picture);
}

QImage loadPictureOrBuiltin(const QString& path, const QString& builtin) {
    registerBuiltinPictures();
    QImageReader reader(path, "BMP");
    reader.setDecideFormatFromContent(false);
    QImage picture = reader.read();
    if (picture.isNull()) picture = QImage(builtin);
    return picture;
}

QString startDirectoryFile(const std::string& appDir, const char* file) {
    if (appDir.empty()) return QString::fromUtf8(file);
    return QString::fromStdString(appDir) + QLatin1Char('/') + QString::fromUtf8(file);
}
