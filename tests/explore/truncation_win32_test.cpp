// Windows: another program cannot shorten a container while an explorer has it mapped (the
// system, or Wine standing in for it, refuses the cut and the container stays whole and
// readable). Pages can still fail to come in, which the explorers' exception handler catches
// (cut_under_wine_test shows it end to end); it must leave every other fault alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "afs_builder.h"
#include "byte_writer.h"
#include "host/system/native_path.h"
#include "plugin_api.h"
#include "run_program.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

// Tries to shorten the file at path to size bytes as another program would; true when the
// system allowed it.
bool TryToCut(const std::string& path, std::int64_t size) {
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER at{};
    at.QuadPart = size;
    const bool cut = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return cut;
}

TEST(TruncationOnWindows, AMappedContainerCannotBeCutShortAndStaysReadable) {
    TempDir dir;
    const std::string path = dir.File("box.afs");
    const AfsBuilder::Result built =
        AfsBuilder().Add("head.bin", Pattern(100, 1)).Add("big.bin", Pattern(64 * 1024, 2)).Build();
    WriteFile(path, built.bytes);
    ExplorerApi afs{"afsvault"};
    const int h = afs.LoadFile(path.c_str());
    ASSERT_NE(h, -1) << afs.Error();

    EXPECT_FALSE(TryToCut(path, static_cast<std::int64_t>(built.offsets[1]) + 10));
    const std::string out = dir.File("big.out");
    EXPECT_EQ(afs.ExtractFile(h, "big.bin", out.c_str()), 1) << afs.Error();
    EXPECT_EQ(ReadFile(out), Pattern(64 * 1024, 2));
    EXPECT_EQ(afs.CloseFile(h), 1);

    // Once the explorer has let go, the file can be cut like any other.
    EXPECT_TRUE(TryToCut(path, static_cast<std::int64_t>(built.offsets[1])));
}

// Counts the faults at one page of the test's own and makes the page readable, so that the
// touch goes on. Registered after the explorer's handler: it sees what that one passes on.
std::atomic<std::uintptr_t> g_ownPage{0};
std::atomic<int> g_ownFaults{0};

LONG CALLBACK OnOwnFault(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    const std::uintptr_t page = g_ownPage.load();
    if (record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record.NumberParameters < 2 ||
        record.ExceptionInformation[1] != page) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    ++g_ownFaults;
    DWORD old = 0;
    VirtualProtect(reinterpret_cast<void*>(page), 1, PAGE_READONLY, &old);
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(TruncationOnWindows, FaultsOutsideTheContainersViewsArePassedOnUntouched) {
    TempDir dir;
    const std::string path = dir.File("box.afs");
    WriteFile(path, AfsBuilder().Add("a.bin", Pattern(5000, 1)).Build().bytes);
    void* own = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    ASSERT_NE(own, nullptr);
    g_ownPage = reinterpret_cast<std::uintptr_t>(own);
    void* handler = AddVectoredExceptionHandler(0, OnOwnFault);
    {
        ExplorerApi afs{"afsvault"};
        const int h = afs.LoadFile(path.c_str());  // the explorer's handler is in place from here
        EXPECT_NE(h, -1) << afs.Error();
        EXPECT_EQ(*static_cast<volatile std::uint8_t*>(own), 0);
        EXPECT_EQ(g_ownFaults.load(), 1);
        EXPECT_EQ(afs.CloseFile(h), 1);
    }
    // The explorer's library is freed now, and its handler is still called: the library stays.
    DWORD old = 0;
    VirtualProtect(own, 1, PAGE_NOACCESS, &old);
    EXPECT_EQ(*static_cast<volatile std::uint8_t*>(own), 0);
    EXPECT_EQ(g_ownFaults.load(), 2);
    // C++ exceptions are raised through the same handlers.
    EXPECT_THROW(throw std::runtime_error("passed on"), std::runtime_error);
    RemoveVectoredExceptionHandler(handler);
    VirtualFree(own, 0, MEM_RELEASE);
}

constexpr const wchar_t* kChildFile = L"FOGBELL_READ_ONLY_CONTAINER";

// The child's part of the next test: a write to a container mapped read-only (the file the
// parent names in the environment). The process must end with the access violation, which the
// filter turns into its exit code.
TEST(TruncationOnWindows, DISABLED_WritesToAReadOnlyView) {
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* exception) -> LONG {
        ExitProcess(exception->ExceptionRecord->ExceptionCode);
    });
    std::wstring path(MAX_PATH * 4, L'\0');
    path.resize(GetEnvironmentVariableW(kChildFile, path.data(), MAX_PATH * 4));
    ExplorerApi afs{"afsvault"};
    const int h = afs.LoadFile(Utf8FromWide(path.c_str()).c_str());
    std::uint32_t length = 0;
    // The interface hands out const bytes; the cast is the bug this child stands for.
    auto* track = const_cast<void*>(afs.GetFilePointer(h, "a.bin", &length));
    if (track != nullptr) {
        *static_cast<volatile std::uint8_t*>(track) = 0xFF;
    }
    ExitProcess(0);
}

TEST(TruncationOnWindows, AWriteToAReadOnlyViewStaysAnError) {
    TempDir dir;
    const std::string path = dir.File("box.afs");
    const Bytes bytes = AfsBuilder().Add("a.bin", Pattern(5000, 1)).Build().bytes;
    WriteFile(path, bytes);
    SetFileAttributesW(WideFromUtf8(path).c_str(), FILE_ATTRIBUTE_READONLY);
    SetEnvironmentVariableW(kChildFile, WideFromUtf8(path).c_str());
    std::wstring self(MAX_PATH * 4, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    const ProgramResult child =
        RunProgram(Utf8FromWide(self.c_str()),
                   {"--gtest_also_run_disabled_tests", "--gtest_catch_exceptions=0",
                    "--gtest_filter=TruncationOnWindows.DISABLED_WritesToAReadOnlyView"});
    SetEnvironmentVariableW(kChildFile, nullptr);
    EXPECT_EQ(static_cast<DWORD>(child.exitStatus), EXCEPTION_ACCESS_VIOLATION) << child.out;
    SetFileAttributesW(WideFromUtf8(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFile(path), bytes);
}

}  // namespace
}  // namespace fogbell::test
