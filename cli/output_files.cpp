#include "cli/output_files.h"

#include <algorithm>
#include <filesystem>

#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell::cli {

bool OutputExists(const std::string& path) {
    return NameTaken(path);
}

StagingFolder::~StagingFolder() {
    if (!path_.empty()) {
        RemoveTree(path_);
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
    for (const std::string& name : FolderNames(path_)) {
        files.push_back(Utf8FromPath(PathFromUtf8(path_) / PathFromUtf8(name)));
    }
    std::sort(files.begin(), files.end());
    return files;
}

PublishResult Publish(const std::string& staged, const std::string& target, bool force,
                      std::string& error) {
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
            RemovePath(staged);
            return PublishResult::kKept;
        case MoveOutcome::kNoExclusive:
        case MoveOutcome::kFailed:
            break;
    }
    error = "can't move the file into place: " + why;
    return PublishResult::kFailed;
}

}  // namespace fogbell::cli
