#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <string>

// A black-framed picture area. The picture is drawn at its own size from the top-left
// corner; what lies beyond the frame is cut off, and a smaller picture leaves the rest of
// the frame empty.
class PictureFrame : public QWidget {
public:
    explicit PictureFrame(QWidget* parent = nullptr);

    void setPicture(QImage picture);
    void releasePicture();
    const QImage& picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};

// The bitmap file at `path` (BMP only, as the start directory's optional pictures are), or
// the built-in picture `builtin` (a resource path) when the file is missing or unreadable.
QImage loadPictureOrBuiltin(const QString& path, const QString& builtin);

// "<appDir>/<file>", or the bare file name (working directory) when appDir is empty.
QString startDirectoryFile(const std::string& appDir, const char* file);

// Resource paths of the built-in pictures.
inline constexpr char kBuiltinLoginPicture[] = ":/pictures/login.png";  // 425 x 300
inline constexpr char kBuiltinAboutPicture[] = ":/pictures/about.png";  // 350 x 160
