// What a save does on disk, call by call, and what a power cut at any of those calls leaves.
// A helper process saves version 2 of dast.cfg and dast.data over version 1 with the file-call
// journal preloaded (FileCallJournal.cpp); the journal gives the order of its calls, and a
// replay of it gives every state the disk could hold after a cut.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "SaveVersions.h"
#include "core/base/CrashSafeFile.h"
#include "core/base/FilePath.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct FileCall {
    std::string what;  // open, write, fsync, close, rename
    std::string name;  // as it was when opened
    std::string more;  // rename: the new name; fsync: "failed" when refused
    size_t offset = 0;
    Bytes bytes;  // write
};

std::vector<FileCall> readJournal(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<FileCall> calls;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        FileCall call;
        fields >> call.what >> call.name;
        if (call.what == "write") {
            size_t length = 0;
            fields >> call.offset >> length;
            call.bytes.resize(length);
            in.read(reinterpret_cast<char*>(call.bytes.data()), static_cast<long>(length));
        } else {
            fields >> call.more;
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

// The calls as steps, each temporary name cut to "<file>.tmp" and a run of writes to one file
// shown once.
std::vector<std::string> steps(const std::vector<FileCall>& calls) {
    auto shortName = [](const std::string& name) {
        const auto tmp = name.find(".tmp");
        return tmp == std::string::npos ? name : name.substr(0, tmp + 4);
    };
    std::vector<std::string> out;
    for (const FileCall& call : calls) {
        std::string step = call.what + " " + shortName(call.name);
        if (!call.more.empty())
            step += " " + (call.what == "rename" ? shortName(call.more) : call.more);
        if (out.empty() || out.back() != step || call.what != "write") out.push_back(step);
    }
    return out;
}

// A disk as a power cut may leave it. Directory entries are durable up to the last fsync of
// the directory, and later changes to them may survive in order, each one or not; a file's
// bytes are durable up to its last fsync, and bytes written since may be lost, kept, or
// kept in part (the file at its new length, the rest zeros).
class DiskModel {
public:
    explicit DiskModel(const std::map<std::string, Bytes>& files) {
        for (const auto& [name, bytes] : files) {
            m_entries[name] = m_inodes.size();
            m_inodes.push_back({bytes, bytes, {}});
        }
        m_durableEntries = m_entries;
    }

    void apply(const FileCall& call) {
        if (call.what == "open" && call.name != ".") {
            if (!m_entries.contains(call.name)) {
                m_entries[call.name] = m_inodes.size();
                m_pending.push_back({"", call.name, m_inodes.size()});
                m_inodes.emplace_back();
            }
            m_opened[call.name] = m_entries[call.name];
        } else if (call.what == "write") {
            Inode& file = m_inodes[m_opened.at(call.name)];
            if (file.current.size() < call.offset + call.bytes.size()) {
                file.current.resize(call.offset + call.bytes.size());
            }
            std::copy(call.bytes.begin(), call.bytes.end(), file.current.begin() + call.offset);
            file.unsynced.emplace_back(call.offset, call.bytes.size());
        } else if (call.what == "fsync" && call.more.empty()) {
            if (call.name == ".") {
                m_durableEntries = m_entries;
                m_pending.clear();
            } else {
                Inode& file = m_inodes[m_opened.at(call.name)];
                file.durable = file.current;
                file.unsynced.clear();
            }
        } else if (call.what == "rename") {
            m_pending.push_back({call.name, call.more, m_entries.at(call.name)});
            m_entries[call.more] = m_entries.at(call.name);
            m_entries.erase(call.name);
        }
    }

    // Every content the file `name` may have after a cut now; empty where it may be missing.
    std::vector<Bytes> possibleContents(const std::string& name) const {
        std::vector<Bytes> contents;
        auto add = [&contents](Bytes bytes) {
            if (std::find(contents.begin(), contents.end(), bytes) == contents.end())
                contents.push_back(std::move(bytes));
        };
        std::map<std::string, size_t> entries = m_durableEntries;
        for (size_t kept = 0; kept <= m_pending.size(); ++kept) {
            if (kept > 0) {
                const EntryChange& change = m_pending[kept - 1];
                if (!change.from.empty()) entries.erase(change.from);
                entries[change.to] = change.inode;
            }
            const auto entry = entries.find(name);
            if (entry == entries.end()) {
                add(Bytes{});
                continue;
            }
            const Inode& file = m_inodes[entry->second];
            add(file.durable);
            add(file.current);
            Bytes zeros = file.current;
            Bytes half = file.current;
            for (const auto& [offset, length] : file.unsynced) {
                std::fill_n(zeros.begin() + offset, length, 0);
                std::fill_n(half.begin() + offset + length / 2, length - length / 2, 0);
            }
            add(std::move(zeros));
            add(std::move(half));
        }
        return contents;
    }

private:
    struct Inode {
        Bytes durable;
        Bytes current;
        std::vector<std::pair<size_t, size_t>> unsynced;  // offset, length
    };
    struct EntryChange {
        std::string from;  // empty for a new file
        std::string to;
        size_t inode;
    };
    std::vector<Inode> m_inodes;
    std::map<std::string, size_t> m_entries;
    std::map<std::string, size_t> m_durableEntries;
    std::vector<EntryChange> m_pending;
    std::map<std::string, size_t> m_opened;
};

class SaveJournal : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvo-journal-XXXXXX";
        m_root = ::mkdtemp(pattern);
        m_dir = m_root + "/files";
        fs::create_directory(m_dir);
        m_oldConfig = save_versions::configImage(1, m_dir, 1);
        m_oldData = save_versions::dataImage(1);
        put("dast.cfg", m_oldConfig);
        put("dast.data", m_oldData);
    }
    void TearDown() override { fs::remove_all(m_root); }

    void put(const std::string& name, const Bytes& bytes) const {
        std::ofstream(pathInDirectory(m_dir, name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    }
    Bytes contents(const std::string& name) const {
        Bytes bytes;
        readWholeFile(pathInDirectory(m_dir, name), bytes, 1 << 22);
        return bytes;
    }
    std::string journalPath() const { return m_root + "/journal"; }

    // Saves version 2 of both files in a helper process with the journal preloaded; its exit
    // status (bit 0: the dast.cfg save failed, bit 1: dast.data).
    int saveVersionTwo(const char* failFsyncOf = nullptr) const {
        fs::remove(journalPath());
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("LD_PRELOAD", KELVO_FILE_CALL_JOURNAL, 1);
            ::setenv("KELVO_JOURNAL_DIR", m_dir.c_str(), 1);
            ::setenv("KELVO_JOURNAL_LOG", journalPath().c_str(), 1);
            if (failFsyncOf) ::setenv("KELVO_JOURNAL_FAIL_FSYNC", failFsyncOf, 1);
            // The journal is loaded ahead of AddressSanitizer's run-time library.
            const char* asan = ::getenv("ASAN_OPTIONS");
            const std::string options = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
            ::setenv("ASAN_OPTIONS", options.c_str(), 1);
            ::execl(KELVO_SAVE_LOOP, KELVO_SAVE_LOOP, m_dir.c_str(), "2", "2", nullptr);
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The version a file's bytes are, read by the program's own readers; 0 for none.
    uint32_t configVersion(const Bytes& bytes) const {
        DastConfig c = DastConfig::defaults();
        if (!readConfigImage(bytes.data(), bytes.size(), c)) return 0;
        const uint32_t k = c.exportInterval - 5;
        return bytes == save_versions::configImage(k, m_dir, k) ? k : 0;
    }
    static uint32_t dataVersion(const Bytes& bytes) {
        DayTable days{};
        MonthTable months{};
        auto store = std::make_unique<SampleStore>();
        if (DataFile::decode(bytes.data(), bytes.size(), days, months, *store) !=
            DataFile::Load::Loaded) {
            return 0;
        }
        const auto k = static_cast<uint32_t>(days.solar[0]);
        return bytes == save_versions::dataImage(k) ? k : 0;
    }

    std::string m_root;
    std::string m_dir;
    Bytes m_oldConfig;
    Bytes m_oldData;
};

}  // namespace

TEST_F(SaveJournal, WriteSyncCloseRenameSyncDirectoryAndAFailedSyncSavesNothing) {
    // fsync of each temporary file refused, as by a failing disk.
    EXPECT_EQ(saveVersionTwo(".tmp"), 3) << "a save claimed success";
    EXPECT_EQ(contents("dast.cfg"), m_oldConfig);
    EXPECT_EQ(contents("dast.data"), m_oldData);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2)
        << "a temporary file was left behind";
    EXPECT_EQ(steps(readJournal(journalPath())),
              (std::vector<std::string>{"open dast.cfg.tmp", "write dast.cfg.tmp",
                                        "fsync dast.cfg.tmp failed", "close dast.cfg.tmp",
                                        "open dast.data.tmp", "write dast.data.tmp",
                                        "fsync dast.data.tmp failed", "close dast.data.tmp"}));

    ASSERT_EQ(saveVersionTwo(), 0);
    EXPECT_EQ(
        steps(readJournal(journalPath())),
        (std::vector<std::string>{
            "open dast.cfg.tmp", "write dast.cfg.tmp", "fsync dast.cfg.tmp", "close dast.cfg.tmp",
            "rename dast.cfg.tmp dast.cfg", "open .", "fsync .", "close .", "open dast.data.tmp",
            "write dast.data.tmp", "fsync dast.data.tmp", "close dast.data.tmp",
            "rename dast.data.tmp dast.data", "open .", "fsync .", "close ."}));
}

// Every state the disk may hold after a cut at any call of the two saves loads as a whole
// old or whole new file; once a file's save is over, only as the new one.
TEST_F(SaveJournal, PowerCutAtAnyCallLeavesAWholeOldOrNewFile) {
    ASSERT_EQ(saveVersionTwo(), 0);
    const std::vector<FileCall> calls = readJournal(journalPath());
    size_t dataCallsStart = 0;
    while (dataCallsStart < calls.size() && !calls[dataCallsStart].name.starts_with("dast.data"))
        ++dataCallsStart;
    ASSERT_GT(dataCallsStart, 0u);
    ASSERT_LT(dataCallsStart, calls.size());

    DiskModel disk({{"dast.cfg", m_oldConfig}, {"dast.data", m_oldData}});
    int states = 0;
    for (size_t cut = 0; cut <= calls.size() && !HasFailure(); ++cut) {
        if (cut > 0) disk.apply(calls[cut - 1]);
        for (const bool config : {true, false}) {
            const bool saved = config ? cut >= dataCallsStart : cut == calls.size();
            for (const Bytes& held : disk.possibleContents(config ? "dast.cfg" : "dast.data")) {
                ++states;
                const uint32_t version = config ? configVersion(held) : dataVersion(held);
                EXPECT_TRUE(version == 2 || (version == 1 && !saved))
                    << (config ? "dast.cfg" : "dast.data") << " after call " << cut << " of "
                    << calls.size() << ": " << held.size() << " bytes, version " << version;
            }
        }
    }
    std::printf("power cuts at %zu points, %d file states checked\n", calls.size() + 1, states);
    RecordProperty("file_states", states);
}
