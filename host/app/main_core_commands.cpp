// "Extract...", "Extract all files..." and "Save as wav..": each runs on a worker of its own over
// the current container and reports on its progress bar and, for failures, in the status line.
#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "host/app/main_core.h"
#include "host/system/native_path.h"
#include "host/tracks/output_names.h"
#include "host/tracks/track_jobs.h"

namespace fogbell {
namespace {

std::string ProgressCaption(std::size_t index, std::size_t count, const std::string& name) {
    return std::to_string(index + 1) + "/" + std::to_string(count) + ": " + name;
}

// The status line after a batch: nothing when everything was written.
std::string EndText(const char* what, std::size_t failed, std::size_t count,
                    const std::string& firstError, std::size_t kept) {
    std::string text;
    if (failed > 0) {
        text = std::to_string(failed) + " of " + std::to_string(count) + " files failed. " +
               firstError;
    }
    if (kept > 0) {
        text += (text.empty() ? "" : " ") + std::to_string(kept) +
                (kept == 1 ? " existing file kept." : " existing files kept.");
    }
    return text.empty() ? text : std::string(what) + ": " + text;
}

bool Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(PathFromUtf8(path), ignored);
}

}  // namespace

std::vector<std::string> MainCore::WriteSelectedTracks(const std::string& folder, bool asWave,
                                                       std::string& error) {
    std::vector<std::string> written;
    const ExplorerSession* container = chain_.Innermost();
    if (container == nullptr || workers_.Running() > 0) {
        return written;
    }
    std::error_code ignored;
    for (const auto& [name, out] :
         DistinctOutputPaths(CollectSelectedNames(), folder, asWave ? ".wav" : "")) {
        std::string failure;
        if (asWave) {
            if (!host_.FindDecoder(name)) {
                continue;
            }
            if (SaveTrackAsWave(host_, container, name, out, {}, failure)) {
                written.push_back(out);
            }
        } else {
            // The explorer may change the name's ending: what it wrote is what the folder gained.
            std::vector<std::filesystem::path> before;
            for (const auto& entry :
                 std::filesystem::directory_iterator(PathFromUtf8(folder), ignored)) {
                before.push_back(entry.path());
            }
            if (ExtractTrackTo(*container, name, out, failure)) {
                for (const auto& entry :
                     std::filesystem::directory_iterator(PathFromUtf8(folder), ignored)) {
                    if (std::find(before.begin(), before.end(), entry.path()) == before.end()) {
                        written.push_back(Utf8FromPath(entry.path()));
                    }
                }
            }
        }
        if (!failure.empty() && error.empty()) {
            error = name + ": " + failure;
        }
    }
    return written;
}

void MainCore::LeaveOutKept(std::vector<TrackOutput>& outputs, std::size_t& kept) {
    kept = 0;
    std::optional<bool> replaceAll;  // set by "Replace all" or "Keep all"
    std::erase_if(outputs, [&](const TrackOutput& output) {
        const std::string& out = output.path;
        if (!Exists(out)) {
            return false;
        }
        bool replace = replaceAll.value_or(false);
        if (!replaceAll) {
            switch (view_.AskOverwrite(out)) {
                case OverwriteAnswer::kReplace:
                    replace = true;
                    break;
                case OverwriteAnswer::kKeep:
                    break;
                case OverwriteAnswer::kReplaceAll:
                    replaceAll = replace = true;
                    break;
                case OverwriteAnswer::kKeepAll:
                    replaceAll = false;
                    break;
            }
        }
        kept += replace ? 0 : 1;
        return !replace;
    });
}

void MainCore::StartExtract(int mode) {
    if (chain_.Innermost() == nullptr || !PrepareSaveDirectory()) {
        return;
    }
    std::vector<std::string> names;
    if (mode == kCommandExtractAll) {
        names = tracks_.ShownNames();  // a filter's hidden rows are left alone
    } else {
        names = CollectSelectedNames();
    }
    // The explorer may change a name's ending when it writes; the name itself is what is known.
    std::vector<TrackOutput> outputs = DistinctOutputPaths(names, saveDirectory_);
    std::size_t kept = 0;
    LeaveOutKept(outputs, kept);
    view_.SetStatus("");  // a text about an earlier command (or a missing folder) is over
    const ExplorerSession* container = chain_.Innermost();
    WorkerBody body = [this, container, outputs = std::move(outputs),
                       kept]() -> std::function<void()> {
        const std::size_t count = outputs.size();
        view_.SetProgressRange(ProgressId::kExtract, 0, static_cast<std::uint32_t>(count));
        std::size_t failed = 0;
        std::string firstError;
        for (std::size_t d = 0; d < count && !stopWorkers_; ++d) {
            const std::string& name = outputs[d].track;
            view_.SetProgressCaption(ProgressId::kExtract, ProgressCaption(d, count, name));
            view_.SetProgressPos(ProgressId::kExtract, static_cast<std::uint32_t>(d));
            std::string error;
            if (!ExtractTrackTo(*container, name, outputs[d].path, error)) {
                if (failed++ == 0) {
                    firstError = name + ": " + error;
                }
            }
        }
        view_.SetProgressCaption(ProgressId::kExtract, "Extract done");
        view_.SetProgressPos(ProgressId::kExtract, 0);
        // Set also when empty: once everything was written an earlier text no longer holds.
        return [this, text = EndText("Extract", failed, count, firstError, kept)] {
            view_.SetStatus(text);
        };
    };
    LaunchWorker("Extract", std::move(body));
}

void MainCore::StartSaveWave() {
    if (chain_.Innermost() == nullptr || !PrepareSaveDirectory()) {
        return;
    }
    // What no decoder plays (a nested container, a text) is not audio: left out, not failed.
    std::vector<std::string> names = CollectSelectedNames();
    std::erase_if(names, [this](const std::string& name) { return !host_.FindDecoder(name); });
    std::vector<TrackOutput> outputs = DistinctOutputPaths(names, saveDirectory_, ".wav");
    std::size_t kept = 0;
    LeaveOutKept(outputs, kept);
    view_.SetStatus("");
    const ExplorerSession* container = chain_.Innermost();
    WorkerBody body = [this, container, outputs = std::move(outputs),
                       kept]() -> std::function<void()> {
        const std::size_t count = outputs.size();
        std::size_t failed = 0;
        std::string firstError;
        for (std::size_t i = 0; i < count && !stopWorkers_; ++i) {
            const std::string& name = outputs[i].track;
            SaveCallbacks callbacks;
            callbacks.fileCreated = [&] {
                view_.SetProgressCaption(ProgressId::kSave, ProgressCaption(i, count, name));
            };
            callbacks.range = [&](std::uint32_t size) {
                view_.SetProgressRange(ProgressId::kSave, 0, size);
            };
            callbacks.position = [&](std::uint32_t position) {
                view_.SetProgressPos(ProgressId::kSave, position);
            };
            callbacks.stop = &stopWorkers_;
            std::string error;
            if (!SaveTrackAsWave(host_, container, name, outputs[i].path, callbacks, error)) {
                if (failed++ == 0) {
                    firstError = name + ": " + error;
                }
            }
        }
        view_.SetProgressCaption(ProgressId::kSave, "Save done");
        view_.SetProgressPos(ProgressId::kSave, 0);
        return [this, text = EndText("Save as wav", failed, count, firstError, kept)] {
            view_.SetStatus(text);
        };
    };
    LaunchWorker("Save as wav", std::move(body));
}

}  // namespace fogbell
