// fogbell-cli replace with and without --rebuild: the texts and exit codes, nested paths, a
// rebuild that fails half-way (a folder it may not write in, a read-only file) and a rebuild
// killed with SIGKILL while its temporary file is being written.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "afs_builder.h"
#include "byte_writer.h"
#include "host/containers/container_replace.h"
#include "layout_reader.h"
#include "mvx_builder.h"
#include "run_program.h"
#include "test_files.h"
#include "xmd_builder.h"

extern char** environ;

namespace fogbell::test {
namespace {

constexpr uid_t kNobody = 65534;

Bytes Archive(std::size_t bigSize = 300) {
    return AfsBuilder()
        .Align(2048)
        .Add("a.bin", Pattern(100, 1))
        .Add("b.bin", Pattern(bigSize, 2))
        .Add("c.bin", Pattern(50, 3))
        .Build()
        .bytes;
}

class CliRebuild : public ::testing::Test {
  protected:
    ProgramResult Run(std::vector<std::string> arguments) {
        return RunProgram(CliPath(), arguments);
    }
    std::string Save(const std::string& name, const Bytes& bytes) {
        WriteFile(dir.File(name), bytes);
        return dir.File(name);
    }
    TempDir dir;
};

TEST_F(CliRebuild, ALargerReplacementAsksForRebuildAndRebuildsWithIt) {
    const std::string box = Save("box.afs", Archive());
    const std::string file = Save("new.bin", Pattern(5000, 9));
    const ProgramResult refused = Run({"replace", box, "b.bin", file});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "fogbell-cli: b.bin: the replacement takes 5000 bytes, the track has room for 2048; "
              "run again with --rebuild to rebuild the container\n");
    EXPECT_EQ(ReadFile(box), Archive());

    const ProgramResult rebuilt = Run({"replace", box, "b.bin", file, "--rebuild"});
    EXPECT_EQ(rebuilt.exitStatus, 0) << rebuilt.err;
    EXPECT_EQ(rebuilt.out, "Replace OK: the container was rebuilt\n");
    EXPECT_EQ(rebuilt.err, "");
    EXPECT_EQ(Run({"list", box}).out,
              "a.bin\t100\tUnsupported\nb.bin\t5000\tUnsupported\nc.bin\t50\tUnsupported\n");
    const auto read = layout::ReadAfs(ReadFile(box));
    EXPECT_EQ(read.members[1].bytes, Pattern(5000, 9));
    EXPECT_EQ(read.members[2].bytes, Pattern(50, 3));

    // A replacement that fits goes in place with or without --rebuild.
    const std::string small = Save("small.bin", Pattern(10, 8));
    EXPECT_EQ(Run({"replace", box, "a.bin", small, "--rebuild"}).out, "Replace OK\n");
    EXPECT_EQ(layout::ReadAfs(ReadFile(box)).members[2].offset, read.members[2].offset);
}

TEST_F(CliRebuild, ANestedTrackRebuildsEveryLevelOutwards) {
    const Bytes inner =
        MvxBuilder().Add("x.xmd", Pattern(40, 4)).Add("y.xmd", Pattern(20, 5)).Build().bytes;
    const std::string box = Save(
        "box.afs", AfsBuilder().Add("se.mvx", inner).Add("tail.bin", Pattern(30, 6)).Build().bytes);
    const Bytes xmd = BuildXmd(1, 32000, 13 * 300, XmdFrames(300, 7));
    const std::string file = Save("new.xmd", xmd);
    const ProgramResult refused = Run({"replace", box + "::se.mvx", "x.xmd", file});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.err.find("--rebuild"), std::string::npos) << refused.err;
    const ProgramResult rebuilt = Run({"replace", box + "::#1", "x.xmd", file, "--rebuild"});
    EXPECT_EQ(rebuilt.exitStatus, 0) << rebuilt.err;
    EXPECT_EQ(rebuilt.out, "Replace OK: the container was rebuilt\n");
    const auto outer = layout::ReadAfs(ReadFile(box));
    EXPECT_EQ(outer.members[1].bytes, Pattern(30, 6));
    const auto mvx = layout::ReadMvx(outer.members[0].bytes);
    EXPECT_EQ(mvx.members[0].bytes, xmd);
    EXPECT_EQ(mvx.members[1].bytes, Pattern(20, 5));
    EXPECT_EQ(Run({"list", box + "::se.mvx"}).exitStatus, 0);
}

// The exit status of RunAsNobody's child when the user cannot run the program at all.
constexpr int kCannotRun = 97;

// A copy of the staged fogbell-cli and both plug-in folders in a temporary folder that every
// user may enter and run: the build tree may lie where the user nobody may not go (a clone
// under /root, mode 700). The copy finds its plug-ins beside itself, as the staged program does.
class CliCopy {
  public:
    CliCopy() {
        namespace fs = std::filesystem;
        const fs::path stage = fs::path(CliPath()).parent_path();
        fs::copy_file(CliPath(), dir_.Path() / "fogbell-cli");
        for (const char* folder : {"explore_plugins", "decode_plugins"}) {
            fs::copy(stage / folder, dir_.Path() / folder, fs::copy_options::recursive);
        }
        fs::permissions(dir_.Path(), fs::perms(0755));
        for (const auto& entry : fs::recursive_directory_iterator(dir_.Path())) {
            fs::permissions(entry.path(), fs::perms(0755));
        }
    }
    std::string Program() const { return dir_.File("fogbell-cli"); }

