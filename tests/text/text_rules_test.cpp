// The text rules the host, the plug-ins and the command line share (text/): the file a stored
// name is written to, UTF-8 and its wide form, ASCII case, the extended form of paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/system/native_path.h"
#include "host/system/system_files.h"
#include "test_files.h"
#include "text/ascii_text.h"
#include "text/file_names.h"
#include "text/utf8_text.h"
#include "text/windows_path.h"

namespace fogbell {
namespace {

// One container's stored names, in track order, written in one run into one folder: the file
// name each gets and the wide form of that name, the name Windows gives the file.
struct StoredName {
    std::string stored;
    std::string file;
    std::wstring wide;
    bool device = false;  // a name Windows keeps for a device
};

// A name near the file systems' limit of a name, in a path longer than MAX_PATH.
const std::string kLong(250, 'n');
const std::wstring kWideLong(250, L'n');

const std::vector<StoredName> kRun = {
    {"bgm01.adx", "bgm01.adx", L"bgm01.adx"},
    {"BGM01.ADX", "BGM01 (2).ADX", L"BGM01 (2).ADX"},              // one file on Windows
    {"bgm01 (2).adx", "bgm01 (2) (2).adx", L"bgm01 (2) (2).adx"},  // a number already taken
    {"a:b", "a_b", L"a_b"},
    {"a?b", "a_b (2)", L"a_b (2)"},  // equal as safe names
    {"../../x.adx", ".._.._x.adx", L".._.._x.adx"},
    {"..", "__", L"__"},
    {"", "_", L"_"},
    {".adx", ".adx", L".adx"},
    {".ADX", ".ADX (2)", L".ADX (2)"},  // the dot that starts a name starts no extension
    {"tab\there.adx", "tab_here.adx", L"tab_here.adx"},
    {"caf\xC3\xA9.adx", "caf\xC3\xA9.adx", L"caf\u00E9.adx"},
    {"\xF0\x9F\x94\x94.wav", "\xF0\x9F\x94\x94.wav", L"\xD83D\xDD14.wav"},  // a surrogate pair
    {"bad\xFF.bin", "bad\xFF.bin", L"bad\u00FF.bin"},  // not UTF-8: a byte is its own character
    {"half\xC3.bin", "half\xC3.bin", L"half\u00C3.bin"},
    {"\xC0\xAF.bin", "\xC0\xAF.bin", L"\u00C0\u00AF.bin"},                  // overlong "/"
    {"\xED\xA0\x80.bin", "\xED\xA0\x80.bin", L"\u00ED\u00A0\u0080.bin"},    // a surrogate
    {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80", L"\u00F4\u0090\u0080\u0080"},  // beyond U+10FFFF
    {"\x80x", "\x80x", L"\u0080x"},  // a continuation byte alone
    {"CON", "CON", L"CON", true},    // kept: the extended form names a file, not the device
    {"nul.adx", "nul.adx", L"nul.adx", true},
    {"COM1.wav", "COM1.wav", L"COM1.wav", true},
    {kLong, kLong, kWideLong},
    {kLong.substr(1) + "N", kLong.substr(1) + "N (2)", kWideLong.substr(1) + L"N (2)"},
};

TEST(StoredNameToFileName, EveryStoredNameGetsAFileOfItsOwn) {
    DistinctFileNames names;
    for (const StoredName& c : kRun) {
        const std::string file = names.Take(SafeOutputName(c.stored));
        EXPECT_EQ(file, c.file) << c.stored;
        EXPECT_EQ(WideFromUtf8(file), c.wide) << c.stored;
    }
    // Written through the system boundary (on Windows the extended form), each reaches a file of
    // its own and is listed back under its name. (Wine reaches the devices even in the extended
    // form, so on Windows the device names are left to the table.)
    test::TempDir dir;
    const std::string folder = Utf8FromPath(dir.Path());
    std::vector<std::string> expected;
    for (const StoredName& c : kRun) {
#if defined(_WIN32)
        if (c.device) {
            continue;
        }
#endif
        std::FILE* file = OpenFileUtf8(folder + "/" + c.file, "wb");
        ASSERT_NE(file, nullptr) << c.stored;
        std::fclose(file);
#if defined(_WIN32)
        expected.push_back(Utf8FromWide(c.wide));  // the system gives back its own form
#else
        expected.push_back(c.file);
#endif
    }
    std::vector<std::string> listed = FolderNames(folder);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}

TEST(Utf8Text, SequencesAreValidByOneRule) {
    for (const std::string text : {"a", "\xC3\xA9", "\xE6\x97\xA5", "\xF0\x9F\x94\x94"}) {
        EXPECT_EQ(Utf8SequenceLength(text, 0), text.size()) << text;
    }
    // Cut short, a stray continuation, overlong, a surrogate, beyond U+10FFFF, no lead byte.
    for (const std::string text :
         {"\xC3", "\xC3x", "\x80", "\xC0\x80", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF",
          "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF"}) {
        EXPECT_EQ(Utf8SequenceLength(text, 0), 0u) << text;
    }
    // Valid UTF-8 comes back from its wide form as it was.
    for (const std::string text :
         {"caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x94\x94 bell"}) {
        EXPECT_EQ(Utf8FromWide(WideFromUtf8(text)), text);
    }
    // A lone surrogate on the wide side becomes U+FFFD, as the system's conversion makes it.
    EXPECT_EQ(Utf8FromWide(std::wstring(L"a\xD800z")), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Utf8FromWide(std::wstring(L"\xDC00")), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8FromWide(static_cast<const wchar_t*>(nullptr)), "");
#if defined(_WIN32)
    for (const std::wstring wide : {L"caf\u00E9", L"a\xD800z", L"\xDC00\xD800", L"\xD83D\xDD14"}) {
        std::string system(16, '\0');
        system.resize(static_cast<std::size_t>(
            WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()),
                                system.data(), static_cast<int>(system.size()), nullptr, nullptr)));
        EXPECT_EQ(Utf8FromWide(wide), system);
    }
#endif
}

TEST(AsciiText, FoldsAsciiLettersOnly) {
    EXPECT_EQ(ToLowerAscii("BGM01.ADX \xC4\xC9"), "bgm01.adx \xC4\xC9");
    EXPECT_EQ(ToUpperAscii("bgm01.adx \xE4\xE9"), "BGM01.ADX \xE4\xE9");
    EXPECT_TRUE(EqualNoCaseAscii(std::string_view("Loop_Start"), "LOOP_START"));
    EXPECT_TRUE(EqualNoCaseAscii("bgm01.adx", "BGM01.ADX"));
    EXPECT_TRUE(EqualNoCaseAscii("", ""));
    EXPECT_FALSE(EqualNoCaseAscii("bgm01.adx", "bgm01.ad"));
    EXPECT_FALSE(EqualNoCaseAscii("\xC4x", "\xE4x"));  // not folded outside ASCII
    EXPECT_TRUE(EqualNoCaseAscii("\xC4x", "\xC4X"));
    EXPECT_EQ(HexDigitValue('7') + HexDigitValue('b') + HexDigitValue('F'), 7 + 11 + 15);
    EXPECT_EQ(HexDigitValue('g'), -1);
    EXPECT_TRUE(IsAsciiSpace('\v') && !IsAsciiSpace('\xA0') && !IsAsciiDigit('\xB2'));
}

TEST(WindowsPath, ExtendedFormsOfFullPaths) {
    EXPECT_EQ(ExtendedPath(L"C:\\a"), L"\\\\?\\C:\\a");
    EXPECT_EQ(ExtendedPath(L"\\\\host\\share"), L"\\\\?\\UNC\\host\\share");
    EXPECT_EQ(ExtendedPath(L"\\\\?\\C:\\kept"), L"\\\\?\\C:\\kept");
    EXPECT_EQ(ExtendedPath(L"\\\\.\\pipe\\x"), L"\\\\.\\pipe\\x");
    EXPECT_EQ(ExtendedPath(L"relative"), L"relative");  // not a full path: left alone
    EXPECT_EQ(OrdinaryPath(L"\\\\?\\UNC\\host\\share"), L"\\\\host\\share");
    EXPECT_EQ(OrdinaryPath(L"\\\\?\\C:\\a"), L"C:\\a");
    EXPECT_EQ(OrdinaryPath(L"C:\\a"), L"C:\\a");
}

}  // namespace
}  // namespace fogbell
