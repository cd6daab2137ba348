#pragma once

#include <functional>
#include <unordered_map>
#include <vector>

#include "ui/framework/Command.h"
#include "ui/framework/CommandState.h"

// One stop on the command route: a table of command handlers and of update handlers,
// both keyed by command.
class CommandTarget {
public:
    using Handler = std::function<void()>;
    using UpdateHandler = std::function<void(CommandState&)>;

    virtual ~CommandTarget() = default;

    void onCommand(Command command, Handler handler);
    void onUpdate(Command command, UpdateHandler handler);

    bool hasCommand(Command command) const;
    // Runs the handler; false when this target has none.
    bool runCommand(Command command);
    // Runs the update handler; false when this target has none.
    bool runUpdate(Command command, CommandState& ui) const;

private:
    std::unordered_map<Command, Handler> m_commands;
    std::unordered_map<Command, UpdateHandler> m_updates;
};

// A route is an ordered list of targets (view, document, child frame, main frame,
// application); null entries are skipped.
namespace CommandRoute {
// The first target with a command handler runs it; false when no target has one.
bool execute(const std::vector<CommandTarget*>& route, Command command);
// The first target with an update handler sets the state. Without one, the command is
// enabled exactly when some target on the route handles it.
CommandState update(const std::vector<CommandTarget*>& route, Command command);
}  // namespace CommandRoute
