// Replacements killed at random points: a child process replaces a track of a container file
// through the staged plug-in and is killed (SIGKILL; TerminateProcess on Windows) after a random
// delay, counted from the moment the child has the container open. After the next open of the
// container (which puts back what an interrupted replacement overwrote), the file must be byte
// for byte the old container or the new one, never a mixture. A track of a container nested in
// another is replaced as the command line replaces it (ReplaceInContainer), so the outer file
// must be old or new as well.
//
// On POSIX the child is a fork of the test. On Windows it is this program started again to run
// only ReplaceKill.DISABLED_ChildReplaces, told what to replace through its environment; it says
// through a named event when it has the container open. A process starts slowly under Wine,
// which is why the delay counts from that signal and not from the start.
#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "afs_builder.h"
#include "byte_writer.h"
#include "host/containers/container_replace.h"
#include "host/plugins/plugin_host.h"
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
    // For a nested container: the track of the container that holds it, and its plug-in.
    std::string link;
    const char* innerPlugin = nullptr;
    std::string track;
    Bytes replacement;
    // For a batch (ReplaceManyInContainer): a second track, replaced in the same step.
    std::string secondTrack;
    Bytes secondReplacement;
    // The kills spread over this many quarters of a whole replacement: a nested one writes
    // the outer file last.
    int spreadQuarters = 3;
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

// What one child replaces.
struct ChildJob {
    std::string plugin;
    std::string container;
    std::string track;
    std::string source;
    std::string link;          // empty, or the track of the container the replaced track lies in
    std::string second;        // empty, or a second track replaced in the same step
    std::string secondSource;  // its replacement
};

// The child's replacement once the container is open and opened() agreed: through the plug-in
// itself, or in a nested container or for two tracks at once through the core as the command
// line does it.
bool ReplaceAsChild(ExplorerApi& api, const ChildJob& job, const std::function<bool()>& opened) {
    if (job.link.empty() && job.second.empty()) {
        const int h = api.LoadFile(job.container.c_str());
        return h != -1 && opened() &&
               api.ReplaceFile(h, job.track.c_str(), job.source.c_str()) == 1;
    }
    PluginHost host;
    host.LoadExplorerPlugins(std::string(FOGBELL_STAGE_DIR) + "/explore_plugins");
    std::string error;
    const ExplorerSessionPtr outer = host.OpenContainer(job.container, nullptr, 0, error);
    if (!outer) {
        return false;
    }
    TrackBytes bytes;
    ExplorerSessionPtr inner;
    if (!job.link.empty()) {
        bytes = outer->Track(job.link);
        inner = bytes ? host.OpenContainer(job.link, bytes.Data(), bytes.Size(), error) : nullptr;
        if (!inner) {
            return false;
        }
    }
    if (!opened()) {
        return false;
    }
    if (!job.second.empty()) {
        BatchReplaceRequest batch;
        batch.chain = {outer.get()};
        if (inner) {
            batch.chain.push_back(inner.get());
            batch.links = {job.link};
        }
        batch.tracks = {job.track, job.second};
        batch.replacements = {job.source, job.secondSource};
        return ReplaceManyInContainer(batch).outcome == ContainerReplaceOutcome::kReplacedInPlace;
    }
    ContainerReplaceRequest request;
    request.chain = {outer.get(), inner.get()};
    request.links = {job.link};
    request.track = job.track;
    request.replacement = job.source;
    return ReplaceInContainer(request).outcome == ContainerReplaceOutcome::kReplacedInPlace;
}

#if defined(_WIN32)

constexpr const wchar_t* kChildJob = L"FOGBELL_REPLACE_KILL_JOB";
constexpr const wchar_t* kChildArguments =
    L" --gtest_also_run_disabled_tests --gtest_filter=ReplaceKill.DISABLED_ChildReplaces";
constexpr DWORD kLongest = 32768;  // the longest environment value or path

