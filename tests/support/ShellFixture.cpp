#include "support/ShellFixture.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <fstream>
#include <sstream>
#include <vector>

#include "ui/dialogs/LoginDialog.h"
#include "ui/shell/QtArguments.h"

QApplication& shellApplication() {
    static std::vector<std::string> storage = [] {
        std::vector<std::string> args = {"kelvo"};
        for (const QString& a : kIgnoredArguments) args.push_back(a.toStdString());
        return args;
    }();
    static std::vector<char*> argv = [] {
        std::vector<char*> v;
        for (std::string& s : storage) v.push_back(s.data());
        v.push_back(nullptr);
        return v;
    }();
    static QtArguments qtArguments(argv.data());
    static QApplication* app = [] {
        auto* a = new QApplication(qtArguments.argc(), qtArguments.argv());
        a->setQuitOnLastWindowClosed(false);
        return a;
    }();
    return *app;
}

ModalAnswerer::ModalAnswerer(Choice choice) : m_choice(std::move(choice)) {
    shellApplication();
    m_timer = new QTimer;
    m_timer->setInterval(5);
    QObject::connect(m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer->start();
}

ModalAnswerer::~ModalAnswerer() { delete m_timer; }

void ModalAnswerer::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal->property("answered").toBool()) return;
    modal->setProperty("answered", true);
    QString what = QString::fromLatin1(modal->metaObject()->className());
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        what = box->windowTitle() + QStringLiteral(": ") + box->text();
        // Every box of the program: exclamation icon and a single OK button.
        if (box->icon() != QMessageBox::Warning || box->buttons().size() != 1 ||
            box->standardButtons() != QMessageBox::Ok)
            what += QStringLiteral(" [not an exclamation box with one OK button]");
    } else if (qobject_cast<LoginDialog*>(modal))
        what = QStringLiteral("login");
    m_seen.append(what);
    if (onSeen) onSeen(what);
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (!dialog) return;
    if (m_choice(modal))
        dialog->accept();
    else
        dialog->reject();
}

bool runEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limit.count()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void ShellTest::SetUp() {
    shellApplication();
    m_previous = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-shell-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
    std::filesystem::current_path(m_dir);
}

void ShellTest::TearDown() {
    std::filesystem::current_path(m_previous);
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

std::string ShellTest::readFile(const std::string& name) const {
    std::ifstream in(m_dir / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool ShellTest::exists(const std::string& name) const {
    return std::filesystem::exists(m_dir / name);
}
