#pragma once

// The state a command shows in menus and on the toolbar, filled in by update handlers.
struct CommandState {
    bool enabled = true;
    bool checked = false;
};
