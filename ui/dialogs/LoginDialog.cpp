#include "ui/dialogs/LoginDialog.h"

#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

#if defined(KELVO_HAVE_X11)
#include <QtGui/qguiapplication_platform.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

#include "ui/dialogs/DialogUnits.h"
#include "ui/dialogs/PictureFrame.h"
#include "ui/framework/MessageBoxSink.h"

namespace {

// The stored password field is 16 bytes; a file without a NUL in it is read no further.
std::string storedPassword(const DastConfig& config) {
    const void* nul = std::memchr(config.password, '\0', sizeof(config.password));
    size_t length =
        nul ? static_cast<const char*>(nul) - config.password : sizeof(config.password) - 1;
    return std::string(config.password, length);
}

}  // namespace

LoginDialog::LoginDialog(const DastConfig& config, QWidget* parent)
    : QDialog(parent), m_appDir(config.appDir), m_password(storedPassword(config)) {
    const DialogUnits& du = kSimSun10Units;
    setWindowTitle(QString());
    setFont(QFont(QStringLiteral("SimSun"), 10));
    setFixedSize(du.size(251, 226));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    // The template's positions in dialog units; the picture and the buttons are then placed
    // at fixed pixels around the 425 x 300 picture.
    m_picture = new PictureFrame(this);
    m_picture->setObjectName(QStringLiteral("picture"));
    m_picture->setGeometry(8, 10, 425, 300);

    auto* group = new QGroupBox(this);
    group->setGeometry(du.rect(7, 152, 244, 31));
    group->hide();
    auto* label = new QLabel(QStringLiteral("Input Password"), this);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(du.rect(3, 165, 61, 9));
    label->hide();
    m_passwordBox = new QLineEdit(this);
    m_passwordBox->setObjectName(QStringLiteral("password"));
    m_passwordBox->setEchoMode(QLineEdit::Password);
    m_passwordBox->setMaxLength(kPasswordChars);
    m_passwordBox->setGeometry(du.rect(75, 163, 68, 12));
    m_passwordBox->setText(QString());
    m_passwordBox->hide();

    auto* yes = new QPushButton(QStringLiteral("Yes"), this);
    yes->setObjectName(QStringLiteral("yes"));
    yes->setDefault(true);
    yes->setGeometry(125, 325, 74, 28);
    connect(yes, &QPushButton::clicked, this, &LoginDialog::accept);
    auto* quit = new QPushButton(QStringLiteral("Quit"), this);
    quit->setObjectName(QStringLiteral("quit"));
    quit->setGeometry(254, 325, 74, 28);
    connect(quit, &QPushButton::clicked, this, &LoginDialog::reject);

    m_picture->setPicture(loadPictureOrBuiltin(startDirectoryFile(m_appDir, "Logo.bmp"),
                                               QString::fromLatin1(kBuiltinLoginPicture)));
}

void LoginDialog::accept() {
    // Byte for byte, case-sensitive; the box never holds more than 15 characters.
    const std::string entered = m_passwordBox->text().left(kPasswordChars).toStdString();
    if (entered == m_password) {
        QDialog::accept();
        return;
    }
    showMessageBox(QStringLiteral("Password not correct!"), this);
}

void LoginDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
#if defined(KELVO_HAVE_X11)
    // The caption is empty. Qt's X11 window names an untitled window after the program
    // (_NET_WM_NAME "kelvo"), which a desktop shows as the title: the name is emptied
    // again on the native window, which exists by now.
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display || !windowHandle()) return;
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, static_cast<Window>(winId()), name, utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(""), 0);
    XFlush(display);
#endif
}

void LoginDialog::closeEvent(QCloseEvent* event) {
    m_picture->releasePicture();
    QDialog::closeEvent(event);  // acts as "Quit"
}
