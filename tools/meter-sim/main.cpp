// kelvo-meter-sim: a simulated metering device on a pseudo-terminal.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/meter-sim/MeterSimulator.h"
#include "tools/meter-sim/PtyDevice.h"
#include "tools/meter-sim/SimulatorOptions.h"

namespace {

int g_stopPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_stopPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace metersim;
    SimulatorOptions options;
    std::string error;
    if (!parseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "kelvo-meter-sim: %s\n%s", error.c_str(), simUsage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(simUsage().c_str(), stdout);
        return 0;
    }

    std::FILE* log = nullptr;
    if (!options.logPath.empty()) {
        log = std::fopen(options.logPath.c_str(), "ae");
        if (!log) {
            std::perror(options.logPath.c_str());
            return 1;
        }
    }

    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigemptyset(&stop.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &stop, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    PtyDevice device;
    MeterSimulator meter(options, device, log);
    // Energy histories of the past year are worked out once before the port appears, so
    // the first history command is answered as fast as the later ones.
    std::string what;
    meter.answer({kConsumptionHistoryCommand, 0}, what);

    if (!device.open(options.directory, options.port, error)) {
        std::fprintf(stderr, "kelvo-meter-sim: %s\n", error.c_str());
        if (log) std::fclose(log);
        return 1;
    }
    std::printf("kelvo-meter-sim: %s -> %s\n", device.linkPath().c_str(),
                device.terminalPath().c_str());
    std::fflush(stdout);

    meter.run(g_stopPipe[0]);

    device.close();
    if (log) std::fclose(log);
    return 0;
}
