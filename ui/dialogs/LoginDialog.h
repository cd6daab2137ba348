#pragma once

#include <QDialog>
#include <string>

#include "core/config/DastConfig.h"

class QLineEdit;
class QPushButton;
class PictureFrame;

// The login shown once before any window exists: the logo picture with "Yes" and "Quit".
// The password box exists but is hidden, so the entered text is empty and only an empty
// stored password lets "Yes" through.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit LoginDialog(const DastConfig& config, QWidget* parent = nullptr);

    static constexpr int kPasswordChars = 15;

public slots:
    void accept() override;  // "Yes" and Enter

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::string m_appDir;
    std::string m_password;  // stored password, at most 15 bytes
    PictureFrame* m_picture;
    QLineEdit* m_passwordBox;
};
