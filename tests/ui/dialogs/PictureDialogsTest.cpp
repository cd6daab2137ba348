#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <memory>

#include "support/QtTestApp.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/dialogs/DialogDriver.h"
#include "ui/dialogs/LoginDialog.h"
#include "ui/dialogs/PictureFrame.h"

namespace {

class PictureDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        qtTestApp();
        ASSERT_TRUE(dir.isValid());
        config.appDir = dir.path().toStdString();
    }

    void setPassword(const char* text) {
        std::memset(config.password, 0, sizeof(config.password));
        std::memcpy(config.password, text, std::strlen(text));
    }

    QTemporaryDir dir;
    DastConfig config;
};

struct LoginCase {
    const char* name;
    const char* stored;
    const char* typed;  // into the hidden box; nullptr leaves it as the dialog does
    bool accepted;
};

TEST_F(PictureDialogs, LoginComparesThePasswordExactly) {
    const LoginCase cases[] = {
        {"empty default, nothing typed", "", nullptr, true},
        {"stored password, nothing can be typed", "secret", nullptr, false},
        {"same text", "secret", "secret", true},
        {"case matters", "secret", "Secret", false},
        {"prefix is not enough", "secret", "secre", false},
        {"fifteen characters", "abcdefghijklmno", "abcdefghijklmno", true},
    };
    for (const LoginCase& c : cases) {
        SCOPED_TRACE(c.name);
        setPassword(c.stored);
        LoginDialog dlg(config);
        dlg.show();
        auto* box = dlg.findChild<QLineEdit*>("password");
        ASSERT_TRUE(box);
        EXPECT_FALSE(box->isVisible());
        EXPECT_EQ(box->echoMode(), QLineEdit::Password);
        if (c.typed) box->setText(QString::fromUtf8(c.typed));

        BoxAnswerer answerer;
        dlg.findChild<QPushButton*>("yes")->click();
        EXPECT_EQ(dlg.result() == QDialog::Accepted, c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(answerer.seen.empty());
        } else {
            EXPECT_EQ(answerer.texts(), QStringList{"Password not correct!"});
            EXPECT_TRUE(dlg.isVisible()) << "the user may retry or quit";
        }
    }
}

enum class FileKind { Missing, Small, Large, NotABitmap, HugeHeader };

struct PictureCase {
    const char* name;
    bool login;
    FileKind file;
    QSize shownPicture;
};

// A valid 24-bit header for a 60000 x 60000 picture (10 GB of pixels) with no pixels after it.
QByteArray hugeBitmapHeader() {
    QByteArray header(54, '\0');
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) header[at + i] = static_cast<char>(v >> (8 * i));
    };
    header[0] = 'B';
    header[1] = 'M';
    put32(2, 54);
    put32(10, 54);  // pixels start right after the headers
    put32(14, 40);  // info header size
    put32(18, 60000);
    put32(22, 60000);
    header[26] = 1;   // planes
    header[28] = 24;  // bits per pixel
    return header;
}

QImage framePixels(QWidget& dlg) {
    auto* frame = dlg.findChild<PictureFrame*>("picture");
    return frame ? frame->grab().toImage().convertToFormat(QImage::Format_RGB32) : QImage();
}

TEST_F(PictureDialogs, PicturesComeFromTheStartDirectoryOrTheBuiltinOnes) {
    const PictureCase cases[] = {
        {"login without Logo.bmp", true, FileKind::Missing, {425, 300}},
        {"login with a larger Logo.bmp", true, FileKind::Large, {600, 400}},
        {"login with a smaller Logo.bmp", true, FileKind::Small, {40, 30}},
        {"login with a broken Logo.bmp", true, FileKind::NotABitmap, {425, 300}},
        {"login with a header claiming 60000 x 60000", true, FileKind::HugeHeader, {425, 300}},
        {"about without about.bmp", false, FileKind::Missing, {350, 160}},
        {"about with a larger about.bmp", false, FileKind::Large, {600, 400}},
        {"about with a smaller about.bmp", false, FileKind::Small, {40, 30}},
        {"about with a broken about.bmp", false, FileKind::NotABitmap, {350, 160}},
    };
    const QColor fileColour(12, 200, 34);
    for (const PictureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(c.login ? "Logo.bmp" : "about.bmp");
        QFile::remove(path);
        QDir(dir.path()).remove(c.login ? "about.bmp" : "Logo.bmp");
        if (c.file == FileKind::Small || c.file == FileKind::Large) {
            QImage image(c.file == FileKind::Small ? QSize(40, 30) : QSize(600, 400),
                         QImage::Format_RGB888);
            image.fill(fileColour);
            ASSERT_TRUE(image.save(path, "BMP"));
        } else if (c.file == FileKind::NotABitmap) {
            QFile broken(path);
            ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
            broken.write("BM\x10\x00\x00\x00not really a bitmap");
        } else if (c.file == FileKind::HugeHeader) {
            QFile huge(path);
            ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
            huge.write(hugeBitmapHeader());
        }

        std::unique_ptr<QDialog> dlg;
        if (c.login) {
            dlg = std::make_unique<LoginDialog>(config);
        } else {
            dlg = std::make_unique<AboutDialog>(config.appDir);
        }
        auto* frame = dlg->findChild<PictureFrame*>("picture");
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->picture().size(), c.shownPicture);
        if (c.login) {
            EXPECT_EQ(frame->geometry(), QRect(8, 10, 425, 300));
        }

        const QImage shown = framePixels(*dlg);
        const bool fromFile = c.file == FileKind::Small || c.file == FileKind::Large;
        if (fromFile) {
            EXPECT_EQ(shown.pixelColor(5, 5), fileColour);
            // A large picture fills the frame to its far corner; a small one leaves it empty.
            const QPoint farCorner(frame->width() - 5, frame->height() - 5);
            EXPECT_EQ(shown.pixelColor(farCorner) == fileColour, c.file == FileKind::Large);
        } else {
            const QImage builtin(c.login ? kBuiltinLoginPicture : kBuiltinAboutPicture);
            ASSERT_FALSE(builtin.isNull());
            EXPECT_EQ(shown.pixelColor(100, 100), builtin.pixelColor(100, 100));
        }
    }
}

}  // namespace
