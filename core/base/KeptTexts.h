#pragma once

// Texts the program has always shown, with their slips of spelling and grammar. They are kept
// letter for letter on purpose: users know them, and their notes and scripts quote them.
namespace kept {
inline constexpr const char* kMessageBoxCaption = "vorn";
inline constexpr const char* kSettingMenu = "Seting(&S)";  // the menu while no window is open
// The status-bar prompts of the "X-Axes Scope" items.
inline constexpr const char* kScopePrompts[7] = {
    "1 Minutes", "5 MInutes", "15 Minutes", "30 Minutes", "1 Hours", "3 Hours", "6 Hours"};
inline constexpr const char* kExportIntervalLabel =
    "The inteval between contiguous data  exportations";
inline constexpr const char* kSwitchSucceeded = "Change channel state succeed!";
inline constexpr const char* kDataExported = "Real time data already export to file:";
}  // namespace kept
