#pragma once

#include <cstddef>
#include <functional>

// The commands of the menus, the toolbar and the window keys. A command is routed from the
// active view to the application (see CommandTarget); menus, toolbar, handlers and tests name
// it by these values.
enum class Command {
    ChannelSetting,
    Scope1Minute,  // "X-Axes Scope", scope index 0 ...
    Scope5Minutes,
    Scope15Minutes,
    Scope30Minutes,
    Scope1Hour,
    Scope3Hours,
    Scope6Hours,  // ... scope index 6
    Port,         // never handled: always disabled
    HistoryByDays,
    HistoryByMonths,
    RealTime,
    Connect,
    Disconnect,
    DataExport,
    ExportInterval,  // "Export Config"
    ChannelControl,
    Archive,                 // View menu and toolbar: the archive window
    ReconnectAutomatically,  // checkable: reconnect in the background
    ArchiveSettings,
    PublishSettings,  // "MQTT Publishing"

    PrintSetup,
    PrintWithDialog,  // Ctrl+P
    Print,            // the menu's "Print": straight to the printer in use
    PrintPreview,
    ArrangeIcons,
    Cascade,
    TileHorizontally,
    About,
    Exit,
    NextPane,      // F6
    PreviousPane,  // Shift+F6
};

inline constexpr int kScopeCommands = 7;

// The "X-Axes Scope" item of scope index 0..6.
inline constexpr Command scopeCommand(int scopeIndex) {
    return static_cast<Command>(static_cast<int>(Command::Scope1Minute) + scopeIndex);
}

// For QHash keys.
inline size_t qHash(Command command, size_t seed = 0) {
    return std::hash<int>{}(static_cast<int>(command)) ^ seed;
}
