// The journalled container writes of the support library: what a journal holds, when it is
// complete, and how an open puts back the bytes of a replacement that was cut short.
#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "journal.h"
#include "mapped_file.h"
#include "plugin_support.h"
#include "test_files.h"

namespace fogbell::plugin {
namespace {

using test::Bytes;
using test::TempDir;

// A container file mapped as an explorer maps it.
struct Mapped {
    MappedFile* file = nullptr;
    std::uint8_t* view = nullptr;
    explicit Mapped(const std::string& path) {
        void* v = nullptr;
        file = OpenMappedFile(path.c_str(), &v);
        view = static_cast<std::uint8_t*>(v);
    }
    ~Mapped() { CloseMappedFile(file); }
    std::uint32_t Length() const { return MappedLength(file); }
};

class Journal : public ::testing::Test {
  protected:
    TempDir dir;
    std::string path = dir.File("box.afs");
    Bytes old = test::Pattern(10000, 1);

    void SetUp() override { test::WriteFile(path, old); }

    // Begins a write of two ranges and changes them, as a replacement does; the journal is
    // left on disk as a crash right after the writes would leave it.
    Bytes JournalOfInterruptedWrite() {
#if defined(_WIN32)
        // No fork here: the write object is leaked instead, as a crash would leave it, never
        // committed and never destroyed.
        {
            Mapped mapped(path);
            auto* write = new ContainerWrite(mapped.file, mapped.view, mapped.Length());
            EXPECT_TRUE(write->Begin({{100, 300}, { 9990, 10000 }}));
            std::fill(mapped.view + 100, mapped.view + 300, 0x11);
            std::fill(mapped.view + 9990, mapped.view + 10000, 0x22);
        }
        return test::ReadFile(JournalPath(path));
#else
        const pid_t child = fork();
        if (child == 0) {
            Mapped mapped(path);
            ContainerWrite write(mapped.file, mapped.view, mapped.Length());
            if (!write.Begin({{100, 300}, {9990, 10000}})) {
                _exit(1);
            }
            std::fill(mapped.view + 100, mapped.view + 300, 0x11);
            std::fill(mapped.view + 9990, mapped.view + 10000, 0x22);
            _exit(0);  // dies before the commit: nothing is flushed or removed
        }
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        return test::ReadFile(JournalPath(path));
#endif
    }
};

TEST_F(Journal, ACommittedWriteLeavesNoJournalAndKeepsTheNewBytes) {
    {
        Mapped mapped(path);
        ContainerWrite write(mapped.file, mapped.view, mapped.Length());
        ASSERT_TRUE(write.Begin({{0, 4}, {5000, 5100}}));
        EXPECT_TRUE(test::FileExists(JournalPath(path)));
        std::fill(mapped.view, mapped.view + 4, 0x55);
        std::fill(mapped.view + 5000, mapped.view + 5100, 0x66);
        EXPECT_TRUE(write.Commit());
        EXPECT_FALSE(test::FileExists(JournalPath(path)));
    }
    Bytes expected = old;
    std::fill(expected.begin(), expected.begin() + 4, 0x55);
    std::fill(expected.begin() + 5000, expected.begin() + 5100, 0x66);
    EXPECT_EQ(test::ReadFile(path), expected);
    EXPECT_EQ(RecoverJournal(path.c_str()), JournalRecovery::kNone);
}

TEST_F(Journal, TheJournalHoldsTheOldBytesOfEveryRangeWithAChecksum) {
    const Bytes journal = JournalOfInterruptedWrite();
    // Header 20 bytes, two ranges of 12 + 200 and 12 + 10 bytes, the checksum 8.
    ASSERT_EQ(journal.size(), 20u + 212u + 22u + 8u);
    EXPECT_EQ(Bytes(journal.begin(), journal.begin() + 8),
              (Bytes{'F', 'B', 'J', 'R', 'N', 'L', 1, 0}));
    EXPECT_EQ(test::GetU32LE(journal, 8), 10000u);
    EXPECT_EQ(test::GetU32LE(journal, 16), 2u);
    EXPECT_EQ(test::GetU32LE(journal, 20), 100u);
    EXPECT_EQ(test::GetU32LE(journal, 28), 200u);
    EXPECT_TRUE(std::equal(old.begin() + 100, old.begin() + 300, journal.begin() + 32));
}

TEST_F(Journal, AnOpenPutsBackTheBytesOfAnInterruptedWrite) {
    JournalOfInterruptedWrite();
    ASSERT_NE(test::ReadFile(path), old);
    EXPECT_EQ(RecoverJournal(path.c_str()), JournalRecovery::kRestored);
    EXPECT_EQ(test::ReadFile(path), old);
    EXPECT_FALSE(test::FileExists(JournalPath(path)));
    EXPECT_EQ(RecoverJournal(path.c_str()), JournalRecovery::kNone);
}

TEST_F(Journal, AJournalCutShortAnywhereIsRemovedAndChangesNothing) {
    const Bytes journal = JournalOfInterruptedWrite();
    test::WriteFile(path, old);  // an incomplete journal means nothing was overwritten yet
    for (std::size_t size = 0; size < journal.size(); size += size < 40 ? 1 : 13) {
        test::WriteFile(JournalPath(path), Bytes(journal.begin(), journal.begin() + size));
        EXPECT_EQ(RecoverJournal(path.c_str()), JournalRecovery::kDiscarded) << size;
        EXPECT_FALSE(test::FileExists(JournalPath(path))) << size;
        ASSERT_EQ(test::ReadFile(path), old) << size;
    }
    // One byte changed anywhere: the checksum no longer holds.
    for (std::size_t at : {std::size_t{0}, std::size_t{9}, std::size_t{40}, journal.size() - 1}) {
        Bytes torn = journal;
        torn[at] ^= 0x01;
        test::WriteFile(JournalPath(path), torn);
        EXPECT_EQ(RecoverJournal(path.c_str()), JournalRecovery::kDiscarded) << at;
        ASSERT_EQ(test::ReadFile(path), old) << at;
    }
}

TEST_F(Journal, AJournalForAContainerOfAnotherLengthIsNotApplied) {
    const Bytes journal = JournalOfInterruptedWrite();
    Bytes longer = test::ReadFile(path);
    longer.push_back(0);
    test::WriteFile(path, longer);
    test::WriteFile(JournalPath(path), journal);
    EXPECT_EQ(RecoverJournal(path.c_str()), JournalRecovery::kFailed);
    EXPECT_EQ(std::string(ErrorText()),
              "Can't open " + path +
                  ": a replacement was cut short, and the file's length has changed since, so it "
                  "cannot be undone.");
    EXPECT_TRUE(test::FileExists(JournalPath(path)));  // kept for whoever can mend it
}

TEST_F(Journal, WritesLeavingTheContainerAreRefusedBeforeAnything) {
    Mapped mapped(path);
    ContainerWrite write(mapped.file, mapped.view, mapped.Length());
    EXPECT_FALSE(write.Begin({{9990, 10001}}));
    EXPECT_FALSE(test::FileExists(JournalPath(path)));
    EXPECT_EQ(test::ReadFile(path), old);
}

TEST_F(Journal, CallersMemoryIsWrittenWithoutAJournal) {
    Bytes memory = old;
    ContainerWrite write(nullptr, memory.data(), static_cast<std::uint32_t>(memory.size()));
    ASSERT_TRUE(write.Begin({{0, 10}}));
    EXPECT_FALSE(test::FileExists(JournalPath(path)));
    EXPECT_TRUE(write.Commit());
}

TEST_F(Journal, AJournalThatCannotBeWrittenRefusesTheWrite) {
    // A folder where the journal should go: the journal file cannot be created.
    ASSERT_TRUE(std::filesystem::create_directory(JournalPath(path)));
    Mapped mapped(path);
    ContainerWrite write(mapped.file, mapped.view, mapped.Length());
    EXPECT_FALSE(write.Begin({{0, 10}}));
    EXPECT_NE(std::string(ErrorText()).find("its journal " + JournalPath(path)), std::string::npos)
        << ErrorText();
    std::filesystem::remove(JournalPath(path));
    EXPECT_EQ(test::ReadFile(path), old);
}

// Where a write into a container nested in the file is cut: the process dies right after it.
enum class CutAfter { kBegin, kHalfTheWrites, kAllTheWrites, kCommit };

struct NestedCut {
    CutAfter cut;
    JournalRecovery recovery;  // what the next open of the file does
    bool replaced;             // the file then holds the new bytes (else the old ones)
};

// A container nested at kInner of the file writes two ranges through the file's journal and
// dies at each step: the file's next open finds it wholly old or wholly new.
TEST_F(Journal, AWriteNestedInTheFileIsCutAtEveryStepAndLeavesItOldOrNew) {
    constexpr std::uint32_t kInner = 2000;
    constexpr std::uint32_t kInnerLength = 5000;
    const NestedCut cuts[] = {
        {CutAfter::kBegin, JournalRecovery::kRestored, false},
        {CutAfter::kHalfTheWrites, JournalRecovery::kRestored, false},
        {CutAfter::kAllTheWrites, JournalRecovery::kRestored, false},
        {CutAfter::kCommit, JournalRecovery::kNone, true},
    };
    Bytes replaced = old;
    std::fill(replaced.begin() + kInner + 100, replaced.begin() + kInner + 300, 0x11);
    std::fill(replaced.begin() + kInner + 4990, replaced.begin() + kInner + 5000, 0x22);
    for (const NestedCut& c : cuts) {
        SCOPED_TRACE(static_cast<int>(c.cut));
        test::WriteFile(path, old);
        {
            Mapped mapped(path);  // the outer container's own view
            // Never destroyed, as a process that dies leaves it (kept reachable for leak checkers):
            // never committed unless the step says so.
            // (The list itself is never destroyed either: its destructor at exit would leave
            // the writes unreachable before the leak check runs.)
            static auto* abandoned = new std::vector<ContainerWrite*>;
            ContainerWrite* write = abandoned->emplace_back(new ContainerWrite(
                EnclosingFile{path, kInner, old.size()}, mapped.view + kInner, kInnerLength));
            ASSERT_TRUE(write->Begin({{100, 300}, {4990, 5000}}));
            // Only the ranges are saved, under their offsets in the file.
            EXPECT_EQ(test::ReadFile(JournalPath(path)).size(), 20u + 212u + 22u + 8u);
            if (c.cut >= CutAfter::kHalfTheWrites) {
                std::fill(mapped.view + kInner + 100, mapped.view + kInner + 300, 0x11);
            }
            if (c.cut >= CutAfter::kAllTheWrites) {
                std::fill(mapped.view + kInner + 4990, mapped.view + kInner + 5000, 0x22);
            }
            if (c.cut == CutAfter::kCommit) {
                EXPECT_TRUE(write->Commit());
            }
        }
        EXPECT_EQ(RecoverJournal(path.c_str()), c.recovery);
        EXPECT_FALSE(test::FileExists(JournalPath(path)));
        EXPECT_EQ(test::ReadFile(path), c.replaced ? replaced : old);
    }
}

// A batch that fails while writing puts the saved bytes back in the enclosing file's view, and
// leaves the bytes around the nested container alone.
TEST_F(Journal, AnUndoneNestedBatchPutsBackOnlyItsOwnBytes) {
    {
        Mapped mapped(path);
        ContainerBatch batch(EnclosingFile{path, 3000, old.size()}, mapped.view + 3000, 1000);
        ContainerWrite record(nullptr, mapped.view + 3000, 1000);
        EXPECT_FALSE(record.Begin({{0, 1000}}));  // recorded, not yet written
        ASSERT_TRUE(batch.StartWriting());
        std::fill(mapped.view, mapped.view + 10000, 0x33);
        EXPECT_TRUE(batch.Undo());
        EXPECT_FALSE(test::FileExists(JournalPath(path)));
    }
    Bytes expected(10000, 0x33);
    std::copy(old.begin() + 3000, old.begin() + 4000, expected.begin() + 3000);
    EXPECT_EQ(test::ReadFile(path), expected);
}

}  // namespace
}  // namespace fogbell::plugin
