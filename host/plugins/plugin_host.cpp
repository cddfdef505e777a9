#include "host/plugins/plugin_host.h"

#include "host/system/native_path.h"
#include "text/ascii_text.h"

#include <algorithm>
#include <filesystem>

namespace fogbell {
namespace {

constexpr const char* kUnsupported = "Format unsupported.";
// What the host asks of a decoder's output: the source's channel count and rate.
constexpr std::int32_t kSourceFormat = -1;

// Extension strings of a list, up to the first null or empty entry.
std::vector<std::string> ListedExtensions(const char* const* list) {
    std::vector<std::string> extensions;
    for (const char* const* p = list; p != nullptr && *p != nullptr && **p != '\0'; ++p) {
        extensions.emplace_back(*p);
    }
    return extensions;
}

// Every regular file in the folder with the platform's library ending, sorted by name.
std::vector<std::string> LibraryFiles(const std::string& directory) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(directory), error)) {
        if (entry.path().extension() == DynamicLibrary::Suffix() && entry.is_regular_file(error)) {
            files.push_back(Utf8FromPath(entry.path()));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The first plug-in of the kind, in load order, that serves the name's extension, or null.
template <class Record>
Record* FirstServing(const std::vector<std::unique_ptr<Record>>& plugins, const std::string& name) {
    std::string extension;
    if (!ExtensionOf(name, extension)) {
        return nullptr;
    }
    for (const auto& plugin : plugins) {
        if (plugin->Serves(extension)) {
            return plugin.get();
        }
    }
    return nullptr;
}

// What the interfaces say of each kind: the entry points every library of the kind exports,
// and those that only that kind's interface defines.
struct KindRule {
    std::vector<const char*> required;
    std::vector<const char*> only;
    const char* singular;  // "an explorer"
    const char* plural;    // "explorers"
    const char* folder;    // where libraries of the kind belong
};

const KindRule kExplorerRule{
    {"fnLoadFile", "fnCloseFile", "fnGetListFiles", "fnGetFilePointer", "fnExtractFile",
     "fnLoadFileMemory", "fnGetSupportExt"},
    {"fnGetListFiles", "fnGetFilePointer", "fnExtractFile", "fnGetLengthFile", "fnReplaceFile",
     "fnReplaceFileMemory", "fnGetBitrate", "fnGetRoomFile", "fnRebuildFile", "fnReplaceFiles",
     "fnRebuildFiles", "fnGetDamagedCount", "fnIsTrackDamaged", "fnGetLayout", "fnPackFiles"},
    "an explorer",
    "explorers",
    "explore_plugins"};
const KindRule kDecoderRule{
    {"fnLoadFile", "fnCloseFile"},
    {"fnDecodeNext", "fnGetFormatOut", "fnGetFormatSource", "fnGetSizeData", "fnGetCurrPos",
     "fnResetFile", "fnGetLoopPoints", "fnSeekSample", "fnGetFallbackExt"},
    "a decoder",
    "decoders",
    "decode_plugins"};

std::string Joined(const std::vector<const char*>& names) {
    std::string text;
    for (const char* name : names) {
        text += (text.empty() ? "" : ", ") + std::string(name);
    }
    return text;
}

// The names of the list that the library exports.
std::vector<const char*> Exported(const DynamicLibrary& library,
                                  const std::vector<const char*>& names) {
    std::vector<const char*> found;
    for (const char* name : names) {
        if (library.Symbol(name) != nullptr) {
            found.push_back(name);
        }
    }
    return found;
}

// Why the loaded library does not fit the kind (own) of its folder, or "" when it does: it must
// export everything the kind needs and nothing that only the other kind has.
std::string Misfit(const DynamicLibrary& library, const KindRule& own, const KindRule& other) {
    const std::vector<const char*> foreign = Exported(library, other.only);
    if (!foreign.empty() && !Exported(library, own.only).empty()) {
        return "it exports entry points that only " + std::string(own.plural) + " have and also " +
               Joined(foreign) + ", which only " + other.plural +
               " have: it cannot be told which kind it is";
    }
    if (!foreign.empty()) {
        return "it exports " + Joined(foreign) + ", which only " + other.plural +
               " have: it belongs in " + other.folder;
    }
    std::vector<const char*> missing;
    for (const char* name : own.required) {
        if (library.Symbol(name) == nullptr) {
            missing.push_back(name);
        }
    }
    if (!missing.empty()) {
        return "it lacks " + Joined(missing) + ", which " + own.singular + " needs";
    }
    return "";
}

}  // namespace

// Binds libraries' entry points into the records (the records keep them to the plug-in host).
struct PluginBinder {
    template <class Function>
    static bool Bind(const DynamicLibrary& library, const char* name, Function& entry) {
        entry = library.Entry<Function>(name);
        return entry != nullptr;
    }

    // Binds the explorer entry points; false when a required one is missing.
    static bool BindExplorer(ExplorerPlugin& p) {
        const DynamicLibrary& lib = p.module;
        if (!(Bind(lib, "fnLoadFile", p.fnLoadFile) && Bind(lib, "fnCloseFile", p.fnCloseFile) &&
              Bind(lib, "fnGetListFiles", p.fnGetListFiles) &&
              Bind(lib, "fnGetFilePointer", p.fnGetFilePointer) &&
              Bind(lib, "fnExtractFile", p.fnExtractFile) &&
              Bind(lib, "fnLoadFileMemory", p.fnLoadFileMemory) &&
              Bind(lib, "fnGetSupportExt", p.fnGetSupportExt))) {
            return false;
        }
        Bind(lib, "fnReplaceFile", p.fnReplaceFile);
        Bind(lib, "fnGetRoomFile", p.fnGetRoomFile);
        Bind(lib, "fnRebuildFile", p.fnRebuildFile);
        // Both or neither: the count says whether to ask row by row.
        if (!Bind(lib, "fnGetDamagedCount", p.fnGetDamagedCount) ||
            !Bind(lib, "fnIsTrackDamaged", p.fnIsTrackDamaged)) {
            p.fnGetDamagedCount = nullptr;
            p.fnIsTrackDamaged = nullptr;
        }
        Bind(lib, "fnGetLayout", p.fnGetLayout);
        Bind(lib, "fnPackFiles", p.fnPackFiles);
        Bind(lib, "fnReplaceFiles", p.fnReplaceFiles);
        Bind(lib, "fnRebuildFiles", p.fnRebuildFiles);
        Bind(lib, "fnGetTrackOffset", p.fnGetTrackOffset);
        Bind(lib, "fnReplaceFilesWithin", p.fnReplaceFilesWithin);
        Bind(lib, "fnGetErrorString", p.fnGetErrorString);
        Bind(lib, "fnGetLengthFile", p.fnGetLengthFile);
        return true;
    }

    // Binds the decoder entry points; false when a required one is missing.
    static bool BindDecoder(DecoderPlugin& p) {
        const DynamicLibrary& lib = p.module;
        if (!(Bind(lib, "fnLoadFile", p.fnLoadFile) && Bind(lib, "fnCloseFile", p.fnCloseFile))) {
            return false;
        }
        Bind(lib, "fnLoadFileMemory", p.fnLoadFileMemory);
        Bind(lib, "fnGetFormatSource", p.fnGetFormatSource);
        Bind(lib, "fnDecodeNext", p.fnDecodeNext);
        Bind(lib, "fnGetSupportExt", p.fnGetSupportExt);
        Bind(lib, "fnGetFormatOut", p.fnGetFormatOut);
        Bind(lib, "fnGetSizeData", p.fnGetSizeData);
        Bind(lib, "fnGetCurrPos", p.fnGetCurrPos);
        Bind(lib, "fnGetErrorString", p.fnGetErrorString);
        Bind(lib, "fnResetFile", p.fnResetFile);
        Bind(lib, "fnGetLoopPoints", p.fnGetLoopPoints);
        Bind(lib, "fnSeekSample", p.fnSeekSample);
        return true;
    }

    // Binds every library of the folder that fits the kind (own); the others go to leftOut.
    template <class Record, class Binder>
    static void LoadPlugins(const std::string& directory, const KindRule& own,
                            const KindRule& other, Binder bind,
                            std::vector<std::unique_ptr<Record>>& plugins,
                            std::vector<std::string>& extensions,
                            std::vector<LeftOutLibrary>& leftOut) {
        for (const std::string& path : LibraryFiles(directory)) {
            auto plugin = std::make_unique<Record>();
            if (!plugin->module.Open(path)) {
                leftOut.push_back({path, "it does not load: " + plugin->module.Error()});
                continue;
            }
            if (std::string misfit = Misfit(plugin->module, own, other); !misfit.empty()) {
                leftOut.push_back({path, std::move(misfit)});
                continue;
            }
            if (!bind(*plugin)) {
                continue;  // the rule above has made sure of the required entry points
            }
            plugin->libraryPath = path;
            if (plugin->fnGetSupportExt != nullptr) {
                plugin->extensionList = plugin->fnGetSupportExt();
                for (std::string& extension : ListedExtensions(plugin->extensionList)) {
                    extensions.push_back(std::move(extension));
                }
            }
            plugins.push_back(std::move(plugin));
        }
    }
};

std::optional<std::string> PluginRecord::LastText() const {
    if (fnGetErrorString == nullptr) {
        return std::nullopt;
    }
    const char* text = fnGetErrorString();
    return std::string(text ? text : "");
}

bool PluginRecord::Serves(const std::string& extension) const {
    for (const std::string& listed : ListedExtensions(extensionList)) {
        if (EqualIgnoringAsciiCase(listed, extension)) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> PluginRecord::Extensions() const {
    return ListedExtensions(extensionList);
}

bool ExtensionOf(const std::string& name, std::string& extension) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    extension = name.substr(dot + 1);
    return true;
}

PluginHost::~PluginHost() {
    UnloadPlugins();
}

void PluginHost::LoadDecoderPlugins(const std::string& directory) {
    PluginBinder::LoadPlugins(directory, kDecoderRule, kExplorerRule, PluginBinder::BindDecoder,
                              decoders_, decoderExtensions_, leftOut_);
}

void PluginHost::LoadExplorerPlugins(const std::string& directory) {
    PluginBinder::LoadPlugins(directory, kExplorerRule, kDecoderRule, PluginBinder::BindExplorer,
                              explorers_, explorerExtensions_, leftOut_);
}

void PluginHost::UnloadPlugins() {
    decoders_.clear();  // each record closes its library
    explorers_.clear();
    decoderExtensions_.clear();
    explorerExtensions_.clear();
    leftOut_.clear();
}

ExplorerSessionPtr PluginHost::FindExplorer(const std::string& name) const {
    ExplorerPlugin* plugin = name.empty() ? nullptr : FirstServing(explorers_, name);
    if (plugin == nullptr) {
        return nullptr;
    }
    auto file = std::make_unique<ExplorerSession>(*plugin);
    file->path = name;
    return file;
}

DecoderSessionPtr PluginHost::FindDecoder(const std::string& name) const {
    DecoderPlugin* plugin = name.empty() ? nullptr : FirstServing(decoders_, name);
    return plugin ? std::make_unique<DecoderSession>(*plugin) : nullptr;
}

ExplorerSessionPtr PluginHost::OpenContainer(const std::string& name, const void* memory,
                                             std::uint32_t size, std::string& error) const {
    ExplorerPlugin* plugin = name.empty() ? nullptr : FirstServing(explorers_, name);
    if (plugin == nullptr) {
        error = kUnsupported;
        return nullptr;
    }
    return ExplorerSession::Open(*plugin, name, memory, size, error);
}

DecoderSessionPtr PluginHost::OpenStream(const std::string& name, const void* memory,
                                         std::uint32_t size, std::string& error) const {
    DecoderPlugin* plugin = name.empty() ? nullptr : FirstServing(decoders_, name);
    if (plugin == nullptr) {
        error = kUnsupported;
        return nullptr;
    }
    return DecoderSession::Open(*plugin, name, memory, size, kSourceFormat, kSourceFormat, error);
}

DecoderSessionPtr PluginHost::OpenStreamAs(const std::string& routeName, const std::string& path,
                                           std::int32_t channels, std::int32_t rate,
                                           std::string& error) const {
    DecoderPlugin* plugin = routeName.empty() ? nullptr : FirstServing(decoders_, routeName);
    if (plugin == nullptr) {
        error = kUnsupported;
        return nullptr;
    }
    return DecoderSession::Open(*plugin, path, nullptr, 0, channels, rate, error);
}

std::string BuildOpenFilter(const std::vector<std::string>& extensions) {
    if (extensions.empty()) {
        return "";
    }
    std::string description = "Support Files (*.";
    std::string patterns = "|*.";
    for (const std::string& extension : extensions) {
        description += extension + ";*.";
        patterns += extension + ";*.";
    }
    constexpr std::size_t kSeparator = 3;  // the final ";*."
    description.replace(description.size() - kSeparator, kSeparator, ")");
    patterns.replace(patterns.size() - kSeparator, kSeparator, "|");
    std::string filter = description + patterns;
    for (const std::string& extension : extensions) {
        filter += "Audio files (*." + extension + ")|*." + extension + "|";
    }
    return filter;
}

}  // namespace fogbell
