// The commands of fogbell-cli, a file each. Every Add…Command registers its subcommand with its
// options and help texts on app, and leaves its run with the context, which runs the one given
// (command_context.h). The program adds them in this order, which "--help" lists.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/output_files.h"
#include "host/audio/loop_unrolling.h"

namespace fogbell::cli {

void AddFormatsCommand(CLI::App& app, CommandContext& context);  // formats_command.cpp
void AddListCommand(CLI::App& app, CommandContext& context);     // list_command.cpp
void AddExtractCommand(CLI::App& app, CommandContext& context);  // extract_command.cpp
void AddPackCommand(CLI::App& app, CommandContext& context);     // pack_command.cpp
void AddWavCommand(CLI::App& app, CommandContext& context);      // wav_command.cpp
void AddDecodeCommand(CLI::App& app, CommandContext& context);   // decode_command.cpp
void AddReplaceCommand(CLI::App& app, CommandContext& context);  // replace_command.cpp
void AddEncodeCommand(CLI::App& app, CommandContext& context);   // encode_command.cpp
void AddLoudnessCommand(CLI::App& app, CommandContext& context); // loudness_command.cpp
void AddLoopCommand(CLI::App& app, CommandContext& context);     // loop_command.cpp
// play_command.cpp; in a build without playback the command is known and says so.
void AddPlayCommand(CLI::App& app, CommandContext& context);

// The help text of TRACK arguments that name several tracks.
inline constexpr const char* kTrackHelp =
    "Track names as \"list\" prints them, or #N for the N-th row";

// Saves tracks as 16-bit PCM WAVE files, for "wav" and "decode" (wav_command.cpp): the exit
// status. singleFileOnly: the "decode" command, which takes one audio file and no container.
// unrolling: tracks with loop points are written with their loop unrolled; the others as they
// are, each with a note on standard error.
int SaveWave(const PluginHost& host, const std::string& path,
             const std::vector<std::string>& tracks, const OutputOptions& options,
             bool singleFileOnly, const std::optional<LoopUnrolling>& unrolling);

// Unpack and pack: "extract --manifest" writes DIR/fogbell-manifest.json beside the extracted
// tracks (extract_command.cpp), and "pack DIR OUT" builds a container from a folder
// (pack_command.cpp).
//
// The manifest is this program's own JSON document around the explorer's layout:
//   {"fogbell-manifest": 1, "kind": "afsvault", "files": ["a.adx", ...], "layout": {...}}
// "kind" names the explorer library that wrote the layout and packs it; "files" gives, for each
// member in the layout's order, the name of its file in DIR as extract wrote it; "layout" is the
// explorer's own description (fnGetLayout), which only the explorer reads. A folder without a
// manifest packs as an AFS archive of its files in name order (the AFS explorer's plain layout).
inline constexpr const char* kManifestName = "fogbell-manifest.json";
inline constexpr std::int64_t kManifestVersion = 1;
// The ending of the file a manifest or a pack is written to before it takes its name.
inline constexpr const char* kPackSuffix = ".fogbell-pack";

}  // namespace fogbell::cli
