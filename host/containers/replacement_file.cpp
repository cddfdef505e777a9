#include "host/containers/replacement_file.h"

#include <atomic>
#include <filesystem>
#include <optional>
#include <utility>

#include "host/containers/replacement_check.h"
#include "host/containers/track_conversion.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell {
namespace {

// A name no other replacement of this process uses, even one running at the same time.
std::string TemporaryName() {
    static std::atomic<unsigned> counter{0};
    return "fogbell-replace-" + std::to_string(CurrentProcessId()) + "-" +
           std::to_string(++counter) + ".tmp";
}

}  // namespace

ConvertedReplacement::ConvertedReplacement(const PluginHost& host, const ExplorerSession& container,
                                           const std::string& track, const std::string& file,
                                           const ConversionControl& control,
                                           const ReplacementLoop& loop, bool raw,
                                           const LoudnessRequest& loudness)
    : path_(file) {
    if (raw) {
        return;
    }
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    const std::string temporary =
        Utf8FromPath((error ? std::filesystem::path(".") : folder) / TemporaryName());
    std::string text;
    switch (ConvertForTrack(host, container, track, file, temporary, text, control, loop, &note_,
                            loudness, &loudness_)) {
        case ConversionOutcome::kAsItIs:
            break;
        case ConversionOutcome::kConverted:
            path_ = temporary;
            temporary_ = temporary;
            break;
        case ConversionOutcome::kLoopRefused:
            loopRefused_ = true;
            [[fallthrough]];
        case ConversionOutcome::kFailed:
            error_ = text.empty() ? "the file could not be converted" : text;
            temporary_ = temporary;  // whatever part of it was written
            return;
    }
    const std::string shown = Utf8FromPath(PathFromUtf8(file).filename());
    if (std::optional<std::string> why = UnplayableReplacement(host, track, path_, shown)) {
        error_ = std::move(*why);
        unplayable_ = true;
    }
}

ConvertedReplacement::~ConvertedReplacement() {
    if (!temporary_.empty()) {
        RemovePath(temporary_);
    }
}

}  // namespace fogbell
