// fogbell-cli formats [--json]: the bound plug-ins, their kind and extensions; the libraries left
// out, with the reason, on standard error.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands/commands.h"
#include "cli/json_text.h"
#include "cli/track_names.h"

namespace fogbell::cli {
namespace {

int Formats(const PluginHost& host, bool json) {
    if (!json) {
        // The window program's --formats prints the same table.
        std::fputs(FormatsTable(host).c_str(), stdout);
        NameLeftOut(host);
        return kExitOk;
    }
    std::vector<std::string> entries;
    auto add = [&](const char* kind, const PluginRecord& plugin) {
        std::vector<std::string> extensions;
        for (const std::string& extension : plugin.Extensions()) {
            extensions.push_back(JsonString(extension));
        }
        entries.push_back("\n  {\"kind\": \"" + std::string(kind) +
                          "\", \"plugin\": " + JsonName(LibraryName(plugin)) +
                          ", \"extensions\": [" + Joined(extensions, ", ") + "]}");
    };
    for (const auto& explorer : host.Explorers()) {
        add("explorer", *explorer);
    }
    for (const auto& decoder : host.Decoders()) {
        add("decoder", *decoder);
    }
    JsonDocumentPrinted() = true;
    std::printf("[%s%s]\n", Joined(entries, ",").c_str(), entries.empty() ? "" : "\n");
    NameLeftOut(host);
    return kExitOk;
}

}  // namespace

void AddFormatsCommand(CLI::App& app, CommandContext& context) {
    auto json = std::make_shared<bool>(false);
    CLI::App* formats = app.add_subcommand("formats", "Bound plug-ins, their kind and extensions");
    formats->add_flag("--json", *json, "Machine-readable output");
    context.OnRun(formats, [&context, json] {
        const PluginHost& host = context.BoundPlugins();
        if (host.Decoders().empty() && host.Explorers().empty()) {
            NameLeftOut(host);
            Fail("formats", "no plug-in found in " + context.DecoderFolder() + " nor in " +
                                context.ExplorerFolder() + " (--plugins names their folder)");
            return kExitFailed;
        }
        return Formats(host, *json);
    });
}

}  // namespace fogbell::cli
