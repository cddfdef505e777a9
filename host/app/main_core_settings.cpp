// The settings of the main window ("ini.ini", section "General"), read once at start and written
// once at the end, and the folder that extraction and saving write into.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/app/ini_file.h"
#include "host/app/main_core.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell {
namespace {

constexpr const char* kSettingsSection = "General";
constexpr const char* kSelectFolder = "Select Folder";
// The folder browser's title when a command needs the save folder and none is set.
constexpr const char* kAskSaveFolder = "Select the folder to save into";

// A settings number: the leading decimal number of the text, 0 when there is none, saturated to
// 32 bits.
std::int32_t NumberOf(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));  // "%u" written
    }
    return value < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(value);
}

std::string UnsignedText(std::int64_t value) {
    return std::to_string(static_cast<std::uint32_t>(value));
}

std::string UserConfigDirectory() {
#if defined(_WIN32)
    // The wide form: the narrow environment is in the local code page.
    if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData && *appData) {
        return Utf8FromWide(appData) + "\\Fogbell";
    }
#endif
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        return std::string(xdg) + "/fogbell";
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/fogbell";
}

}  // namespace

CorePaths PathsFor(const std::string& programDirectory) {
    namespace fs = std::filesystem;
    const fs::path dir = PathFromUtf8(programDirectory);
    CorePaths paths;
    const bool writable = DirectoryWritable(dir);
    paths.settingsFile =
        Utf8FromPath((writable ? dir : PathFromUtf8(UserConfigDirectory())) / "ini.ini");
    paths.decoderDirectory = Utf8FromPath(dir / "decode_plugins");
    paths.explorerDirectory = Utf8FromPath(dir / "explore_plugins");
    return paths;
}

void MainCore::LoadSettings() {
    IniFile ini;
    ini.Load(paths_.settingsFile);
    auto value = [&](const char* key) { return ini.Get(kSettingsSection, key); };
    view_.SetCheck(CheckId::kAlwaysOnTop, NumberOf(value("Top")) != 0);
    if (std::string name = value("FileName"); !name.empty()) {
        lastFileName_ = name;
    }
    view_.SetCheck(CheckId::kLoopSound, NumberOf(value("LoopAix")) != 0);
    // A missing key is full volume, so that the first track is heard; anything else is held to
    // the slider's range. The key keeps its "%u" form when written back.
    const std::string volume = value("Volume");
    volume_ =
        volume.empty() ? kVolumeFull : std::clamp(NumberOf(volume), kVolumeLowest, kVolumeFull);
    view_.SetVolumeSlider(volume_);
    // The engine has it before the first track starts, not from the play timer's first tick: a
    // quiet setting is never preceded by a blast at full volume.
    playback_.SetVolume(volume_ - kVolumeFull);
    saveDirectory_ = value("SaveDir");
    replaceDirectory_ = value("ReplaceDir");
}

void MainCore::SaveSettings() {
    IniFile ini;
    ini.Load(paths_.settingsFile);  // other keys and sections are kept
    // The container shown, so that it can be found again; nothing when none was opened.
    const std::string fileName = chain_.Empty() ? std::string() : lastFileName_;
    // A value the file cannot hold (a control byte in a track name) is written empty: it must
    // not forge keys, and a stale value must not stand in for it.
    auto store = [&](const char* key, const std::string& value) {
        if (!ini.Set(kSettingsSection, key, value)) {
            ini.Set(kSettingsSection, key, "");
        }
    };
    store("FileName", fileName);
    ini.Set(kSettingsSection, "Top", UnsignedText(view_.IsChecked(CheckId::kAlwaysOnTop)));
    ini.Set(kSettingsSection, "LoopAix", UnsignedText(view_.IsChecked(CheckId::kLoopSound)));
    ini.Set(kSettingsSection, "Volume", UnsignedText(volume_));
    saveDirectory_ = view_.SaveDirectoryBox();
    store("SaveDir", saveDirectory_);
    store("ReplaceDir", replaceDirectory_);
    std::error_code ignored;
    std::filesystem::create_directories(PathFromUtf8(paths_.settingsFile).parent_path(), ignored);
    // A failed write is not reported; it leaves the old file whole.
    ini.Save(paths_.settingsFile);
}

void MainCore::ChooseSaveDirectory() {
    if (auto folder = view_.AskFolder(kSelectFolder)) {
        saveDirectory_ = *folder;
    }
    view_.SetSaveDirectoryBox(saveDirectory_);
}

bool MainCore::PrepareSaveDirectory() {
    saveDirectory_ = view_.SaveDirectoryBox();
    if (saveDirectory_.empty()) {
        // Asked now rather than sent to the button that asks.
        if (auto folder = view_.AskFolder(kAskSaveFolder)) {
            saveDirectory_ = *folder;
            view_.SetSaveDirectoryBox(saveDirectory_);
        }
    }
    if (saveDirectory_.empty()) {
        view_.SetStatus("Select a directory for save first.");
        return false;
    }
    if (!IsFolder(saveDirectory_)) {
        view_.SetStatus("Directory for save not found: " + saveDirectory_);
        return false;
    }
    return true;
}

}  // namespace fogbell
