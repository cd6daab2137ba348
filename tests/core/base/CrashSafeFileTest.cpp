#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/base/ByteOrder.h"
#include "core/base/CrashSafeFile.h"
#include "support/FileText.h"

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/kelvo-atomic-XXXXXX";
        m_path = ::mkdtemp(pattern);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, ec);
        fs::remove_all(m_path, ec);
    }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};


}  // namespace

TEST(AtomicFile, ReplacesTheFileWholeAndLeavesNoTemporaryBehind) {
    TempDir dir;
    const std::string path = dir.file("dast.cfg");
    writeFileText(path, "old contents");
    ASSERT_TRUE(writeFileAtomically(path, std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(fileText(path), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(AtomicFile, RemovesOnlyItsOwnLeftoversAndKeepsThePermissionBits) {
    TempDir dir;
    const std::string path = dir.file("dast.cfg");
    const struct {
        const char* name;
        bool removed;
    } names[] = {
        {"dast.cfg.tmp4242.7.1a2b3c", true},  // a save of ours cut short
        {"dast.cfg.tmp-old", false},          {"dast.cfg.tmp", false},
        {"dast.cfg.tmp4242.7.1A2B3C", false}, {"dast.cfg.tmp4242.7.", false},
        {"dast.cfg.tmp4242..1a", false},      {"dast.cfg.tmp4242.7.1a2b3c~", false},
        {"dast.cfg.tmpx4242.7.1a", false},    {"dast.data.tmp4242.7.1a2b3c", false},
    };
    for (const auto& n : names) writeFileText(dir.file(n.name), "x");
    const mode_t umaskBefore = ::umask(022);
    for (const mode_t mode : {0600, 0664, 0444}) {
        writeFileText(path, "old");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(writeFileAtomically(path, std::vector<uint8_t>{'n'}));
        EXPECT_EQ(fs::status(path).permissions(), fs::perms(mode)) << std::oct << mode;
    }
    ASSERT_TRUE(writeFileAtomically(dir.file("new"), std::vector<uint8_t>{'n'}));
    EXPECT_EQ(fs::status(dir.file("new")).permissions(), fs::perms(0644));
    ::umask(umaskBefore);
    for (const auto& n : names) EXPECT_EQ(fs::exists(dir.file(n.name)), !n.removed) << n.name;
}

TEST(AtomicFile, PlantedLinkIsReplacedAndItsTargetNeverWritten) {
    TempDir dir;
    const std::string victim = dir.file("victim");
    writeFileText(victim, "precious");
    const std::string path = dir.file("dast.data");
    ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);

    ASSERT_TRUE(writeFileAtomically(path, std::vector<uint8_t>{'x'}));
    EXPECT_EQ(fileText(victim), "precious");
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(fileText(path), "x");
}

TEST(AtomicFile, FailureKeepsTheOldFileAndReportsIt) {
    if (::geteuid() == 0) {
        // root writes into read-only directories; a missing directory fails for everyone
        TempDir dir;
        EXPECT_FALSE(writeFileAtomically(dir.file("no/such/dir/file"), std::vector<uint8_t>{1}));
        return;
    }
    TempDir dir;
    const std::string path = dir.file("dast.cfg");
    writeFileText(path, "old");
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(writeFileAtomically(path, std::vector<uint8_t>{'n'}));
    EXPECT_EQ(fileText(path), "old");
}

TEST(AtomicFile, ReadWholeFileStopsOneBytePastTheLimitAndRefusesNonFiles) {
    TempDir dir;
    const std::string path = dir.file("big");
    writeFileText(path, std::string(10000, 'a'));
    std::vector<uint8_t> out;
    ASSERT_TRUE(readWholeFile(path, out, 5000));
    EXPECT_EQ(out.size(), 5001u);
    ASSERT_TRUE(readWholeFile(path, out, 20000));
    EXPECT_EQ(out.size(), 10000u);
    EXPECT_FALSE(readWholeFile(dir.path(), out, 100));
    EXPECT_FALSE(readWholeFile(dir.file("missing"), out, 100));
}

TEST(ByteOrder, FieldsAreLittleEndianAndShortReadsFailWithZeros) {
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    w.u16(0x1234);
    w.u32(0xA1B2C3D4);
    w.i32(-2);
    w.f64(0.125);
    const std::vector<uint8_t> expected = {0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1, 0xFE, 0xFF, 0xFF,
                                           0xFF, 0,    0,    0,    0,    0,    0,    0xC0, 0x3F};
    EXPECT_EQ(bytes, expected);

    ByteReader r(bytes.data(), bytes.size());
    EXPECT_EQ(r.u16(), 0x1234);
    EXPECT_EQ(r.u32(), 0xA1B2C3D4u);
    EXPECT_EQ(r.i32(), -2);
    EXPECT_EQ(r.f64(), 0.125);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.u16(), 0);
    EXPECT_FALSE(r.ok());

    // Series go through the bulk path: same bytes as one field at a time.
    const int32_t series[3] = {1, -1, 0x01020304};
    std::vector<uint8_t> bulk;
    ByteWriter(bulk).i32s(series, 3);
    EXPECT_EQ(bulk, (std::vector<uint8_t>{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1}));
    int32_t back[3] = {};
    ByteReader bulkReader(bulk.data(), bulk.size());
    EXPECT_TRUE(bulkReader.i32s(back, 3));
    EXPECT_EQ(std::vector<int32_t>(back, back + 3), std::vector<int32_t>(series, series + 3));
    ByteReader shortBulk(bulk.data(), 11);
    EXPECT_FALSE(shortBulk.i32s(back, 3));
    EXPECT_EQ(back[0], 0);

    ByteReader partial(bytes.data(), 3);
    EXPECT_EQ(partial.u16(), 0x1234);
    EXPECT_EQ(partial.u32(), 0u);  // only one byte left: nothing of it is used
    EXPECT_FALSE(partial.ok());
}
