#include "recorder/RecorderOptions.h"

const char* const kRecorderHelp =
    "Usage: kelvo-recorder [--dir DIR]\n"
    "Records the meter on a serial line without windows: polls it every 5 seconds, keeps\n"
    "dast.cfg and dast.data as the desktop program does, archives and publishes as kelvo.ini\n"
    "says, and reconnects by itself.\n"
    "\n"
    "  --dir DIR   working directory (default: the current directory)\n"
    "  --version   print the version and exit\n"
    "  --help      print this help and exit\n"
    "\n"
    "Signals: SIGTERM or SIGINT save and exit; SIGHUP reads kelvo.ini again.\n"
    "Exit codes: 0 stopped by a signal, files saved; 1 the working directory cannot be used;\n"
    "2 bad command line; 3 another Kelvo program records in the working directory;\n"
    "4 stopped by a signal, but dast.data or dast.cfg could not be written.\n";

RecorderOptions parseRecorderOptions(const std::vector<std::string>& arguments) {
    RecorderOptions options;
    auto refuse = [&options](const std::string& why) {
        options.action = RecorderOptions::Action::Refuse;
        options.error = why;
        return options;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.action = RecorderOptions::Action::ShowHelp;
        } else if (argument == "--version") {
            options.action = RecorderOptions::Action::ShowVersion;
        } else if (argument == "--dir") {
            if (i + 1 == arguments.size() || arguments[i + 1].empty())
                return refuse("--dir needs a directory");
            options.directory = arguments[++i];
        } else if (argument.rfind("--dir=", 0) == 0 && argument.size() > 6) {
            options.directory = argument.substr(6);
        } else {
            return refuse("unknown option: " + argument);
        }
    }
    return options;
}
