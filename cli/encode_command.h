// fogbell-cli encode IN OUT.adx|OUT.xmd [--rate R] [--channels C] [--cutoff HZ] [--force]
//                    [--loop START:END | --no-loop]
//
// Reads IN (any WAVE the WAVE decoder reads, or any other file a decoder plug-in plays) through
// its decoder plug-in, converted by that decoder's format converter when --rate or --channels
// ask for another format, and writes it as an ADX or XMD stream chosen by OUT's extension.
//
// An ADX stream carries a loop: the one given with --loop (samples of the output), else the
// first loop of IN's sampler chunk (moved to the output's rate when --rate changes it), else
// none; --no-loop writes none. A loop that does not fit the stream is refused, nothing written.
// XMD streams carry no loop: --loop is refused, and IN's loop is left out with a note.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

#include "cli/loop_option.h"
#include "host/plugins/plugin_host.h"

namespace fogbell::cli {

struct EncodeRequest {
    std::string input;
    std::string output;
    std::int32_t rate = -1;      // -1: the input's
    std::int32_t channels = -1;  // -1: the input's
    std::uint16_t cutoff = 500;  // ADX only
    bool force = false;
    LoopOptions loop;
};

// Adds the "encode" subcommand, filling request when it is given.
CLI::App* AddEncodeCommand(CLI::App& app, EncodeRequest& request);

// Runs it: 0 when the stream was written, 1 on failure, 2 for a usage error.
int RunEncode(const PluginHost& host, const EncodeRequest& request);

}  // namespace fogbell::cli
