#include "cli/output_files.h"

#include <algorithm>
#include <filesystem>

#include "host/core/native_path.h"

namespace fogbell::cli {
namespace {

namespace fs = std::filesystem;

}  // namespace

bool OutputExists(const std::string& path) {
    std::error_code error;
    return fs::symlink_status(PathFromUtf8(path), error).type() != fs::file_type::not_found;
}

StagingFolder::~StagingFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        fs::remove_all(PathFromUtf8(path_), ignored);
    }
}

bool StagingFolder::Create(const std::string& outputDirectory, std::string& error) {
    const std::string prefix = Utf8FromPath(PathFromUtf8(outputDirectory) / ".fogbell-cli-");
    std::string why;
    if (!MakeFreshFolder(prefix, path_, why)) {
        error = "can't write in this folder: " + why;
        return false;
    }
    return true;
}

std::vector<std::string> StagingFolder::Files() const {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(path_), error)) {
        files.push_back(Utf8FromPath(entry.path()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

PublishResult Publish(const std::string& staged, const std::string& target, bool force,
                      std::string& error) {
    std::error_code ignored;
    std::string why;
    MoveOutcome moved = MoveFileTo(staged, target, force, why);
    if (moved == MoveOutcome::kNoExclusive) {
        // A file system without an exclusive move: check, then move.
        moved = OutputExists(target) ? MoveOutcome::kTargetExists
                                     : MoveFileTo(staged, target, true, why);
    }
    switch (moved) {
        case MoveOutcome::kMoved:
            return PublishResult::kWritten;
        case MoveOutcome::kTargetExists:
            fs::remove(PathFromUtf8(staged), ignored);
            return PublishResult::kKept;
        case MoveOutcome::kNoExclusive:
        case MoveOutcome::kFailed:
            break;
    }
    error = "can't move the file into place: " + why;
    return PublishResult::kFailed;
}

}  // namespace fogbell::cli
