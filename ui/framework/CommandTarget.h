#pragma once

#include <functional>
#include <unordered_map>
#include <vector>

#include "ui/framework/CommandState.h"

// One stop on the command route: a table of command handlers and of update handlers,
// both keyed by command identifier (ui/framework/CommandIds.h).
class CommandTarget {
public:
    using Handler = std::function<void()>;
    using UpdateHandler = std::function<void(CommandState&)>;

    virtual ~CommandTarget() = default;

    void onCommand(int id, Handler handler);
    void onUpdate(int id, UpdateHandler handler);

    bool hasCommand(int id) const;
    // Runs the handler; false when this target has none.
    bool runCommand(int id);
    // Runs the update handler; false when this target has none.
    bool runUpdate(int id, CommandState& ui) const;

private:
    std::unordered_map<int, Handler> m_commands;
    std::unordered_map<int, UpdateHandler> m_updates;
};

// A route is an ordered list of targets (view, document, child frame, main frame,
// application); null entries are skipped.
namespace CommandRoute {
// The first target with a command handler runs it; false when no target has one.
bool execute(const std::vector<CommandTarget*>& route, int id);
// The first target with an update handler sets the state. Without one, the command is
// enabled exactly when some target on the route handles it.
CommandState update(const std::vector<CommandTarget*>& route, int id);
}  // namespace CommandRoute
