// Saves dast.cfg and dast.data in the given directory version after version, until it is
// killed or, when LAST_VERSION is given, through that version. Version k of the configuration
// carries k as its save time. Exit status: bit 0 set when a save of dast.cfg failed, bit 1 for
// dast.data; a run without LAST_VERSION ends at the first failure.
#include <cstdio>
#include <cstdlib>

#include "SaveVersions.h"
#include "core/base/Clock.h"
#include "core/base/CrashSafeFile.h"
#include "core/base/FilePath.h"

namespace {
class VersionClock final : public Clock {
public:
    int64_t now() const override { return version; }
    void sleepFor(std::chrono::milliseconds) override {}
    uint32_t version = 0;
};
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: kelvo_save_loop DIR FIRST_VERSION [LAST_VERSION]\n");
        return 4;
    }
    const std::string dir = argv[1];
    const bool bounded = argc == 4;
    const auto last = bounded ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 0;
    VersionClock clock;
    int failed = 0;
    for (uint32_t k = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));; ++k) {
        clock.version = k;
        DastConfig config = save_versions::config(k, dir);
        if (!saveConfig(config, clock)) failed |= 1;
        const save_versions::Data d = save_versions::data(k);
        if (!DataFile::save(pathInDirectory(dir, "dast.data"), d.days, d.months, *d.store))
            failed |= 2;
        if (bounded ? k == last : failed != 0) return failed;
    }
}
