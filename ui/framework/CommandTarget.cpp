#include "ui/framework/CommandTarget.h"

void CommandTarget::onCommand(int id, Handler handler) { m_commands[id] = std::move(handler); }

void CommandTarget::onUpdate(int id, UpdateHandler handler) { m_updates[id] = std::move(handler); }

bool CommandTarget::hasCommand(int id) const { return m_commands.count(id) != 0; }

bool CommandTarget::runCommand(int id) {
    auto it = m_commands.find(id);
    if (it == m_commands.end()) return false;
    // A copy: the handler may replace or drop its own entry, or destroy this target's owner.
    Handler handler = it->second;
    handler();
    return true;
}

bool CommandTarget::runUpdate(int id, CommandState& ui) const {
    auto it = m_updates.find(id);
    if (it == m_updates.end()) return false;
    it->second(ui);
    return true;
}

namespace CommandRoute {

bool execute(const std::vector<CommandTarget*>& route, int id) {
    for (CommandTarget* target : route) {
        if (target && target->hasCommand(id)) return target->runCommand(id);
    }
    return false;
}

CommandState update(const std::vector<CommandTarget*>& route, int id) {
    CommandState ui;
    for (CommandTarget* target : route) {
        if (target && target->runUpdate(id, ui)) return ui;
    }
    ui.enabled = false;
    for (CommandTarget* target : route) {
        if (target && target->hasCommand(id)) {
            ui.enabled = true;
            break;
        }
    }
    return ui;
}

}  // namespace CommandRoute
