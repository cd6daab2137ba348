#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/meter-sim/FaultPlan.h"

namespace metersim {

struct SimulatorOptions {
    std::string directory = ".";  // where the Com<n> link is made
    int port = 1;                 // 1..99
    uint64_t seed = 1;
    std::string logPath;  // empty: no frame log
    int baud = 9600;      // pace of the replies, 10 bits a byte; 0 = as fast as possible
    std::optional<int64_t> startTime;  // model clock starts here (UTC seconds), then runs
    FaultOptions faults;
    bool help = false;
};

// Parses the command line (without the program name). On failure returns false and
// says why in `error`.
bool parseSimOptions(const std::vector<std::string>& args, SimulatorOptions& options, std::string& error);

std::string simUsage();

}  // namespace metersim
