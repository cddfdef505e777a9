// "Extract...", "Extract all files..." and "Save as wav..": each runs on a worker of its own over
// the current container and reports on its progress bar and, for failures, in the status line.
#include <string>
#include <vector>

#include "host/core/main_core.h"
#include "host/core/output_names.h"
#include "host/core/track_jobs.h"

namespace fogbell {
namespace {

std::string ProgressCaption(std::size_t index, std::size_t count, const std::string& name) {
    return std::to_string(index + 1) + "/" + std::to_string(count) + ": " + name;
}

// The status line after a batch: nothing when everything worked.
std::string FailureText(const char* what, std::size_t failed, std::size_t count,
                        const std::string& firstError) {
    return std::string(what) + ": " + std::to_string(failed) + " of " + std::to_string(count) +
           " files failed. " + firstError;
}

}  // namespace

void MainCore::StartExtract(int mode) {
    if (chain_.Innermost() == nullptr || !PrepareSaveDirectory()) {
        return;
    }
    std::vector<std::string> names;
    if (mode == kCommandExtractAll) {
        for (int row = 0; row < view_.RowCount(); ++row) {
            names.push_back(view_.CellText(row, kColumnName));
        }
    } else {
        names = CollectSelectedNames();
    }
    const ExplorerSession* container = chain_.Innermost();
    WorkerBody body = [this, container, names = std::move(names),
                       directory = saveDirectory_]() -> std::function<void()> {
        const std::size_t count = names.size();
        view_.SetProgressRange(ProgressId::kExtract, 0, static_cast<std::uint32_t>(count));
        std::size_t failed = 0;
        std::string firstError;
        for (std::size_t d = 0; d < count && !stopWorkers_; ++d) {
            view_.SetProgressCaption(ProgressId::kExtract, ProgressCaption(d, count, names[d]));
            view_.SetProgressPos(ProgressId::kExtract, static_cast<std::uint32_t>(d));
            std::string error;
            if (!ExtractTrack(*container, names[d], directory, error)) {
                if (failed++ == 0) {
                    firstError = names[d] + ": " + error;
                }
            }
        }
        view_.SetProgressCaption(ProgressId::kExtract, "Extract done");
        view_.SetProgressPos(ProgressId::kExtract, 0);
        return [this, failed, count, firstError] {
            if (failed > 0) {
                view_.SetStatus(FailureText("Extract", failed, count, firstError));
            }
        };
    };
    LaunchWorker("Extract", std::move(body));
}

void MainCore::StartSaveWave() {
    if (chain_.Innermost() == nullptr || !PrepareSaveDirectory()) {
        return;
    }
    const ExplorerSession* container = chain_.Innermost();
    WorkerBody body = [this, container, names = CollectSelectedNames(),
                       directory = saveDirectory_]() -> std::function<void()> {
        const std::size_t count = names.size();
        std::size_t failed = 0;
        std::string firstError;
        for (std::size_t i = 0; i < count && !stopWorkers_; ++i) {
            const std::string& name = names[i];
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
            const std::string out = OutputPath(directory, name, ".wav");
            if (!SaveTrackAsWave(host_, container, name, out, callbacks, error)) {
                if (failed++ == 0) {
                    firstError = name + ": " + error;
                }
            }
        }
        view_.SetProgressCaption(ProgressId::kSave, "Save done");
        view_.SetProgressPos(ProgressId::kSave, 0);
        return [this, failed, count, firstError] {
            if (failed > 0) {
                view_.SetStatus(FailureText("Save as wav", failed, count, firstError));
            }
        };
    };
    LaunchWorker("Save as wav", std::move(body));
}

}  // namespace fogbell
