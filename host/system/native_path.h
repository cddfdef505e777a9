// Paths at the system boundary. The program holds every path as UTF-8 text; std::filesystem and
// the C library take the platform's own form (on Windows UTF-16, where a plain char string
// would be read in the local code page). These helpers convert at that boundary only.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "text/utf8_text.h"  // WideFromUtf8 and Utf8FromWide, for the wide Win32 calls

namespace fogbell {

// The path named by UTF-8 text.
inline std::filesystem::path PathFromUtf8(const std::string& text) {
#if defined(_WIN32)
    return std::filesystem::path(WideFromUtf8(text));
#else
    return std::filesystem::path(text);
#endif
}

// The UTF-8 text of a path.
inline std::string Utf8FromPath(const std::filesystem::path& path) {
#if defined(_WIN32)
    return Utf8FromWide(path.c_str());
#else
    return path.string();
#endif
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

// This process's id, for names no other process uses at the same time.
unsigned long CurrentProcessId();

// True when standard error is a terminal (progress lines are shown there only).
bool StandardErrorIsTerminal();

// Creates a new folder named prefix followed by characters of its own choosing; made is its
// path. False with the system's reason in why.
bool MakeFreshFolder(const std::string& prefix, std::string& made, std::string& why);

enum class MoveOutcome {
    kMoved,
    kTargetExists,  // nothing moved: something has the target's name
    kNoExclusive,   // the file system cannot move without replacing in one step: nothing moved
    kFailed,        // why says why
};
// Moves the file from to the name to. Without replace an existing target is kept, and the check
// and the move are one step.
MoveOutcome MoveFileTo(const std::string& from, const std::string& to, bool replace,
                       std::string& why);

}  // namespace fogbell
