// fogbell-cli decode FILE [-o DIR] [--force] [--json]: one audio file saved as a 16-bit PCM WAVE
// file, as "wav" saves it (a container is refused: "wav" saves its tracks).
#include <memory>
#include <optional>
#include <string>

#include "cli/cli_output.h"
#include "cli/commands/commands.h"

namespace fogbell::cli {
namespace {

struct DecodeOptions {
    std::string file;
    OutputOptions output;
};

}  // namespace

void AddDecodeCommand(CLI::App& app, CommandContext& context) {
    auto options = std::make_shared<DecodeOptions>();
    CLI::App* decode =
        app.add_subcommand("decode", "Save a single audio file as a 16-bit PCM WAVE file");
    decode->add_option("FILE", options->file, "Audio file")->required();
    AddOutputOptions(decode, options->output);
    context.OnRun(decode, [&context, options] {
        const PluginHost& host = context.Plugins();
        if (const int status = RefuseUnreadable(options->file); status != kExitOk) {
            return status;
        }
        if (RefuseContainer(host, options->file)) {
            return kExitUsage;
        }
        return SaveWave(host, options->file, {}, options->output, true, std::nullopt);
    });
}

}  // namespace fogbell::cli
