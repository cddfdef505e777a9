#include "cli/output_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cli/cli_output.h"
#include "cli/json_text.h"
#include "cli/track_names.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell::cli {
void AddOutputOptions(CLI::App* command, OutputOptions& options) {
    command->add_option("-o,--output", options.directory, "Output folder (default: .)");
    command->add_flag("--force", options.force, "Replace existing files (default: keep them)");
    command->add_flag("--json", options.json, "Report the files as JSON");
}

bool PrepareDirectory(const std::string& directory) {
    if (IsFolder(directory)) {
        return true;
    }
    if (NameTaken(directory)) {
        FailText(directory + " is a file, not a folder: -o names the folder to write into");
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(PathFromUtf8(directory), error);
    if (error || !IsFolder(directory)) {
        Fail(directory, "cannot create the folder: " + error.message());
        return false;
    }
    return true;
}

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

std::string InOutputFolder(std::string text, const StagingFolder& staging,
                           const std::string& directory) {
    for (std::size_t at; (at = text.find(staging.Path())) != std::string::npos;) {
        text.replace(at, staging.Path().size(), directory);
    }
    return text;
}

void ClearStaging(const StagingFolder& staging) {
    for (const std::string& file : staging.Files()) {
        RemoveTree(file);
    }
}

std::string CountText(std::size_t count) {
    std::string digits = std::to_string(count);
    constexpr std::size_t kGroup = 3;
    for (std::size_t at = digits.size(); at > kGroup; at -= kGroup) {
        digits.insert(at - kGroup, ",");
    }
    return digits;
}

void OutputReport::Written(const std::string& track, const std::string& path) {
    if (!json_) {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
    }
    Add(track, "written", "\"path\": " + JsonName(path));
}

void OutputReport::Kept(const std::string& track, const std::string& path) {
    // Said once at the end, however many there are (Finish).
    if (kept_ == 0) {
        firstKept_ = path;
    }
    ++kept_;
    Add(track, "skipped", "\"path\": " + JsonName(path));
}

void OutputReport::Failed(const std::string& track, const std::string& error) {
    Fail(PrintedName(track), error);
    failed_ = true;
    Add(track, "failed", "\"error\": " + JsonString(FailureReason(error)));
}

int OutputReport::Finish() {
    if (json_) {
        JsonDocumentPrinted() = true;
        std::printf("[%s%s]\n", Joined(entries_, ",").c_str(), entries_.empty() ? "" : "\n");
    }
    if (kept_ == 1) {
        std::fprintf(stderr, "%s: %s exists and was kept; --force replaces it\n", kProgram,
                     firstKept_.c_str());
    } else if (kept_ > 1) {
        std::fprintf(stderr, "%s: %s files exist and were kept; --force replaces them\n", kProgram,
                     CountText(kept_).c_str());
    }
    return failed_ ? kExitFailed : kExitOk;
}

void OutputReport::Add(const std::string& track, const char* status, const std::string& detail) {
    entries_.push_back("\n  {\"track\": " + JsonName(track) + ", \"status\": \"" + status + "\", " +
                       detail + "}");
}

}  // namespace fogbell::cli
