#include "host/plugins/plugin_session.h"

#include <cstring>

#include "host/system/system_files.h"

namespace fogbell {
namespace {

constexpr const char* kLoadFailed = "Error loading file.";
constexpr const char* kOk = "OK";
constexpr const char* kEmptyFile = "The file is empty.";
constexpr const char* kEmptyTrack = "The track is empty.";

// The text of a failed open: the plug-in's, unless it says "OK" or nothing (a plug-in may keep
// the text of its last success when it refuses an empty file); then what the host can tell.
std::string FailedOpenText(std::string text, const std::string& path, const void* memory,
                           std::uint32_t size) {
    if (!text.empty() && text != kOk) {
        return text;
    }
    if (memory != nullptr) {
        return size == 0 ? kEmptyTrack : kLoadFailed;
    }
    std::uint64_t bytes = 0;
    return SizeOfFile(path, bytes) && bytes == 0 ? kEmptyFile : kLoadFailed;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// OpenedFile

OpenedFile::~OpenedFile() {
    Close();
}

void OpenedFile::Close() {
    if (!IsOpen()) {
        return;
    }
    plugin->CloseHandle(handle_);
    handle_ = FOGBELL_NO_HANDLE;
}

ExplorerPlugin* OpenedFile::Explorer() const {
    return plugin && plugin->kind == PluginRecord::Kind::kExplorer
               ? static_cast<ExplorerPlugin*>(plugin)
               : nullptr;
}

DecoderPlugin* OpenedFile::Decoder() const {
    return plugin && plugin->kind == PluginRecord::Kind::kDecoder
               ? static_cast<DecoderPlugin*>(plugin)
               : nullptr;
}

void ExplorerPlugin::CloseHandle(std::int32_t handle) const {
    std::lock_guard guard(lock);
    fnCloseFile(handle);
}

void DecoderPlugin::CloseHandle(std::int32_t handle) const {
    std::lock_guard guard(lock);
    fnCloseFile(handle);
}

void TrackBytes::Release() {
    if (lock_.owns_lock()) {
        lock_.unlock();
    }
}

// ---------------------------------------------------------------------------------------------
// ExplorerSession

ExplorerSessionPtr ExplorerSession::Open(ExplorerPlugin& explorer, const std::string& name,
                                         const void* memory, std::uint32_t size,
                                         std::string& error) {
    auto file = std::make_unique<ExplorerSession>(explorer);
    file->path = name;
    file->memoryImage = memory;
    file->memorySize = size;
    std::lock_guard guard(explorer.lock);
    file->handle_ =
        memory ? explorer.fnLoadFileMemory(memory, size) : explorer.fnLoadFile(name.c_str());
    if (file->handle_ == FOGBELL_NO_HANDLE) {
        error = FailedOpenText(explorer.ErrorText(kLoadFailed), name, memory, size);
        return nullptr;
    }
    if (memory == nullptr) {
        // An explorer's text after a successful open is "OK" unless it had to mend the file.
        if (std::string text = explorer.ErrorText(kOk); text != kOk) {
            file->openNotice = std::move(text);
        }
    }
    return file;
}

ExplorerSessionPtr ExplorerSession::OpenBytes(const void* data, std::uint32_t size,
                                              std::string& error) const {
    return Open(AsExplorer(), path, data, size, error);
}

void ExplorerSession::Exclusively(const std::function<void()>& body) const {
    std::lock_guard guard(Plugin().lock);
    body();
}

template <class Visit>
bool ExplorerSession::VisitNames(std::optional<std::string>& text, Visit&& visit) const {
    const ExplorerPlugin& explorer = Plugin();
    if (!IsOpen()) {
        return false;
    }
    std::lock_guard guard(explorer.lock);
    char** names = explorer.fnGetListFiles(handle_);
    if (names == nullptr) {
        text = explorer.LastText();
        return false;
    }
    // An empty name is a track like any other: only null ends the list, so that an empty name
    // never hides itself and every track after it.
    char** end = names;
    while (*end != nullptr) {
        ++end;
    }
    visit(names, end);
    return true;
}

PluginAnswer<std::optional<std::vector<std::string>>> ExplorerSession::ListNames() const {
    PluginAnswer<std::optional<std::vector<std::string>>> answer;
    VisitNames(answer.text, [&](char** begin, char** end) { answer.value.emplace(begin, end); });
    return answer;
}

PluginAnswer<bool> ExplorerSession::ListNames(PackedNames& names) const {
    PluginAnswer<bool> answer;
    names.Clear();
    answer.value = VisitNames(answer.text, [&](char** begin, char** end) {
        std::size_t bytes = 0;
        for (char** p = begin; p != end; ++p) {
            bytes += std::strlen(*p);
        }
        names.Reserve(static_cast<std::size_t>(end - begin), bytes);
        for (char** p = begin; p != end; ++p) {
            names.Add(*p);
        }
    });
    return answer;
}

std::optional<std::uint32_t> ExplorerSession::Length(const std::string& track) const {
    const ExplorerPlugin& explorer = Plugin();
    if (explorer.fnGetLengthFile == nullptr) {
        return std::nullopt;
    }
    std::lock_guard guard(explorer.lock);
    return explorer.fnGetLengthFile(handle_, track.c_str());
}

std::uint32_t ExplorerSession::DamagedCount() const {
    const ExplorerPlugin& explorer = Plugin();
    if (explorer.fnGetDamagedCount == nullptr || !IsOpen()) {
        return 0;
    }
    std::lock_guard guard(explorer.lock);
    return explorer.fnGetDamagedCount(handle_);
}

bool ExplorerSession::IsDamaged(const std::string& track) const {
    const ExplorerPlugin& explorer = Plugin();
    if (explorer.fnIsTrackDamaged == nullptr || !IsOpen()) {
        return false;
    }
    std::lock_guard guard(explorer.lock);
    return explorer.fnIsTrackDamaged(handle_, track.c_str()) == 1;
}

TrackBytes ExplorerSession::Track(const std::string& track) const {
    const ExplorerPlugin& explorer = Plugin();
    TrackBytes bytes;
    bytes.lock_ = std::unique_lock(explorer.lock);
    bytes.data_ = explorer.fnGetFilePointer(handle_, track.c_str(), &bytes.size_);
    if (bytes.data_ == nullptr) {
        bytes.text_ = explorer.LastText();
        bytes.size_ = 0;
        bytes.Release();
    }
    return bytes;
}

PluginAnswer<bool> ExplorerSession::Extract(const std::string& track,
                                            const std::string& outPath) const {
    const ExplorerPlugin& explorer = Plugin();
    PluginAnswer<bool> answer;
    std::lock_guard guard(explorer.lock);
    answer.value = explorer.fnExtractFile(handle_, track.c_str(), outPath.c_str()) != 0;
    if (!answer.value) {
        answer.text = explorer.LastText();
    }
    return answer;
}

PluginAnswer<bool> ExplorerSession::Replace(const std::string& track,
                                            const std::string& file) const {
    const ExplorerPlugin& explorer = Plugin();
    PluginAnswer<bool> answer;
    if (explorer.fnReplaceFile == nullptr) {
        return answer;
    }
    std::lock_guard guard(explorer.lock);
    answer.value = explorer.fnReplaceFile(handle_, track.c_str(), file.c_str()) != 0;
    answer.text = explorer.LastText();
    return answer;
}

PluginAnswer<bool> ExplorerSession::MeasureRoom(const std::string& track, const std::string& file,
                                                std::uint32_t& needed, std::uint32_t& room) const {
    const ExplorerPlugin& explorer = Plugin();
    PluginAnswer<bool> answer;
    if (explorer.fnGetRoomFile == nullptr) {
        return answer;
    }
    std::lock_guard guard(explorer.lock);
    answer.value =
        explorer.fnGetRoomFile(handle_, track.c_str(), file.c_str(), &needed, &room) != 0;
    if (!answer.value) {
        answer.text = explorer.LastText();
    }
    return answer;
}

PluginAnswer<bool> ExplorerSession::Rebuild(const std::string& track, const std::string& file,
                                            const std::string& outPath) const {
    const ExplorerPlugin& explorer = Plugin();
    PluginAnswer<bool> answer;
    if (explorer.fnRebuildFile == nullptr) {
        return answer;
    }
    std::lock_guard guard(explorer.lock);
    answer.value =
        explorer.fnRebuildFile(handle_, track.c_str(), file.c_str(), outPath.c_str()) != 0;
    if (!answer.value) {
        answer.text = explorer.LastText();
    }
    return answer;
}

namespace {

// Pointers to the texts, for an entry point that takes an array of them (valid while texts is).
std::vector<const char*> CStrings(const std::vector<std::string>& texts) {
    std::vector<const char*> pointers;
    pointers.reserve(texts.size());
    for (const std::string& text : texts) {
        pointers.push_back(text.c_str());
    }
    return pointers;
}

}  // namespace

PluginAnswer<bool> ExplorerSession::ReplaceMany(const std::vector<std::string>& tracks,
                                                const std::vector<std::string>& files) const {
    const ExplorerPlugin& explorer = Plugin();
    PluginAnswer<bool> answer;
    if (explorer.fnReplaceFiles == nullptr || tracks.size() != files.size()) {
        return answer;
    }
    const std::vector<const char*> names = CStrings(tracks);
    const std::vector<const char*> paths = CStrings(files);
    std::lock_guard guard(explorer.lock);
    answer.value = explorer.fnReplaceFiles(handle_, static_cast<std::uint32_t>(names.size()),
                                           names.data(), paths.data()) != 0;
    answer.text = explorer.LastText();
    return answer;
}

PluginAnswer<std::optional<std::uint64_t>> ExplorerSession::TrackOffset(
    const std::string& track) const {
    const ExplorerPlugin& explorer = Plugin();
    PluginAnswer<std::optional<std::uint64_t>> answer;
    if (explorer.fnGetTrackOffset == nullptr) {
        return answer;
    }
    std::lock_guard guard(explorer.lock);
    std::uint64_t offset = 0;
    if (explorer.fnGetTrackOffset(handle_, track.c_str(), &offset) != 0) {
        answer.value = offset;
    } else {
        answer.text = explorer.LastText();
    }
    return answer;
}

PluginAnswer<bool> ExplorerSession::ReplaceManyWithin(const std::vector<std::string>& tracks,
                                                      const std::vector<std::string>& files,
                                                      const std::string& filePath,
                                                      std::uint64_t offset) const {
    const ExplorerPlugin& explorer = Plugin();
    PluginAnswer<bool> answer;
    if (explorer.fnReplaceFilesWithin == nullptr || tracks.size() != files.size()) {
        return answer;
    }
    const std::vector<const char*> names = CStrings(tracks);
    const std::vector<const char*> paths = CStrings(files);
    std::lock_guard guard(explorer.lock);
    answer.value =
        explorer.fnReplaceFilesWithin(handle_, static_cast<std::uint32_t>(names.size()),
                                      names.data(), paths.data(), filePath.c_str(), offset) != 0;
    answer.text = explorer.LastText();
    return answer;
}

PluginAnswer<bool> ExplorerSession::RebuildMany(const std::vector<std::string>& tracks,
                                                const std::vector<std::string>& files,
                                                const std::string& outPath) const {
    const ExplorerPlugin& explorer = Plugin();
    PluginAnswer<bool> answer;
    if (explorer.fnRebuildFiles == nullptr || tracks.size() != files.size()) {
        return answer;
    }
    const std::vector<const char*> names = CStrings(tracks);
    const std::vector<const char*> paths = CStrings(files);
    std::lock_guard guard(explorer.lock);
    answer.value = explorer.fnRebuildFiles(handle_, static_cast<std::uint32_t>(names.size()),
                                           names.data(), paths.data(), outPath.c_str()) != 0;
    if (!answer.value) {
        answer.text = explorer.LastText();
    }
    return answer;
}

// ---------------------------------------------------------------------------------------------
// DecoderSession

DecoderSessionPtr DecoderSession::Open(DecoderPlugin& decoder, const std::string& path,
                                       const void* memory, std::uint32_t size,
                                       std::int32_t channels, std::int32_t rate,
                                       std::string& error) {
    auto file = std::make_unique<DecoderSession>(decoder);
    file->memoryImage = memory;
    file->memorySize = size;
    if (memory != nullptr && decoder.fnLoadFileMemory == nullptr) {
        // The plug-in's last text would belong to some earlier, unrelated call.
        error = kLoadFailed;
        return nullptr;
    }
    std::lock_guard guard(decoder.lock);
    file->handle_ = memory ? decoder.fnLoadFileMemory(channels, rate, memory, size)
                           : decoder.fnLoadFile(channels, rate, path.c_str());
    if (file->handle_ == FOGBELL_NO_HANDLE) {
        error = FailedOpenText(decoder.ErrorText(kLoadFailed), path, memory, size);
        return nullptr;
    }
    return file;
}

PluginAnswer<std::optional<WAVEFORMATEX>> DecoderSession::Format(FnGetFormat entry) const {
    const DecoderPlugin& decoder = Plugin();
    PluginAnswer<std::optional<WAVEFORMATEX>> answer;
    if (entry == nullptr) {
        return answer;
    }
    std::lock_guard guard(decoder.lock);
    if (const WAVEFORMATEX* format = entry(handle_)) {
        answer.value = *format;
    } else {
        answer.text = decoder.LastText();
    }
    return answer;
}

PluginAnswer<std::optional<WAVEFORMATEX>> DecoderSession::SourceFormat() const {
    return Format(Plugin().fnGetFormatSource);
}

PluginAnswer<std::optional<WAVEFORMATEX>> DecoderSession::OutputFormat() const {
    return Format(Plugin().fnGetFormatOut);
}

std::optional<std::uint32_t> DecoderSession::SizeData() const {
    const DecoderPlugin& decoder = Plugin();
    if (decoder.fnGetSizeData == nullptr) {
        return std::nullopt;
    }
    std::lock_guard guard(decoder.lock);
    return decoder.fnGetSizeData(handle_);
}

std::optional<std::uint32_t> DecoderSession::Position() const {
    const DecoderPlugin& decoder = Plugin();
    if (decoder.fnGetCurrPos == nullptr) {
        return std::nullopt;
    }
    std::lock_guard guard(decoder.lock);
    return decoder.fnGetCurrPos(handle_);
}

bool DecoderSession::CanDecode() const {
    return Plugin().fnDecodeNext != nullptr;
}

const PcmBlock* DecoderSession::DecodeNext() const {
    const DecoderPlugin& decoder = Plugin();
    if (decoder.fnDecodeNext == nullptr) {
        return nullptr;
    }
    std::lock_guard guard(decoder.lock);
    return decoder.fnDecodeNext(handle_);
}

bool DecoderSession::Reset() const {
    const DecoderPlugin& decoder = Plugin();
    if (decoder.fnResetFile == nullptr) {
        return false;
    }
    std::lock_guard guard(decoder.lock);
    decoder.fnResetFile(handle_);
    return true;
}

std::optional<LoopPoints> DecoderSession::Loop() const {
    const DecoderPlugin& decoder = Plugin();
    if (decoder.fnGetLoopPoints == nullptr) {
        return std::nullopt;
    }
    LoopPoints loop;
    std::lock_guard guard(decoder.lock);
    if (decoder.fnGetLoopPoints(handle_, &loop.start, &loop.end) != 1 || loop.start >= loop.end) {
        return std::nullopt;  // a decoder's answer that breaks its own rule is no loop
    }
    return loop;
}

bool DecoderSession::CanSeek() const {
    return Plugin().fnSeekSample != nullptr;
}

bool DecoderSession::Seek(std::uint32_t sample) const {
    const DecoderPlugin& decoder = Plugin();
    if (decoder.fnSeekSample == nullptr) {
        return false;
    }
    std::lock_guard guard(decoder.lock);
    return decoder.fnSeekSample(handle_, sample) == 1;
}

}  // namespace fogbell
