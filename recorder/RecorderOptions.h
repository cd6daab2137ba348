#pragma once

#include <string>
#include <vector>

// The command line of kelvo-recorder.
struct RecorderOptions {
    enum class Action { Record, ShowHelp, ShowVersion, Refuse } action = Action::Record;
    std::string directory = ".";  // the working directory: dast.cfg, dast.data, kelvo.ini, Com<n>
    std::string error;            // why the line was refused
};

RecorderOptions parseRecorderOptions(const std::vector<std::string>& arguments);

// The exit codes, also listed by --help and the manual page.
enum RecorderExit : int {
    kExitStopped = 0,        // stopped by SIGTERM or SIGINT, files saved
    kExitCannotStart = 1,    // the working directory cannot be entered or written
    kExitUsage = 2,          // a command line it does not understand
    kExitDirectoryHeld = 3,  // another Kelvo program records in that directory
    kExitNotSaved = 4        // stopped by a signal, but dast.data or dast.cfg not written
};

extern const char* const kRecorderHelp;
