// What a rebuilt container file needs from the platform so that it replaces the original only
// when complete: flushing files and folders to disk, and telling whether the process that left a
// temporary file behind still runs. One implementation per platform (durable_files_posix.cpp;
// a Windows build supplies its own).
#pragma once

#include <filesystem>

namespace fogbell {

// Flushes the bytes of the file at path to disk. False when it cannot be opened or flushed.
bool SyncFile(const std::filesystem::path& path);

// Flushes the entries of the folder (a rename into it, a removal) to disk. False when that
// cannot be done.
bool SyncFolder(const std::filesystem::path& folder);

// True when this process may write the file at path (it opens for writing without changing).
bool FileWritable(const std::filesystem::path& path);

// True when a process with this id runs now (or may: an id that cannot be checked counts as
// running, so that its files are left alone).
bool ProcessRunning(long id);

}  // namespace fogbell
