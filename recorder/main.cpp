#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/base/Clock.h"
#include "core/base/DirectoryLock.h"
#include "recorder/RecorderOptions.h"
#include "recorder/RecorderService.h"

namespace {

// dast.data and dast.cfg are written this often while recording, so that a power cut costs
// the 24-hour store at most this much (the archive has every sample anyway). Rare enough
// not to wear out an SD card: about 1 MB each time.
constexpr time_t kSaveEverySeconds = 15 * 60;

int complain(int code, const std::string& text) {
    std::fprintf(stderr, "kelvo-recorder: %s\n", text.c_str());
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    const RecorderOptions options =
        parseRecorderOptions(std::vector<std::string>(argv + 1, argv + argc));
    switch (options.action) {
        case RecorderOptions::Action::ShowHelp:
            std::fputs(kRecorderHelp, stdout);
            return kExitStopped;
        case RecorderOptions::Action::ShowVersion:
            std::printf("kelvo-recorder %s\n", KELVO_VERSION);
            return kExitStopped;
        case RecorderOptions::Action::Refuse:
            std::fprintf(stderr, "kelvo-recorder: %s\n%s", options.error.c_str(), kRecorderHelp);
            return kExitUsage;
        case RecorderOptions::Action::Record:
            break;
    }

    // Every file lives in the working directory, Log.txt and the "Com<n>" links too.
    if (::chdir(options.directory.c_str()) != 0)
        return complain(kExitCannotStart,
                        "cannot enter " + options.directory + ": " + std::strerror(errno));
    std::error_code error;
    const std::string directory = std::filesystem::current_path(error).string();
    if (error) return complain(kExitCannotStart, "cannot tell the working directory");

    DirectoryLock lock;
    switch (lock.acquire(directory)) {
        case DirectoryLock::Outcome::Acquired:
            break;
        case DirectoryLock::Outcome::Held:
            return complain(kExitDirectoryHeld,
                            directory + " is in use by " + describeHolder(lock.holder()));
        case DirectoryLock::Outcome::Failed:
            return complain(kExitCannotStart,
                            "cannot write in " + directory + ": " + std::strerror(errno));
    }

    // The signals wait in the queue for the loop below, whichever thread they hit: blocked
    // here, before any thread starts, they stay blocked in every thread.
    sigset_t signals;
    sigemptyset(&signals);
    for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, number);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);  // a broker gone mid-write is an error code, not the end

    RecorderService service(directory, SystemClock::instance());
    service.log().line(std::string("kelvo-recorder ") + KELVO_VERSION + " started in " + directory +
                       " (pid " + std::to_string(::getpid()) + ")");
    service.start();
    for (;;) {
        const timespec wait{kSaveEverySeconds, 0};
        const int number = ::sigtimedwait(&signals, nullptr, &wait);
        if (number == SIGTERM || number == SIGINT) {
            service.log().line(std::string("stopping on ") + ::strsignal(number));
            break;
        }
        if (number == SIGHUP) {
            service.reloadSettings();
        } else if (number < 0 && errno == EAGAIN) {
            service.saveNow();
        }
    }
    const bool saved = service.stop();
    service.log().line(saved ? "stopped; dast.data and dast.cfg written"
                             : "stopped; the files above could not be written");
    service.log().close();
    return saved ? kExitStopped : kExitNotSaved;
}
