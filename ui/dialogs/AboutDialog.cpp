#include "ui/dialogs/AboutDialog.h"

#include <QFont>
#include <QPushButton>

#include "ui/dialogs/DialogUnits.h"
#include "ui/dialogs/PictureFrame.h"

AboutDialog::AboutDialog(const std::string& appDir, QWidget* parent) : QDialog(parent) {
    const DialogUnits& du = kSimSun9Units;
    setWindowTitle(QStringLiteral("About Kelvo"));
    setFont(QFont(QStringLiteral("SimSun"), 9));
    setFixedSize(du.size(251, 152));

    m_picture = new PictureFrame(this);
    m_picture->setObjectName(QStringLiteral("picture"));
    m_picture->setGeometry(du.rect(7, 7, 237, 109));
    m_picture->setPicture(loadPictureOrBuiltin(startDirectoryFile(appDir, "about.bmp"),
                                               QString::fromLatin1(kBuiltinAboutPicture)));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(du.rect(94, 129, 59, 16));
    connect(ok, &QPushButton::clicked, this, &AboutDialog::accept);
}
