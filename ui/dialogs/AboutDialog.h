#pragma once

#include <QDialog>
#include <string>

class PictureFrame;

// The about box: "about.bmp" from the start directory, else the built-in picture, and OK.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(const std::string& appDir, QWidget* parent = nullptr);

private:
    PictureFrame* m_picture;
};
