// Any dast.cfg a user or a broken disk may leave: reading never goes past the data, and
// whatever was read leaves every field usable and survives a write and a second read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/config/DastConfig.h"

namespace {
void check(bool condition) {
    if (!condition) std::abort();
}

bool terminated(const char* text, size_t size) { return std::memchr(text, 0, size) != nullptr; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DastConfig config = DastConfig::defaults();
    readConfigImage(data, size, config);

    check(config.scopes.size() >= kScopeEntries);
    check(config.scopeIndex < config.scopes.size());
    const ScopeSelection scope = config.scope();
    // The row shown may lie past the seven built-in ones: an edited table can hold more.
    check(scope.samples >= 1 && scope.samples <= 17280 && scope.shown < config.scopes.size());
    check(config.extraData.size() <= 255);
    check(terminated(config.password, sizeof config.password));
    for (const ChannelRecord& record : config.channels) {
        check(terminated(record.name, sizeof record.name));
        check(record.power == 0 && record.state == 0);
    }

    // What we write we read back unchanged.
    const std::vector<uint8_t> image = writeConfigImage(config);
    DastConfig again = DastConfig::defaults();
    check(readConfigImage(image.data(), image.size(), again));
    check(writeConfigImage(again) == image);
    return 0;
}
