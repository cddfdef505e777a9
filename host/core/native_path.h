// Paths at the system boundary. The core holds every path as UTF-8 text; std::filesystem and
// the C library take the platform's own form (on Windows UTF-16, where a plain char string
// would be read in the local code page). These helpers convert at that boundary only.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace fogbell {

// The path named by UTF-8 text.
inline std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// The UTF-8 text of a path.
inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// std::fopen for a UTF-8 path.
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);

// True when files can be created in the folder.
bool DirectoryWritable(const std::filesystem::path& directory);

// Replaces the file at path with bytes in one step: a new file is written and flushed beside it
// and renamed over it, so that a failure at any point leaves the old file whole. A new file gets
// the old one's permissions. A file the user made read-only is left as it is (false), although
// its folder would let a rename replace it.
bool ReplaceFileContents(const std::string& path, const std::string& bytes);

#if defined(_WIN32)
// UTF-8 <-> UTF-16 for the wide Win32 calls.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const wchar_t* text);
#endif

}  // namespace fogbell
