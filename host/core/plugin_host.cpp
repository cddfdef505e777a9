#include "host/core/plugin_host.h"

#include "host/core/ascii_text.h"
#include "host/core/native_path.h"

#include <algorithm>
#include <filesystem>

namespace fogbell {
namespace {

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

template <class Function>
bool Bind(const DynamicLibrary& library, const char* name, Function& entry) {
    entry = library.Entry<Function>(name);
    return entry != nullptr;
}

// Binds the explorer entry points; false when a required one is missing.
bool BindExplorer(ExplorerPlugin& p) {
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
    Bind(lib, "fnGetErrorString", p.fnGetErrorString);
    Bind(lib, "fnGetLengthFile", p.fnGetLengthFile);
    return true;
}

// Binds the decoder entry points; false when a required one is missing.
bool BindDecoder(DecoderPlugin& p) {
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
    return true;
}

template <class Record, class Binder>
void LoadPlugins(const std::string& directory, Binder bind,
                 std::vector<std::unique_ptr<Record>>& plugins,
                 std::vector<std::string>& extensions) {
    for (const std::string& path : LibraryFiles(directory)) {
        auto plugin = std::make_unique<Record>();
        if (!plugin->module.Open(path) || !bind(*plugin)) {
            continue;  // skipped without a message
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

template <class Record>
PluginRecord* FirstServing(const std::vector<std::unique_ptr<Record>>& plugins,
                           const std::string& name) {
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

}  // namespace

std::string PluginRecord::ErrorText(const char* fallback) const {
    if (fnGetErrorString == nullptr) {
        return fallback;
    }
    const char* text = fnGetErrorString();
    return text ? text : "";
}

bool PluginRecord::Serves(const std::string& extension) const {
    for (const std::string& listed : ListedExtensions(extensionList)) {
        if (EqualIgnoringAsciiCase(listed, extension)) {
            return true;
        }
    }
    return false;
}

bool ExtensionOf(const std::string& name, std::string& extension) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    extension = name.substr(dot + 1);
    return true;
}

void CloseOpenedFile(OpenedFilePtr& place) {
    if (!place || !place->IsOpen()) {
        return;
    }
    if (auto* explorer = place->Explorer()) {
        std::lock_guard lock(explorer->lock);
        explorer->fnCloseFile(place->handle);
    } else if (auto* decoder = place->Decoder()) {
        std::lock_guard lock(decoder->lock);
        decoder->fnCloseFile(place->handle);
    } else {
        place->plugin->fnCloseFile(place->handle);
    }
    place->handle = FOGBELL_NO_HANDLE;
    place.reset();
}

PluginHost::~PluginHost() {
    UnloadPlugins();
}

void PluginHost::LoadDecoderPlugins(const std::string& directory) {
    LoadPlugins(directory, BindDecoder, decoders_, decoderExtensions_);
}

void PluginHost::LoadExplorerPlugins(const std::string& directory) {
    LoadPlugins(directory, BindExplorer, explorers_, explorerExtensions_);
}

void PluginHost::UnloadPlugins() {
    decoders_.clear();  // each record closes its library
    explorers_.clear();
    decoderExtensions_.clear();
    explorerExtensions_.clear();
}

OpenedFilePtr PluginHost::FindExplorer(const std::string& name) const {
    PluginRecord* plugin = name.empty() ? nullptr : FirstServing(explorers_, name);
    if (plugin == nullptr) {
        return nullptr;
    }
    auto file = std::make_unique<OpenedFile>();
    file->plugin = plugin;
    file->path = name;
    return file;
}

OpenedFilePtr PluginHost::FindDecoder(const std::string& name) const {
    PluginRecord* plugin = name.empty() ? nullptr : FirstServing(decoders_, name);
    if (plugin == nullptr) {
        return nullptr;
    }
    auto file = std::make_unique<OpenedFile>();
    file->plugin = plugin;
    return file;
}

OpenedFilePtr PluginHost::OpenContainer(const std::string& name, const void* memory,
                                        std::uint32_t size, std::string& error) const {
    OpenedFilePtr file = FindExplorer(name);
    if (!file) {
        error = "Format unsupported.";
        return nullptr;
    }
    ExplorerPlugin& explorer = file->AsExplorer();
    file->memoryImage = memory;
    file->memorySize = size;
    std::lock_guard lock(explorer.lock);
    file->handle =
        memory ? explorer.fnLoadFileMemory(memory, size) : explorer.fnLoadFile(name.c_str());
    if (file->handle == FOGBELL_NO_HANDLE) {
        error = explorer.ErrorText("Error loading file.");
        return nullptr;
    }
    if (memory == nullptr) {
        // An explorer's text after a successful open is "OK" unless it had to mend the file.
        const std::string text = explorer.ErrorText("OK");
        if (text != "OK") {
            file->openNotice = text;
        }
    }
    return file;
}

OpenedFilePtr PluginHost::OpenStream(const std::string& name, const void* memory,
                                     std::uint32_t size, std::string& error) const {
    OpenedFilePtr file = FindDecoder(name);
    if (!file) {
        error = "Format unsupported.";
        return nullptr;
    }
    DecoderPlugin& decoder = file->AsDecoder();
    file->memoryImage = memory;
    file->memorySize = size;
    if (memory != nullptr && decoder.fnLoadFileMemory == nullptr) {
        // The plug-in's last text would belong to some earlier, unrelated call.
        error = "Error loading file.";
        return nullptr;
    }
    std::lock_guard lock(decoder.lock);
    file->handle = memory ? decoder.fnLoadFileMemory(-1, -1, memory, size)
                          : decoder.fnLoadFile(-1, -1, name.c_str());
    if (file->handle == FOGBELL_NO_HANDLE) {
        error = decoder.ErrorText("Error loading file.");
        return nullptr;
    }
    return file;
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
