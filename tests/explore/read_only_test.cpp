// Read-only containers and read-only replacement files, through the staged plug-ins. Permission
// bits do not stop root, so when the tests run as root the checks run in a child process that
// has given up root (user and group "nobody"), where they mean what they say.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "mvx_builder.h"
#include "plugin_api.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

constexpr uid_t kNobody = 65534;

// Runs body in a child without root's privileges (as it is when the tests do not run as root).
// body returns an empty text when every check held, else what failed. The child's answer, or
// a text saying why it could not run.
std::string RunUnprivileged(const std::function<std::string()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        return "no pipe";
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::string answer;
        if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
            answer = "cannot give up root";
        } else {
            answer = body();
        }
        const ssize_t written = write(channel[1], answer.data(), answer.size());
        _exit(written == static_cast<ssize_t>(answer.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string answer;
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0) {
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status)) {
        return "the child died: " + answer;
    }
    return answer;
}

// A check inside the child: the text of the first that failed.
#define CHILD_CHECK(condition, what)  \
    do {                              \
        if (!(condition)) {           \
            return std::string(what); \
        }                             \
    } while (false)

class ReadOnly : public ::testing::Test {
  protected:
    void SetUp() override {
        // The child must reach the folder; files in it stay read-only for it.
        chmod(dir.Path().c_str(), 0755);
        std::filesystem::create_directory(dir.File("out"));
        chmod(dir.File("out").c_str(), 0777);
    }

    std::string ReadOnlyFile(const std::string& name, const Bytes& bytes) {
        const std::string path = dir.File(name);
        WriteFile(path, bytes);
        chmod(path.c_str(), 0444);
        return path;
    }

    TempDir dir;
};

TEST_F(ReadOnly, AReadOnlyContainerListsExtractsAndRefusesReplacementNamingTheFile) {
    const Bytes adx = [] {
        AdxOptions options;
        options.channels = 1;
        options.totalSamples = 64;
        return BuildAdx(options, AdxFrames(2, 1, 1), true);
    }();
    const Bytes archive =
        AfsBuilder().Add("voice.adx", adx).Add("b.bin", Pattern(50, 2)).Build().bytes;
    const std::string path = ReadOnlyFile("disc.afs", archive);
    const std::string source = ReadOnlyFile("new.bin", Pattern(10, 3));
    const std::string out = dir.File("out/voice.adx");
    ExplorerApi afs("afsvault");
    DecoderApi voice("adxvoice");

    const std::string failed = RunUnprivileged([&]() -> std::string {
        CHILD_CHECK(open(path.c_str(), O_RDWR) < 0, "the container is writable here");
        const int h = afs.LoadFile(path.c_str());
        CHILD_CHECK(h != -1, "not opened: " + afs.Error());
        char** names = afs.GetListFiles(h);
        CHILD_CHECK(names != nullptr && std::string(names[1]) == "b.bin", "not listed");
        std::uint32_t length = 0;
        const void* track = afs.GetFilePointer(h, "voice.adx", &length);
        CHILD_CHECK(track != nullptr && length == adx.size(), "no track pointer");
        // Played or saved as WAVE: the decoder reads the read-only mapping.
        const int stream = voice.LoadFileMemory(-1, -1, track, length);
        CHILD_CHECK(stream != -1, "not decoded: " + voice.Error());
        CHILD_CHECK(!voice.DecodeAll(stream).empty(), "no PCM");
        voice.CloseFile(stream);
        CHILD_CHECK(afs.ExtractFile(h, "voice.adx", out.c_str()) == 1, "not extracted");
        CHILD_CHECK(ReadFile(out) == adx, "extracted wrongly");
        CHILD_CHECK(afs.ReplaceFile(h, "b.bin", source.c_str()) == 0, "replaced");
        CHILD_CHECK(afs.Error() == "Can't replace a track in " + path + ": the file is read-only.",
                    "text: " + afs.Error());
        afs.CloseFile(h);
        // A single read-only audio file plays too.
        const int single = voice.LoadFile(-1, -1, ReadOnlyFile("out/alone.adx", adx).c_str());
        CHILD_CHECK(single != -1, "single file not opened: " + voice.Error());
        voice.CloseFile(single);
        return "";
    });
    EXPECT_EQ(failed, "");
    EXPECT_EQ(ReadFile(path), archive);
    EXPECT_FALSE(FileExists(path + ".fogbell-journal"));
}

TEST_F(ReadOnly, AReadOnlyReplacementFileIsOnlyRead) {
    const Bytes archive = MvxBuilder().Add("a.xmd", Pattern(100, 1)).Build().bytes;
    const std::string path = dir.File("out/box.mvx");  // a writable container in a writable folder
    WriteFile(path, archive);
    chmod(path.c_str(), 0666);
    const Bytes replacement = Pattern(60, 2);
    const std::string source = ReadOnlyFile("new.xmd", replacement);
    ExplorerApi mvx("mvxvault");

    const std::string failed = RunUnprivileged([&]() -> std::string {
        CHILD_CHECK(open(source.c_str(), O_RDWR) < 0, "the replacement is writable here");
        const int h = mvx.LoadFile(path.c_str());
        CHILD_CHECK(h != -1, "not opened: " + mvx.Error());
        CHILD_CHECK(mvx.ReplaceFile(h, "a.xmd", source.c_str()) == 1, "refused: " + mvx.Error());
        mvx.CloseFile(h);
        return "";
    });
    EXPECT_EQ(failed, "");
    const Bytes now = ReadFile(path);
    const std::uint32_t offset = GetU32LE(now, MvxBuilder::PairOffset(0));
    EXPECT_EQ(GetU32LE(now, MvxBuilder::PairOffset(0) + 4), replacement.size());
    EXPECT_TRUE(std::equal(replacement.begin(), replacement.end(), now.begin() + offset));
    EXPECT_EQ(ReadFile(source), replacement);
}

TEST_F(ReadOnly, ReplacingInAContainerNestedInAReadOnlyFileIsRefused) {
    const Bytes inner = AfsBuilder().Add("x.bin", Pattern(64, 1)).Build().bytes;
    const Bytes outer = AfsBuilder().Add("inner.afs", inner).Build().bytes;
    const std::string path = ReadOnlyFile("disc.afs", outer);
    ExplorerApi afs("afsvault");

    const std::string failed = RunUnprivileged([&]() -> std::string {
        const int h = afs.LoadFile(path.c_str());
        CHILD_CHECK(h != -1, "not opened: " + afs.Error());
        std::uint32_t length = 0;
        const void* bytes = afs.GetFilePointer(h, "inner.afs", &length);
        CHILD_CHECK(bytes != nullptr, "no pointer");
        const int nested = afs.LoadFileMemory(bytes, length);
        CHILD_CHECK(nested != -1, "nested not opened: " + afs.Error());
        const Bytes data = Pattern(8, 2);
        CHILD_CHECK(afs.ReplaceFileMemory(nested, "x.bin", data.data(), 8) == 0, "replaced");
        CHILD_CHECK(afs.Error() ==
                        "Can't replace a track here: the container lies in read-only "
                        "memory (inside a read-only file).",
                    "text: " + afs.Error());
        afs.CloseFile(nested);
        afs.CloseFile(h);
        return "";
    });
    EXPECT_EQ(failed, "");
    EXPECT_EQ(ReadFile(path), outer);
}

}  // namespace
}  // namespace fogbell::test
