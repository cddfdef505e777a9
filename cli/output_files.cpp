#include "cli/output_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fogbell::cli {
namespace {

namespace fs = std::filesystem;

}  // namespace

bool OutputExists(const std::string& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

StagingFolder::~StagingFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
}

bool StagingFolder::Create(const std::string& outputDirectory, std::string& error) {
    std::string pattern = (fs::path(outputDirectory) / ".fogbell-cli-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = std::string("can't write in this folder: ") + std::strerror(errno);
        return false;
    }
    path_ = pattern;
    return true;
}

std::vector<std::string> StagingFolder::Files() const {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path_, error)) {
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

PublishResult Publish(const std::string& staged, const std::string& target, bool force,
                      std::string& error) {
    std::error_code ignored;
    if (!force) {
        if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) ==
            0) {
            return PublishResult::kWritten;
        }
        if (errno == EEXIST) {
            fs::remove(staged, ignored);
            return PublishResult::kKept;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            error = std::string("can't move the file into place: ") + std::strerror(errno);
            return PublishResult::kFailed;
        }
        // A file system without an exclusive rename: check, then move.
        if (OutputExists(target)) {
            fs::remove(staged, ignored);
            return PublishResult::kKept;
        }
    }
    if (::rename(staged.c_str(), target.c_str()) != 0) {
        error = std::string("can't move the file into place: ") + std::strerror(errno);
        return PublishResult::kFailed;
    }
    return PublishResult::kWritten;
}

}  // namespace fogbell::cli
