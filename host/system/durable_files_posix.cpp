#include "host/system/durable_files.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace fogbell {
namespace {

// fsync of what open(path, flags) gives; false when either fails.
bool SyncPath(const std::filesystem::path& path, int flags) {
    const int descriptor = open(path.c_str(), flags | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    const bool synced = fsync(descriptor) == 0;
    return close(descriptor) == 0 && synced;
}

}  // namespace

bool SyncFile(const std::filesystem::path& path) {
    return SyncPath(path, O_RDONLY);
}

bool SyncFolder(const std::filesystem::path& folder) {
    return SyncPath(folder.empty() ? std::filesystem::path(".") : folder, O_RDONLY | O_DIRECTORY);
}

bool FileWritable(const std::filesystem::path& path) {
    const int descriptor = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    close(descriptor);
    return true;
}

bool ProcessRunning(long id) {
    if (id <= 0) {
        return true;
    }
    return kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
}

}  // namespace fogbell