  private:
    TempDir dir_;
};

// Runs program ARGS as user "nobody" (so that file permissions hold even for root); returns
// its exit status (kCannotRun when nobody may not run it) and puts its standard error in err.
int RunAsNobody(const std::string& program, const std::vector<std::string>& arguments,
                std::string& err) {
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        dup2(channel[1], 2);
        if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
            _exit(99);
        }
        if (access(program.c_str(), X_OK) != 0) {
            _exit(kCannotRun);
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(98);
    }
    close(channel[1]);
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0) {
        err.append(buffer, static_cast<std::size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CliRebuild, AFolderItMayNotWriteInOrAReadOnlyFileLeaveTheOriginal) {
    namespace fs = std::filesystem;
    using fs::perms;
    // The folder may be read but not written, by its owner neither (when the tests do not run
    // as root, the program runs as the folder's owner); the archive itself may be written.
    fs::create_directory(dir.File("locked"));
    const std::string box = dir.File("locked/box.afs");
    WriteFile(box, Archive());
    const std::string file = Save("new.bin", Pattern(5000, 9));
    fs::permissions(dir.Path(), perms(0755));
    fs::permissions(dir.File("locked"), perms(0555));
    fs::permissions(box, perms(0666));
    fs::permissions(file, perms(0644));
    const CliCopy cli;
    std::string err;
    const int status =
        RunAsNobody(cli.Program(), {"replace", box, "b.bin", file, "--rebuild"}, err);
    fs::permissions(dir.File("locked"), perms(0755));  // so that the test's folder can be removed
    if (status == kCannotRun) {
        GTEST_SKIP() << "the user nobody may not run " << cli.Program()
                     << ": the temporary folder lies in a folder it may not enter";
    }
    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find("Can't create"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(box), Archive());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("locked")), {}), 1);

    // A read-only archive in a folder that may be written: renaming over it would work, but
    // the file may not be changed, so it is not.
    fs::create_directory(dir.File("open"));
    const std::string readOnly = dir.File("open/box.afs");
    WriteFile(readOnly, Archive());
    fs::permissions(dir.File("open"), perms(0777));
    fs::permissions(readOnly, perms(0444));
    err.clear();
    EXPECT_EQ(RunAsNobody(cli.Program(), {"replace", readOnly, "b.bin", file, "--rebuild"}, err), 1)
        << err;
    EXPECT_NE(err.find("read-only"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(readOnly), Archive());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("open")), {}), 1);
}

// fogbell-cli started with its output thrown away; its process id.
pid_t Start(const std::vector<std::string>& arguments) {
    const std::string program = CliPath();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

// The rebuild is killed while its temporary exists; the kill must come before the rename (the
// temporary is still there afterwards), else the test tries again with a larger archive.
TEST_F(CliRebuild, ARebuildKilledHalfWayLeavesTheOriginalUntouched) {
    namespace fs = std::filesystem;
    const std::string file = Save("new.bin", Pattern(200000, 9));
    for (std::size_t megabytes = 16; megabytes <= 512; megabytes *= 2) {
        SCOPED_TRACE(std::to_string(megabytes) + " MB");
        const std::string box = dir.File("big.afs");
        Bytes big(megabytes << 20);
        for (std::size_t i = 0; i < big.size(); i += 4096) {
            big[i] = static_cast<std::uint8_t>(i >> 12);
        }
        const Bytes original = AfsBuilder()
                                   .Align(2048)
                                   .Add("small.bin", Pattern(1000, 1))
                                   .Add("big.bin", big)
                                   .Build()
                                   .bytes;
        big.clear();
        big.shrink_to_fit();
        WriteFile(box, original);
        const pid_t pid = Start({"replace", box, "small.bin", file, "--rebuild"});
        ASSERT_GT(pid, 0);
        const std::string temporary = RebuildTemporaryPath(fs::canonical(box).string(), pid, 1);
        bool seen = false;
        int status = 0;
        for (;;) {
            if (fs::exists(temporary)) {
                seen = true;
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            if (waitpid(pid, &status, WNOHANG) == pid) {
                break;  // it ended before its temporary was seen
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        const bool killedMidWay =
            seen && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL && fs::exists(temporary);
        if (!killedMidWay) {
            continue;  // too late: the rebuild was complete; try a larger archive
        }
        EXPECT_TRUE(ReadFile(box) == original) << "the original changed";
        EXPECT_EQ(fs::file_size(box), original.size());
        // The next rebuild of the container removes what the killed one left, and succeeds.
        const ProgramResult again = Run({"replace", box, "small.bin", file, "--rebuild"});
        EXPECT_EQ(again.exitStatus, 0) << again.err;
        EXPECT_FALSE(fs::exists(temporary));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 2);
        const auto read = layout::ReadAfs(ReadFile(box));
        EXPECT_EQ(read.members[0].bytes, Pattern(200000, 9));
        EXPECT_EQ(read.members[1].size, megabytes << 20);
        return;
    }
    FAIL() << "no rebuild could be killed while its temporary was written";
}

}  // namespace
}  // namespace fogbell::test
