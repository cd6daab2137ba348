#include "tools/meter-sim/SimulatorOptions.h"

#include <charconv>
#include <limits>

namespace metersim {

namespace {

template <typename T>
bool parseNumber(const std::string& text, T low, T high, T& value) {
    T parsed{};
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
    if (ec != std::errc() || ptr != end || text.empty()) return false;
    if (parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

}  // namespace

std::string simUsage() {
    return R"(Usage: kelvo-meter-sim [options]

A simulated metering device on a pseudo-terminal. It links the terminal as Com<n> in a
directory, where Kelvo looks for its ports, and answers the device's commands at 9,600 baud
with the readings of a simulated household. SIGINT or SIGTERM ends it and removes the link.

Where and how:
  --dir DIR           directory for the Com<n> link (default: the current directory)
  --port N            port number 1..99, the link is named Com<N> (default: 1)
  --seed N            seed of the household and of the faults (default: 1); the same seed
                      gives the same readings at the same time and the same faults
  --start-time SECS   the household's clock starts at these UTC seconds and then runs
                      (default: the real time)
  --baud N            pace of the replies in baud, 10 bits a byte (default: 9600);
                      0 sends every reply at once
  --log FILE          append one line per received command frame: what it asked for,
                      what was done to the reply and the bytes sent in hex

Faults, to reach every failure path of a link:
  --silent            never answer
  --silent-after N    answer the first N commands, then never again
  --silent-for N      with --silent-after: stay silent for N commands, then answer again
                      (a meter that drops out and comes back)
  --drop PCT          leave out PCT per cent of the replies
  --corrupt PCT       spoil the checksum byte of PCT per cent of the replies
  --short PCT         cut PCT per cent of the replies off before their end
  --join PCT          hold PCT per cent of the replies back and send each together with
                      the next reply, in one go
  --delay MS          wait MS milliseconds before each reply starts
  --trickle MS        leave MS milliseconds between the bytes of each reply
  --babble            send noise without end from the first command on
  --babble-after N    answer the first N commands, then send noise without end
  --bad-ack           answer switch commands with 0x15 instead of 0x0D
  --help              show this text
)";
}

bool parseSimOptions(const std::vector<std::string>& args, SimulatorOptions& options,
                     std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](auto low, auto high, auto& out) {
            std::string text;
            if (!value(text)) return false;
            if (!parseNumber(text, low, high, out)) {
                error = arg + ": not a number in " + std::to_string(low) + ".." +
                        std::to_string(high) + ": " + text;
                return false;
            }
            return true;
        };
        constexpr long kMaxCount = std::numeric_limits<long>::max();
        constexpr int kMaxMs = 600000;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--dir") {
            ok = value(options.directory);
        } else if (arg == "--port") {
            ok = number(1, 99, options.port);
        } else if (arg == "--seed") {
            ok = number(uint64_t{0}, std::numeric_limits<uint64_t>::max(), options.seed);
        } else if (arg == "--start-time") {
            int64_t start = 0;
            ok = number(int64_t{0}, int64_t{4102444800}, start);
            options.startTime = start;
        } else if (arg == "--baud") {
            ok = number(0, 4000000, options.baud);
        } else if (arg == "--log") {
            ok = value(options.logPath);
        } else if (arg == "--silent") {
            options.faults.silentAfter = 0;
        } else if (arg == "--silent-after") {
            ok = number(0L, kMaxCount, options.faults.silentAfter);
        } else if (arg == "--silent-for") {
            ok = number(0L, kMaxCount, options.faults.silentFor);
        } else if (arg == "--drop") {
            ok = number(0, 100, options.faults.dropPercent);
        } else if (arg == "--corrupt") {
            ok = number(0, 100, options.faults.corruptPercent);
        } else if (arg == "--short") {
            ok = number(0, 100, options.faults.shortPercent);
        } else if (arg == "--join") {
            ok = number(0, 100, options.faults.joinPercent);
        } else if (arg == "--delay") {
            ok = number(0, kMaxMs, options.faults.delayMs);
        } else if (arg == "--trickle") {
            ok = number(0, kMaxMs, options.faults.trickleMs);
        } else if (arg == "--babble") {
            options.faults.babbleAfter = 0;
        } else if (arg == "--babble-after") {
            ok = number(0L, kMaxCount, options.faults.babbleAfter);
        } else if (arg == "--bad-ack") {
            options.faults.badAck = true;
        } else {
            error = "unknown option: " + arg;
            return false;
        }
        if (!ok) return false;
    }
    return true;
}

}  // namespace metersim
