// Saves dast.cfg and dast.data in the given directory over and over, version after version,
// until it is killed. Version k of the configuration carries k as its save time.
#include <cstdio>
#include <cstdlib>

#include "SaveVersions.h"
#include "core/base/Clock.h"
#include "core/base/CrashSafeFile.h"

namespace {
class VersionClock final : public Clock {
public:
    int64_t now() const override { return version; }
    void sleepFor(std::chrono::milliseconds) override {}
    uint32_t version = 0;
};
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kelvo_save_loop DIR FIRST_VERSION\n");
        return 2;
    }
    const std::string dir = argv[1];
    VersionClock clock;
    for (uint32_t k = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));; ++k) {
        clock.version = k;
        Configuration config = save_versions::config(k, dir);
        if (!saveConfig(config, clock)) return 1;
        const save_versions::Data d = save_versions::data(k);
        if (!DataFile::save(pathInDir(dir, "dast.data"), d.days, d.months, *d.store)) return 1;
    }
}