// One replacement in a child process: this program again, running only the child's part.
class ReplacementChild {
  public:
    ReplacementChild() = default;
    ReplacementChild(const ReplacementChild&) = delete;
    ReplacementChild& operator=(const ReplacementChild&) = delete;
    ~ReplacementChild() {
        if (process_ != nullptr) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, INFINITE);
            CloseHandle(process_);
        }
    }

    // Starts the child; true once it has the container open (false when it ended before).
    bool Start(const ChildJob& job) {
        static unsigned counter = 0;
        const std::wstring event = L"Local\\fogbell-replace-kill-" +
                                   std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(++counter);
        HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
        const std::string described = job.plugin + "\n" + job.container + "\n" + job.track + "\n" +
                                      job.source + "\n" + job.link + "\n" + job.second + "\n" +
                                      job.secondSource + "\n" + Utf8FromWide(event.c_str());
        SetEnvironmentVariableW(kChildJob, WideFromUtf8(described).c_str());
        std::wstring self(kLongest, L'\0');
        self.resize(GetModuleFileNameW(nullptr, self.data(), kLongest));
        std::wstring commandLine = L"\"" + self + L"\"" + kChildArguments;
        // The child's own test report is of no interest.
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE nothing =
            CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nothing;
        PROCESS_INFORMATION child{};
        const bool started = CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr,
                                            TRUE, 0, nullptr, nullptr, &startup, &child) != 0;
        SetEnvironmentVariableW(kChildJob, nullptr);
        CloseHandle(nothing);
        if (!started) {
            CloseHandle(opened);
            return false;
        }
        CloseHandle(child.hThread);
        process_ = child.hProcess;
        const HANDLE either[] = {opened, process_};
        const DWORD first = WaitForMultipleObjects(2, either, FALSE, INFINITE);
        CloseHandle(opened);
        return first == WAIT_OBJECT_0;
    }

    void Kill() { TerminateProcess(process_, 1); }

    // Waits for the child's end: true when it replaced the track and ended by itself.
    bool Succeeded() {
        if (process_ == nullptr) {
            return false;
        }
        WaitForSingleObject(process_, INFINITE);
        DWORD code = 1;
        GetExitCodeProcess(process_, &code);
        CloseHandle(process_);
        process_ = nullptr;
        return code == 0;
    }

  private:
    HANDLE process_ = nullptr;
};

// The child's part; it runs only in a child that ReplacementChild started.
TEST(ReplaceKill, DISABLED_ChildReplaces) {
    std::wstring value(kLongest, L'\0');
    value.resize(GetEnvironmentVariableW(kChildJob, value.data(), kLongest));
    std::istringstream described(Utf8FromWide(value.c_str()));
    ChildJob job;
    std::string event;
    ASSERT_TRUE(std::getline(described, job.plugin) && std::getline(described, job.container) &&
                std::getline(described, job.track) && std::getline(described, job.source) &&
                std::getline(described, job.link) && std::getline(described, job.second) &&
                std::getline(described, job.secondSource) && std::getline(described, event));
    ExplorerApi api(job.plugin);
    const auto opened = [&event] {
        HANDLE signal = OpenEventW(EVENT_MODIFY_STATE, FALSE, WideFromUtf8(event).c_str());
        return signal != nullptr && SetEvent(signal);
    };
    ExitProcess(ReplaceAsChild(api, job, opened) ? 0 : 1);
}

// Every child is a new process, slow to start under Wine: half the kills keep the test near a
// quarter of a minute there, spread over the copy all the same.
int KillsHere(int kills) {
    return kills / 2;
}

#else

// One replacement in a forked child of this process.
class ReplacementChild {
  public:
    explicit ReplacementChild(ExplorerApi& api) : api_(api) {}
    ReplacementChild(const ReplacementChild&) = delete;
    ReplacementChild& operator=(const ReplacementChild&) = delete;
    ~ReplacementChild() {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
    }

    // Starts the child; true once it has the container open (false when it ended before).
    bool Start(const ChildJob& job) {
        int channel[2];
        if (pipe(channel) != 0) {
            return false;
        }
        child_ = fork();
        if (child_ == 0) {
            close(channel[0]);
            const auto opened = [&channel] {
                const char said = 'o';
                return write(channel[1], &said, 1) == 1;
            };
            _exit(ReplaceAsChild(api_, job, opened) ? 0 : 1);
        }
        close(channel[1]);
        char opened = 0;
        const bool open = child_ > 0 && read(channel[0], &opened, 1) == 1;
        close(channel[0]);
        return open;
    }

    void Kill() { kill(child_, SIGKILL); }

