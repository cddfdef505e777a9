// Replacements killed at random points: a child process replaces a track of a container file
// through the staged plug-in and is killed with SIGKILL after a random delay. After the next
// open of the container (which puts back what an interrupted replacement overwrote), the file
// must be byte for byte the old container or the new one, never a mixture.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "afs_builder.h"
#include "byte_writer.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "plugin_api.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

using Clock = std::chrono::steady_clock;

struct Range {
    std::size_t begin;
    std::size_t end;
};

struct KillCase {
    const char* plugin;
    Bytes container;
    std::string track;
    Bytes replacement;
    // Bytes whose new value depends on the moment of the replacement (AFS dates).
    std::vector<Range> timeDependent;
};

std::uint32_t Size(const Bytes& bytes) {
    return static_cast<std::uint32_t>(bytes.size());
}

bool SameExcept(const Bytes& a, const Bytes& b, const std::vector<Range>& ignored) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        bool skip = false;
        for (const Range& r : ignored) {
            skip = skip || (i >= r.begin && i < r.end);
        }
        if (!skip && a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

// Runs one replacement in a child; kills it after delay unless it is negative. Returns the
// child's wait status.
int ReplaceInChild(ExplorerApi& api, const std::string& container, const std::string& track,
                   const std::string& source, std::chrono::microseconds delay) {
    const pid_t child = fork();
    if (child == 0) {
        const int h = api.LoadFile(container.c_str());
        const int ok = h != -1 && api.ReplaceFile(h, track.c_str(), source.c_str()) == 1;
        _exit(ok ? 0 : 1);
    }
    if (delay.count() >= 0) {
        std::this_thread::sleep_for(delay);
        kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

// A killed process leaves its writes in the page cache, which a memory file system keeps as well
// as a disk does; flushing to it costs nothing, which keeps many kills quick.
void PreferMemoryFileSystem() {
    if (access("/dev/shm", W_OK) == 0) {
        setenv("TMPDIR", "/dev/shm", 1);
    }
}

void RunKills(const KillCase& c, int kills) {
    SCOPED_TRACE(c.plugin);
    PreferMemoryFileSystem();
    TempDir dir;
    ExplorerApi api(c.plugin);
    const std::string path = dir.File("box.bin");
    const std::string source = dir.File("new.bin");
    WriteFile(source, c.replacement);

    // The new container, as the same replacement leaves it in memory.
    Bytes expected = c.container;
    const int memory = api.LoadFileMemory(expected.data(), Size(expected));
    ASSERT_NE(memory, -1) << api.Error();
    ASSERT_EQ(
        api.ReplaceFileMemory(memory, c.track.c_str(), c.replacement.data(), Size(c.replacement)),
        1)
        << api.Error();
    api.CloseFile(memory);
    ASSERT_NE(expected, c.container);

    // How long a whole replacement takes, to spread the kills over it.
    WriteFile(path, c.container);
    const auto start = Clock::now();
    const int status = ReplaceInChild(api, path, c.track, source, std::chrono::microseconds(-1));
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(SameExcept(ReadFile(path), expected, c.timeDependent));

    std::mt19937 random(7);
    int old = 0, replaced = 0, restored = 0;
    for (int i = 0; i < kills; ++i) {
        WriteFile(path, c.container);
        const auto delay = std::chrono::microseconds(random() % (whole.count() * 3 / 4 + 1));
        ReplaceInChild(api, path, c.track, source, delay);
        // The next open puts back what the killed replacement had overwritten.
        const int h = api.LoadFile(path.c_str());
        ASSERT_NE(h, -1) << api.Error();
        restored += api.Error().rfind("Restored ", 0) == 0 ? 1 : 0;
        api.CloseFile(h);
        EXPECT_FALSE(FileExists(path + ".fogbell-journal"));
        const Bytes now = ReadFile(path);
        if (now == c.container) {
            ++old;
        } else if (SameExcept(now, expected, c.timeDependent)) {
            ++replaced;
        } else {
            ADD_FAILURE() << "kill " << i << " after " << delay.count()
                          << " us left a mixture of the old and the new container";
            return;
        }
    }
    std::printf("%s: %d kills over %lld us: %d old, %d new, %d put back by the journal\n", c.plugin,
                kills, static_cast<long long>(whole.count()), old, replaced, restored);
}

constexpr std::size_t kTrackSize = 1u << 20;  // long enough for kills to land inside the copy

TEST(ReplaceKill, MvxContainersAreAlwaysTheOldOrTheNewOne) {
    KillCase c;
    c.plugin = "mvxvault";
    c.container = MvxBuilder()
                      .Add("first.xmd", Pattern(1000, 1))
                      .Add("big.xmd", Pattern(kTrackSize, 2))
                      .Add("last.xmd", Pattern(1000, 3))
                      .Build()
                      .bytes;
    c.track = "big.xmd";
    c.replacement = Pattern(kTrackSize - 100, 4);
    RunKills(c, 50);
}

TEST(ReplaceKill, PacContainersAreAlwaysTheOldOrTheNewOne) {
    KillCase c;
    c.plugin = "pacvault";
    c.container = PacBuilder()
                      .Add(BuildWave({}, Pattern(kTrackSize, 1)))
                      .Add(BuildWave({}, Pattern(1000, 2)))
                      .Build()
                      .bytes;
    c.track = "Track 0.wav";
    c.replacement = BuildWave({}, Pattern(kTrackSize - 64, 3));
    RunKills(c, 40);
}

TEST(ReplaceKill, AfsContainersAreAlwaysTheOldOrTheNewOne) {
    const auto built = AfsBuilder()
                           .Add("a.bin", Pattern(1000, 1))
                           .Add("big.bin", Pattern(kTrackSize, 2))
                           .Add("c.bin", Pattern(1000, 3))
                           .Build();
    KillCase c;
    c.plugin = "afsvault";
    c.container = built.bytes;
    c.track = "big.bin";
    c.replacement = Pattern(kTrackSize, 4);
    const std::size_t date = AfsBuilder::NameEntryOffset(built, 1) + 32;
    c.timeDependent = {{date, date + 12}};
    RunKills(c, 40);
}

}  // namespace
}  // namespace fogbell::test
