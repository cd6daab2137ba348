#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/device/SerialPort.h"

class QApplication;
class QTimer;
class QWidget;

// The process's one QApplication, made on first use from a command line handed over as main
// hands it (ui/shell/QtArguments.h). The command line carries arguments a program could take
// for a file to open or an action, and Qt's own options for a mirrored layout and another
// style, so every test also shows they do nothing.
QApplication& shellApplication();
inline const QStringList kIgnoredArguments = {
    QStringLiteral("report.vorn"), QStringLiteral("/p"),     QStringLiteral("--new"),
    QStringLiteral("-reverse"),    QStringLiteral("-style"), QStringLiteral("windows")};

// No serial port exists: Connect probes and finds nothing, at once.
class NoPorts final : public SerialPorts {
public:
    std::unique_ptr<SerialPort> open(int) override { return nullptr; }
};

// Answers modal dialogs as they appear, as a user would, and notes each one in order:
// "vorn: <text>" for a message box (marked when it is not an exclamation box with one OK), "login"
// for the login dialog, otherwise the class name.
class ModalAnswerer {
public:
    // What to do with a modal widget: true accepts it (OK, "Yes"), false rejects it.
    using Choice = std::function<bool(QWidget*)>;
    explicit ModalAnswerer(Choice choice = [](QWidget*) { return true; });
    ~ModalAnswerer();

    QStringList seen() const { return m_seen; }
    void setChoice(Choice choice) { m_choice = std::move(choice); }
    // Runs once when each modal widget is first seen, before it is answered.
    std::function<void(const QString&)> onSeen;

private:
    void poll();
    Choice m_choice;
    QStringList m_seen;
    QTimer* m_timer;
};

// Runs the event loop until `done` holds (true) or `limit` has passed (false).
bool runEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

// Every test in a fresh working directory of its own, left afterwards.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string readFile(const std::string& name) const;
    bool exists(const std::string& name) const;

    std::filesystem::path m_dir;
    std::filesystem::path m_previous;
};