    // Waits for the child's end: true when it replaced the track and ended by itself.
    bool Succeeded() {
        int status = 0;
        if (child_ <= 0 || waitpid(child_, &status, 0) != child_) {
            return false;
        }
        child_ = -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

  private:
    ExplorerApi& api_;
    pid_t child_ = -1;
};

int KillsHere(int kills) {
    return kills;
}

#endif

// Runs one replacement in a child and kills it delay after it has the container open, unless
// delay is negative. True when the child replaced the track; took: from the open to its end.
bool ReplaceInChild([[maybe_unused]] ExplorerApi& api, const ChildJob& job,
                    std::chrono::microseconds delay, std::chrono::microseconds& took) {
#if defined(_WIN32)
    ReplacementChild child;
#else
    ReplacementChild child(api);
#endif
    if (!child.Start(job)) {
        child.Succeeded();
        return false;
    }
    const auto opened = Clock::now();
    if (delay.count() >= 0) {
        std::this_thread::sleep_for(delay);
        child.Kill();
    }
    const bool succeeded = child.Succeeded();
    took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - opened);
    return succeeded;
}

// A killed process leaves its writes in the page cache, which a memory file system keeps as well
// as a disk does; flushing to it costs nothing, which keeps many kills quick.
void PreferMemoryFileSystem() {
#if !defined(_WIN32)
    if (access("/dev/shm", W_OK) == 0) {
        setenv("TMPDIR", "/dev/shm", 1);
    }
#endif
}

// Replaces the case's track in memory, in the inner container's bytes inside expected for a
// nested case.
void ExpectedReplacement(ExplorerApi& api, const KillCase& c, Bytes& expected) {
    const int memory = api.LoadFileMemory(expected.data(), Size(expected));
    ASSERT_NE(memory, -1) << api.Error();
    if (c.link.empty()) {
        ASSERT_EQ(api.ReplaceFileMemory(memory, c.track.c_str(), c.replacement.data(),
                                        Size(c.replacement)),
                  1)
            << api.Error();
        if (!c.secondTrack.empty()) {
            ASSERT_EQ(api.ReplaceFileMemory(memory, c.secondTrack.c_str(),
                                            c.secondReplacement.data(), Size(c.secondReplacement)),
                      1)
                << api.Error();
        }
    } else {
        ExplorerApi inner(c.innerPlugin);
        std::uint32_t length = 0;
        const void* bytes = api.GetFilePointer(memory, c.link.c_str(), &length);
        ASSERT_NE(bytes, nullptr) << api.Error();
        const int nested = inner.LoadFileMemory(bytes, length);
        ASSERT_NE(nested, -1) << inner.Error();
        ASSERT_EQ(inner.ReplaceFileMemory(nested, c.track.c_str(), c.replacement.data(),
                                          Size(c.replacement)),
                  1)
            << inner.Error();
        if (!c.secondTrack.empty()) {
            ASSERT_EQ(inner.ReplaceFileMemory(nested, c.secondTrack.c_str(),
                                              c.secondReplacement.data(),
                                              Size(c.secondReplacement)),
                      1)
                << inner.Error();
        }
        inner.CloseFile(nested);
    }
    api.CloseFile(memory);
}

