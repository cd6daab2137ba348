#include <cstdio>
#include <string>
#include <vector>

#include "recorder/RecorderOptions.h"

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
    return kExitStopped;
}
