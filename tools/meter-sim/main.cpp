// kelvo-meter-sim: a simulated metering device on a pseudo-terminal.

#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/meter-sim/MeterSimulator.h"
#include "tools/meter-sim/PtyDevice.h"
#include "tools/meter-sim/SimulatorOptions.h"

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

    // The stop signals stay blocked and are read from a descriptor beside the line: a
    // handler could run just before the wait and its wake-up be missed (ThreadSanitizer's
    // deferred delivery lost one that way), a pending signal on a descriptor cannot be.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, sig);
    if (::sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) return 1;
    const int stopFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (stopFd < 0) return 1;
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

    meter.run(stopFd);

    device.close();
    if (log) std::fclose(log);
    return 0;
}