void RunKills(const KillCase& c, int kills) {
    SCOPED_TRACE(c.plugin);
    kills = KillsHere(kills);
    PreferMemoryFileSystem();
    TempDir dir;
    ExplorerApi api(c.plugin);
    // The host finds a nested chain's explorers by extension.
    const std::string path =
        dir.File(c.link.empty() && c.secondTrack.empty() ? "box.bin" : "box.afs");
    const std::string source = dir.File("new.bin");
    WriteFile(source, c.replacement);
    const std::string secondSource = dir.File("second.bin");
    WriteFile(secondSource, c.secondReplacement);
    const ChildJob job{c.plugin, path, c.track, source, c.link, c.secondTrack, secondSource};

    // The new container, as the same replacement leaves it in memory.
    Bytes expected = c.container;
    ExpectedReplacement(api, c, expected);
    ASSERT_NE(expected, c.container);

    // How long a whole replacement takes, to spread the kills over it.
    WriteFile(path, c.container);
    std::chrono::microseconds whole{0};
    ASSERT_TRUE(ReplaceInChild(api, job, std::chrono::microseconds(-1), whole));
    ASSERT_TRUE(SameExcept(ReadFile(path), expected, c.timeDependent));

    std::mt19937 random(7);
    int old = 0, replaced = 0, restored = 0;
    for (int i = 0; i < kills; ++i) {
        WriteFile(path, c.container);
        const auto delay =
            std::chrono::microseconds(random() % (whole.count() * c.spreadQuarters / 4 + 1));
        std::chrono::microseconds took{0};
        ReplaceInChild(api, job, delay, took);
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
    if (!c.link.empty() || !c.secondTrack.empty()) {
        // A whole run removes the temporaries that killed ones left behind.
        std::chrono::microseconds took{0};
        WriteFile(path, c.container);
        EXPECT_TRUE(ReplaceInChild(api, job, std::chrono::microseconds(-1), took));
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

// A track of an archive inside an archive, replaced in place: the outer file's journal covers
// it. The outer archive stamps the member's date, the inner one the track's.
TEST(ReplaceKill, AnAfsInsideAnAfsIsAlwaysTheOldOrTheNewOne) {
    const auto inner =
        AfsBuilder().Add("a.bin", Pattern(1000, 1)).Add("big.bin", Pattern(kTrackSize, 2)).Build();
    const auto outer =
        AfsBuilder().Add("first.bin", Pattern(500, 5)).Add("inner.afs", inner.bytes).Build();
    KillCase c;
    c.plugin = "afsvault";
    c.container = outer.bytes;
    c.link = "inner.afs";
    c.innerPlugin = "afsvault";
    c.spreadQuarters = 4;
    c.track = "big.bin";
    c.replacement = Pattern(kTrackSize, 4);
    const std::size_t outerDate = AfsBuilder::NameEntryOffset(outer, 1) + 32;
    const std::size_t innerDate = outer.offsets[1] + AfsBuilder::NameEntryOffset(inner, 1) + 32;
    c.timeDependent = {{outerDate, outerDate + 12}, {innerDate, innerDate + 12}};
    RunKills(c, 40);
}

TEST(ReplaceKill, APacInsideAnAfsIsAlwaysTheOldOrTheNewOne) {
    const Bytes pac = PacBuilder()
                          .Add(BuildWave({}, Pattern(kTrackSize, 1)))
                          .Add(BuildWave({}, Pattern(1000, 2)))
                          .Build()
                          .bytes;
    const auto outer = AfsBuilder().Add("se.pac", pac).Add("last.bin", Pattern(700, 3)).Build();
    KillCase c;
    c.plugin = "afsvault";
    c.container = outer.bytes;
    c.link = "se.pac";
    c.innerPlugin = "pacvault";
    c.spreadQuarters = 4;
    c.track = "Track 0.wav";
    c.replacement = BuildWave({}, Pattern(kTrackSize - 64, 3));
    const std::size_t outerDate = AfsBuilder::NameEntryOffset(outer, 0) + 32;
    c.timeDependent = {{outerDate, outerDate + 12}};
    RunKills(c, 40);
}

// Two tracks replaced in one step: one journal covers both, so the archive is never half
// replaced.
TEST(ReplaceKill, ABatchOfTwoTracksIsAlwaysTheOldOrTheNewArchive) {
    const auto built = AfsBuilder()
                           .Add("one.bin", Pattern(kTrackSize, 1))
                           .Add("a.bin", Pattern(1000, 2))
                           .Add("two.bin", Pattern(kTrackSize, 3))
                           .Build();
    KillCase c;
    c.plugin = "afsvault";
    c.container = built.bytes;
    c.track = "one.bin";
    c.replacement = Pattern(kTrackSize, 4);
    c.secondTrack = "two.bin";
    c.secondReplacement = Pattern(kTrackSize - 10, 5);
    c.spreadQuarters = 4;
    for (const std::size_t row : {0u, 2u}) {
        const std::size_t date = AfsBuilder::NameEntryOffset(built, row) + 32;
        c.timeDependent.push_back({date, date + 12});
    }
    RunKills(c, 40);
}

// Two tracks of an archive inside an archive in one step: written straight into the outer file
// under its one journal.
TEST(ReplaceKill, ABatchInsideAnArchiveIsAlwaysTheOldOrTheNewOne) {
    const auto inner = AfsBuilder()
                           .Add("one.bin", Pattern(kTrackSize, 1))
                           .Add("two.bin", Pattern(kTrackSize, 2))
                           .Build();
    const auto outer =
        AfsBuilder().Add("first.bin", Pattern(500, 5)).Add("inner.afs", inner.bytes).Build();
    KillCase c;
    c.plugin = "afsvault";
    c.container = outer.bytes;
    c.link = "inner.afs";
    c.innerPlugin = "afsvault";
    c.spreadQuarters = 4;
    c.track = "one.bin";
    c.replacement = Pattern(kTrackSize, 4);
    c.secondTrack = "two.bin";
    c.secondReplacement = Pattern(kTrackSize - 10, 5);
    for (const std::size_t row : {0u, 1u}) {
        const std::size_t date = outer.offsets[1] + AfsBuilder::NameEntryOffset(inner, row) + 32;
        c.timeDependent.push_back({date, date + 12});
    }
    RunKills(c, 40);
}

}  // namespace
}  // namespace fogbell::test
