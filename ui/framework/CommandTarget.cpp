#include "ui/framework/CommandTarget.h"

void CommandTarget::onCommand(Command command, Handler handler) {
    m_commands[command] = std::move(handler);
}

void CommandTarget::onUpdate(Command command, UpdateHandler handler) {
    m_updates[command] = std::move(handler);
}

bool CommandTarget::hasCommand(Command command) const { return m_commands.count(command) != 0; }

bool CommandTarget::runCommand(Command command) {
    auto it = m_commands.find(command);
    if (it == m_commands.end()) return false;
    // A copy: the handler may replace or drop its own entry, or destroy this target's owner.
    Handler handler = it->second;
    handler();
    return true;
}

bool CommandTarget::runUpdate(Command command, CommandState& ui) const {
    auto it = m_updates.find(command);
    if (it == m_updates.end()) return false;
    it->second(ui);
    return true;
}

namespace CommandRoute {

bool execute(const std::vector<CommandTarget*>& route, Command command) {
    for (CommandTarget* target : route) {
        if (target && target->hasCommand(command)) return target->runCommand(command);
    }
    return false;
}

CommandState update(const std::vector<CommandTarget*>& route, Command command) {
    CommandState ui;
    for (CommandTarget* target : route) {
        if (target && target->runUpdate(command, ui)) return ui;
    }
    ui.enabled = false;
    for (CommandTarget* target : route) {
        if (target && target->hasCommand(command)) {
            ui.enabled = true;
            break;
        }
    }
    return ui;
}

}  // namespace CommandRoute
