#pragma once

// Command identifiers of the menus and the toolbar. The numbers are fixed: menus, toolbar,
// handlers and tests all use them.
inline constexpr int ID_CHANNEL_SETTING = 32773;
inline constexpr int ID_SCOPE_1MIN = 32775;  // "X-Axes Scope": scopeIndex 0
inline constexpr int ID_SCOPE_5MIN = 32776;
inline constexpr int ID_SCOPE_15MIN = 32777;
inline constexpr int ID_SCOPE_30MIN = 32778;
inline constexpr int ID_SCOPE_1HOUR = 32779;
inline constexpr int ID_SCOPE_3HOURS = 32780;
inline constexpr int ID_SCOPE_6HOURS = 32781;  // scopeIndex 6
inline constexpr int ID_PORT = 32782;          // never handled: always disabled
inline constexpr int ID_HISTORY_DAYS = 32783;
inline constexpr int ID_HISTORY_MONTHS = 32784;
inline constexpr int ID_REAL_TIME = 32785;
inline constexpr int ID_CONNECT = 32786;
inline constexpr int ID_DISCONNECT = 32787;
inline constexpr int ID_DATA_EXPORT = 32789;
inline constexpr int ID_EXPORT_CONFIG = 32791;
inline constexpr int ID_CHANNEL_CONTROL = 32792;
inline constexpr int ID_ARCHIVE = 32793;             // View menu and toolbar: the archive window
inline constexpr int ID_RECONNECT_AUTO = 32794;      // checkable: reconnect in the background
inline constexpr int ID_ARCHIVE_SETTINGS = 32795;
inline constexpr int ID_MQTT_SETTINGS = 32796;

inline constexpr int ID_FILE_PRINT_SETUP = 57606;
inline constexpr int ID_FILE_PRINT = 57607;         // Ctrl+P: with the print dialog
inline constexpr int ID_FILE_PRINT_DIRECT = 57608;  // menu "Print": default printer
inline constexpr int ID_FILE_PRINT_PREVIEW = 57609;
inline constexpr int ID_WINDOW_ARRANGE = 57649;
inline constexpr int ID_WINDOW_CASCADE = 57650;
inline constexpr int ID_WINDOW_TILE_HORZ = 57651;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_NEXT_PANE = 57680;  // F6
inline constexpr int ID_PREV_PANE = 57681;  // Shift+F6

inline constexpr int kScopeCommands = 7;  // ID_SCOPE_1MIN + scopeIndex
