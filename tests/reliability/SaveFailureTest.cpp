#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "SaveVersions.h"
#include "core/base/Clock.h"
#include "core/base/CrashSafeFile.h"
#include "core/base/FilePath.h"

namespace fs = std::filesystem;

namespace {

class FixedClock final : public Clock {
public:
    int64_t now() const override { return 1'800'000'000; }
    void sleepFor(std::chrono::milliseconds) override {}
};

std::vector<uint8_t> contents(const std::string& path) {
    std::vector<uint8_t> bytes;
    readWholeFile(path, bytes, 1 << 22);
    return bytes;
}

// Both saves of version 2 over the files of version 1; true when either claimed success.
bool saveVersionTwo(const std::string& dir) {
    FixedClock clock;
    DastConfig config = save_versions::config(2, dir);
    const save_versions::Data d = save_versions::data(2);
    const bool configSaved = saveConfig(config, clock);
    const bool dataSaved =
        DataFile::save(pathInDirectory(dir, "dast.data"), d.days, d.months, *d.store);
    return configSaved || dataSaved;
}

void writeVersionOne(const std::string& dir) {
    std::ofstream(pathInDirectory(dir, "dast.cfg"), std::ios::binary)
        .write(reinterpret_cast<const char*>(save_versions::configImage(1, dir, 1).data()),
               static_cast<std::streamsize>(save_versions::configImage(1, dir, 1).size()));
    const auto data = save_versions::dataImage(1);
    std::ofstream(pathInDirectory(dir, "dast.data"), std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
}

void expectVersionOneIntact(const std::string& dir) {
    EXPECT_EQ(contents(pathInDirectory(dir, "dast.cfg")), save_versions::configImage(1, dir, 1));
    EXPECT_EQ(contents(pathInDirectory(dir, "dast.data")), save_versions::dataImage(1));
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename();
        EXPECT_TRUE(name == "dast.cfg" || name == "dast.data" || name == "filler")
            << "left behind: " << name;
    }
}

class SaveFailure : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvo-savefail-XXXXXX";
        m_dir = ::mkdtemp(pattern);
    }
    void TearDown() override {
        if (m_mounted) ::umount2(m_dir.c_str(), MNT_DETACH);
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, ec);
        fs::remove_all(m_dir, ec);
    }
    // A small file system of our own, where root can be refused too; false where mounting
    // is not allowed.
    bool mountTmpfs(const char* options) {
        m_mounted = ::mount("tmpfs", m_dir.c_str(), "tmpfs", 0, options) == 0;
        return m_mounted;
    }
    std::string m_dir;
    bool m_mounted = false;
};

}  // namespace

TEST_F(SaveFailure, FileSizeLimitFailsTheWritesAndKeepsTheOldFiles) {
    writeVersionOne(m_dir);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A write past the limit fails with EFBIG as on a full disk, instead of raising SIGXFSZ.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(saveVersionTwo(m_dir) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a save claimed success";
    expectVersionOneIntact(m_dir);
}

TEST_F(SaveFailure, FullDiskAndReadOnlyDiskKeepTheOldFiles) {
    if (!mountTmpfs("size=3m")) GTEST_SKIP() << "cannot mount a file system here";
    writeVersionOne(m_dir);
    {
        // Fill the disk: what is left is too little for a new dast.data.
        std::ofstream filler(pathInDirectory(m_dir, "filler"), std::ios::binary);
        const std::vector<char> block(64 * 1024, 'f');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
        }
    }
    EXPECT_FALSE(DataFile::save(pathInDirectory(m_dir, "dast.data"), save_versions::data(2).days,
                                save_versions::data(2).months, *save_versions::data(2).store));
    expectVersionOneIntact(m_dir);
    fs::remove(pathInDirectory(m_dir, "filler"));

    ASSERT_EQ(::mount("tmpfs", m_dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=3m"), 0);
    EXPECT_FALSE(saveVersionTwo(m_dir));
    expectVersionOneIntact(m_dir);
}

TEST_F(SaveFailure, ReadOnlyDirectoryForAnOrdinaryUser) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
    writeVersionOne(m_dir);
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(saveVersionTwo(m_dir));
    fs::permissions(m_dir, fs::perms::owner_all);
    expectVersionOneIntact(m_dir);
}

TEST_F(SaveFailure, RenameRefusedLeavesNoTemporaryAndClaimsNothing) {
    // A directory where dast.cfg belongs cannot be replaced by a file.
    fs::create_directory(pathInDirectory(m_dir, "dast.cfg"));
    std::ofstream(pathInDirectory(m_dir, "dast.cfg/keep")) << "x";
    FixedClock clock;
    DastConfig config = save_versions::config(2, m_dir);
    EXPECT_FALSE(saveConfig(config, clock));
    EXPECT_TRUE(fs::is_directory(pathInDirectory(m_dir, "dast.cfg")));
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}
