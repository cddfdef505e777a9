#include "host/containers/replacement_check.h"

#include <cstdint>

#include "host/plugins/plugin_records.h"
#include "host/system/system_files.h"
#include "text/ascii_text.h"

namespace fogbell {
namespace {

// The source format (channels and rate) a decoder is asked for: the file's own.
constexpr std::int32_t kSourceFormat = -1;

// The name of the format an extension stands for, as texts give it ("ADX", "WAVE").
std::string FormatName(const std::string& extension) {
    const std::string name = ToUpperAscii(extension);
    return name == "WAV" ? "WAVE" : name;
}

// True when the decoder serving routeName's extension opens the file at path with a format.
bool Reads(const PluginHost& host, const std::string& routeName, const std::string& path,
           std::string& error) {
    const DecoderSessionPtr stream =
        host.OpenStreamAs(routeName, path, kSourceFormat, kSourceFormat, error);
    return stream && stream->SourceFormat().value.has_value();
}

// The format of the file when the decoder serving its own extension, another than trackDecoder,
// reads it; none otherwise. Other decoders are not tried: formats without a signature (XMD)
// would take any bytes for theirs.
std::optional<std::string> OwnFormat(const PluginHost& host, const PluginRecord* trackDecoder,
                                     const std::string& path) {
    std::string extension, ignored;
    const DecoderSessionPtr own = host.FindDecoder(path);
    if (own && own->plugin != trackDecoder && ExtensionOf(path, extension) &&
        Reads(host, path, path, ignored)) {
        return FormatName(extension);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> UnplayableReplacement(const PluginHost& host, const std::string& track,
                                                 const std::string& path,
                                                 const std::string& shownName) {
    std::string extension;
    const DecoderSessionPtr decoder = host.FindDecoder(track);
    std::uint64_t size = 0;
    if (!decoder || !ExtensionOf(track, extension) || !SizeOfFile(path, size)) {
        return std::nullopt;
    }
    std::string error;
    if (Reads(host, track, path, error)) {
        return std::nullopt;
    }
    const std::string format = FormatName(extension);
    const std::optional<std::string> other = OwnFormat(host, decoder->plugin, path);
    const std::string said = error.empty() ? "" : " (" + format + " decoder: " + error + ")";
    return shownName +
           (other ? " is " + *other + ", not " + format + ", the track's format"
                  : " is not " + format + ", the track's format, and no decoder recognises it") +
           said + ": the track would no longer play.";
}

}  // namespace fogbell
