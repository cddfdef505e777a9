// The plug-in host's record of one bound library: its kind, its file, its extensions and what it
// can do. The entry points themselves stay inside the plug-in host: the sessions
// (plugin_session.h) call them, each under the plug-in's lock and with the plug-in's error text
// read under the same lock; PluginHost (plugin_host.h) binds them.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/plugins/dynamic_library.h"
#include "host/plugins/plugin_entries.h"

namespace fogbell {

class PluginHost;
struct PluginBinder;
class OpenedFile;
class ExplorerSession;
class DecoderSession;

// What both kinds of plug-in record share: the library, its extensions and its error text.
class PluginRecord {
  public:
    enum class Kind { kExplorer, kDecoder };
    explicit PluginRecord(Kind k) : kind(k) {}
    virtual ~PluginRecord() = default;
    PluginRecord(const PluginRecord&) = delete;
    PluginRecord& operator=(const PluginRecord&) = delete;

    const Kind kind;
    // The array fnGetSupportExt returned at bind time (borrowed from the library), or null.
    const char* const* extensionList = nullptr;
    std::string libraryPath;

    // True when one of the extensions equals extension without regard to case.
    bool Serves(const std::string& extension) const;
    // The extensions, up to the first null or empty one.
    std::vector<std::string> Extensions() const;
    // Whether the library exports fnGetErrorString.
    bool HasErrorText() const { return fnGetErrorString != nullptr; }

  private:
    friend class PluginHost;
    friend struct PluginBinder;
    friend class OpenedFile;
    friend class ExplorerSession;
    friend class DecoderSession;

  protected:
    // The plug-in's error text; none when it has no fnGetErrorString. The caller holds the
    // plug-in's lock since the call whose text it is.
    std::optional<std::string> LastText() const;
    // LastText, or fallback when there is none.
    std::string ErrorText(const char* fallback) const { return LastText().value_or(fallback); }
    // fnCloseFile on the handle, under the kind's lock.
    virtual void CloseHandle(std::int32_t handle) const = 0;

    // The entry points both kinds share (plugin_entries.h).
    FOGBELL_EXPLORER_ENTRIES(FOGBELL_COMMON_FIELD)
    DynamicLibrary module;
};

// One bound explorer library. Its lock serialises every call into it; it is re-entrant, so that
// a track's bytes can stay held while the same thread asks the explorer more.
class ExplorerPlugin final : public PluginRecord {
  public:
    ExplorerPlugin() : PluginRecord(Kind::kExplorer) {}

    bool HasLengths() const { return fnGetLengthFile != nullptr; }
    bool CanReplace() const { return fnReplaceFile != nullptr; }
    bool CanMeasureRoom() const { return fnGetRoomFile != nullptr; }
    bool CanRebuild() const { return fnRebuildFile != nullptr; }
    bool CanTellDamage() const { return fnGetDamagedCount != nullptr; }
    bool CanPack() const { return fnGetLayout != nullptr && fnPackFiles != nullptr; }
    bool CanReplaceMany() const { return fnReplaceFiles != nullptr; }
    bool CanRebuildMany() const { return fnRebuildFiles != nullptr; }
    // Whether a track of this container can be written straight into the file that holds it.
    bool CanTellOffsets() const { return fnGetTrackOffset != nullptr; }
    bool CanReplaceWithin() const { return fnReplaceFilesWithin != nullptr; }
    // Forgets fnReplaceFilesWithin, so that the explorer acts as one that does not export it
    // (a nested track then changes in a temporary copy of its container).
    void ForgetReplaceWithin() { fnReplaceFilesWithin = nullptr; }
    // Forgets fnRebuildFile, so that the explorer acts as one that does not export it (an
    // explorer from before containers were rebuilt).
    void ForgetRebuild() {
        fnRebuildFile = nullptr;
        fnRebuildFiles = nullptr;
    }

  private:
    friend class PluginHost;
    friend struct PluginBinder;
    friend class ExplorerSession;

    void CloseHandle(std::int32_t handle) const override;

    FOGBELL_EXPLORER_ENTRIES(FOGBELL_KIND_FIELD)

    mutable std::recursive_mutex lock;
};

// One bound decoder library. A decoder handle is used by one thread at a time, but the error
// text is one per library: the lock is held across a call and the read of its error text, so
// that a call on another thread cannot replace the text in between.
class DecoderPlugin final : public PluginRecord {
  public:
    DecoderPlugin() : PluginRecord(Kind::kDecoder) {}

    bool CanLoadMemory() const { return fnLoadFileMemory != nullptr; }

  private:
    friend class PluginHost;
    friend struct PluginBinder;
    friend class DecoderSession;

    void CloseHandle(std::int32_t handle) const override;

    FOGBELL_DECODER_ENTRIES(FOGBELL_KIND_FIELD)

    mutable std::mutex lock;
};

// The text after the last "." of a name, or nothing when it has no dot.
bool ExtensionOf(const std::string& name, std::string& extension);

}  // namespace fogbell
