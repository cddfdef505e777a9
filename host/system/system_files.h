// Files and folders named by UTF-8 paths, reached through the system's own calls, at any path
// length: the containers, the output files and folders, the rebuild's temporary files.
//
// On Windows every path is put in the extended form first (`\\?\C:\...`,
// `\\?\UNC\server\share\...`), without which the system refuses paths longer than MAX_PATH.
// std::filesystem cannot take that form there: the C library's stat functions under it refuse
// it, and its folder listing stops at MAX_PATH characters. So these operations use the wide
// Win32 calls on Windows and std::filesystem elsewhere (system_files_posix.cpp,
// system_files_win32.cpp). Paths given back stay in their ordinary form, for texts and for
// building further paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fogbell {

#if defined(_WIN32)
// (The extended form itself, and SystemWidePath that gives it, are text/windows_path.h's.)
// The system's text for an error code, as UTF-8.
std::string SystemErrorText(unsigned long code);
#endif

// The path to give the C++ library's file streams (std::ifstream, std::ofstream): on Windows the
// extended form above.
std::filesystem::path StreamPath(const std::string& path);

// True when path names a folder (or a link to one).
bool IsFolder(const std::string& path);
// True when anything has the name: a file, a folder, even a dangling link.
bool NameTaken(const std::string& path);
// True when the file at path can be opened for reading; false with the system's own reason in
// why ("No such file or directory" on POSIX). A folder opens on neither system: ask IsFolder first.
bool CanReadFile(const std::string& path, std::string& why);
// The size of the file at path; false when it cannot be asked.
bool SizeOfFile(const std::string& path, std::uint64_t& size);
// Removes the file or empty folder at path; false when nothing was removed.
bool RemovePath(const std::string& path);
// Removes path and, when it is a folder, everything in it (links are removed, not followed).
void RemoveTree(const std::string& path);
// The names of the folder's entries, without "." and "..", in no particular order; empty when
// the folder cannot be read.
std::vector<std::string> FolderNames(const std::string& folder);
// The absolute path of the file at path with every link resolved, as UTF-8 in the ordinary
// form; false with the system's reason in why.
bool ResolvedPath(const std::string& path, std::string& resolved, std::string& why);
// Gives the file at to the permissions of the file at from. (Windows keeps none but the
// read-only mark, which a file that is about to be replaced does not carry: nothing to do.)
void CopyPermissions(const std::string& from, const std::string& to);

}  // namespace fogbell
