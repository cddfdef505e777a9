// The plug-in host: binds the explorer and decoder libraries found in the two plug-in folders,
// routes names to plug-ins by extension, and opens and closes files through them.
//
// The registries are filled once at start, on the window thread, before any other thread
// exists, and stay unchanged until UnloadPlugins. Calls into one explorer plug-in are
// serialised by that plug-in's lock: hold it across a call and the read of its error text, and
// across fnGetFilePointer and whatever uses the pointer it returned (for AIX containers the
// pointer is a record whose selected track the next fnGetFilePointer changes).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fogbell_decoder.h"
#include "fogbell_explorer.h"
#include "host/core/dynamic_library.h"

namespace fogbell {

// What both kinds of plug-in record share: the close entry point, the library and its
// extensions.
struct PluginRecord {
    enum class Kind { kExplorer, kDecoder };
    explicit PluginRecord(Kind k) : kind(k) {}
    virtual ~PluginRecord() = default;

    const Kind kind;
    FnCloseFile fnCloseFile = nullptr;            // required
    FnGetErrorString fnGetErrorString = nullptr;  // optional
    FnGetSupportExt fnGetSupportExt = nullptr;
    DynamicLibrary module;
    // The array fnGetSupportExt returned at bind time (borrowed from the library), or null.
    const char* const* extensionList = nullptr;
    std::string libraryPath;

    // The plug-in's error text, or fallback when it has no fnGetErrorString.
    std::string ErrorText(const char* fallback) const;
    // True when one of the extensions equals extension without regard to case.
    bool Serves(const std::string& extension) const;
};

// One bound explorer library. Its lock serialises every call into it.
struct ExplorerPlugin : PluginRecord {
    ExplorerPlugin() : PluginRecord(Kind::kExplorer) {}
    FnGetLengthFile fnGetLengthFile = nullptr;            // optional
    FnGetListFiles fnGetListFiles = nullptr;              // required
    FnGetFilePointer fnGetFilePointer = nullptr;          // required
    FnReplaceFile fnReplaceFile = nullptr;                // optional
    FnExtractFile fnExtractFile = nullptr;                // required
    FnExplorerLoadFileMemory fnLoadFileMemory = nullptr;  // required
    FnExplorerLoadFile fnLoadFile = nullptr;              // required

    mutable std::recursive_mutex lock;
};

// One bound decoder library. A decoder handle is used by one thread at a time, but the error
// text is one per library: the lock is held across a call and the read of its error text, so
// that a call on another thread cannot replace the text in between.
struct DecoderPlugin : PluginRecord {
    DecoderPlugin() : PluginRecord(Kind::kDecoder) {}
    FnGetFormat fnGetFormatSource = nullptr;
    FnGetFormat fnGetFormatOut = nullptr;
    FnGetSizeData fnGetSizeData = nullptr;
    FnGetCurrPos fnGetCurrPos = nullptr;
    FnDecodeNext fnDecodeNext = nullptr;
    FnResetFile fnResetFile = nullptr;
    FnDecoderLoadFile fnLoadFile = nullptr;              // required
    FnDecoderLoadFileMemory fnLoadFileMemory = nullptr;  // optional

    mutable std::mutex lock;
};

// One file or track opened through a plug-in.
struct OpenedFile {
    PluginRecord* plugin = nullptr;  // the ExplorerPlugin or DecoderPlugin that serves it
    // A container's path, or the track name when it was opened from a parent's memory. Empty
    // for streams.
    std::string path;
    const void* memoryImage = nullptr;  // the track pointer it was opened from, else null
    std::uint32_t memorySize = 0;
    std::int32_t handle = FOGBELL_NO_HANDLE;
    // What the explorer said about a container it opened from a path, when it was more than
    // "OK" (a replacement that was cut short and has been undone); empty otherwise.
    std::string openNotice;

    // The plug-in as an explorer or a decoder; null when it is of the other kind (or none).
    ExplorerPlugin* Explorer() const {
        return plugin && plugin->kind == PluginRecord::Kind::kExplorer
                   ? static_cast<ExplorerPlugin*>(plugin)
                   : nullptr;
    }
    DecoderPlugin* Decoder() const {
        return plugin && plugin->kind == PluginRecord::Kind::kDecoder
                   ? static_cast<DecoderPlugin*>(plugin)
                   : nullptr;
    }
    // For files whose kind is known (FindExplorer / FindDecoder made them).
    ExplorerPlugin& AsExplorer() const { return static_cast<ExplorerPlugin&>(*plugin); }
    DecoderPlugin& AsDecoder() const { return static_cast<DecoderPlugin&>(*plugin); }
    bool IsOpen() const { return plugin != nullptr && handle != FOGBELL_NO_HANDLE; }
};
using OpenedFilePtr = std::unique_ptr<OpenedFile>;

// Closes the file in place (fnCloseFile on its handle) and empties the place. Does nothing for
// an empty place or a file that is not open.
void CloseOpenedFile(OpenedFilePtr& place);

// The text after the last "." of a name, or nothing when it has no dot.
bool ExtensionOf(const std::string& name, std::string& extension);

class PluginHost {
  public:
    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Binds every library in the folder that exports what its kind needs; others are skipped
    // silently. Libraries are tried in file-name order, which decides ties between plug-ins
    // that list the same extension.
    void LoadDecoderPlugins(const std::string& directory);
    void LoadExplorerPlugins(const std::string& directory);
    // Frees every library. Every OpenedFile must have been closed before.
    void UnloadPlugins();

    // A new, unopened OpenedFile bound to the first plug-in serving the name's extension, or
    // null. FindExplorer copies the name into path; FindDecoder leaves it empty.
    OpenedFilePtr FindExplorer(const std::string& name) const;
    OpenedFilePtr FindDecoder(const std::string& name) const;

    // Opens a container (from memory when memory is set, else from the path). On failure null
    // and error holds the text to show: "Format unsupported.", the plug-in's error text, or
    // "Error loading file." when it has none.
    OpenedFilePtr OpenContainer(const std::string& name, const void* memory, std::uint32_t size,
                                std::string& error) const;
    // Opens a stream with the source's channels and rate; failures as OpenContainer ("Error
    // loading file." too for memory given to a decoder that cannot load from memory).
    OpenedFilePtr OpenStream(const std::string& name, const void* memory, std::uint32_t size,
                             std::string& error) const;

    const std::vector<std::unique_ptr<DecoderPlugin>>& Decoders() const { return decoders_; }
    const std::vector<std::unique_ptr<ExplorerPlugin>>& Explorers() const { return explorers_; }
    // Every extension of every plug-in of the kind, plug-in after plug-in, in list order.
    const std::vector<std::string>& DecoderExtensions() const { return decoderExtensions_; }
    const std::vector<std::string>& ExplorerExtensions() const { return explorerExtensions_; }

  private:
    std::vector<std::unique_ptr<DecoderPlugin>> decoders_;
    std::vector<std::unique_ptr<ExplorerPlugin>> explorers_;
    std::vector<std::string> decoderExtensions_;
    std::vector<std::string> explorerExtensions_;
};

// The filter text of an open-file dialog for these extensions:
// "Support Files (*.A;*.B)|*.A;*.B|Audio files (*.A)|*.A|Audio files (*.B)|*.B|", or "" for none.
std::string BuildOpenFilter(const std::vector<std::string>& extensions);

}  // namespace fogbell
