// The explorer session's layouts and packs (fnGetLayout, fnPackFiles).
#include <mutex>

#include "host/plugins/plugin_session.h"

namespace fogbell {

PluginAnswer<std::optional<std::string>> ExplorerSession::Layout() const {
    const ExplorerPlugin& explorer = Plugin();
    PluginAnswer<std::optional<std::string>> answer;
    if (explorer.fnGetLayout == nullptr) {
        return answer;
    }
    std::lock_guard guard(explorer.lock);
    // Copied under the lock: the text is valid only until the explorer's next layout.
    if (const char* text = explorer.fnGetLayout(handle_)) {
        answer.value = std::string(text);
    } else {
        answer.text = explorer.LastText();
    }
    return answer;
}

PluginAnswer<bool> ExplorerSession::Pack(const std::optional<std::string>& layout,
                                         const std::vector<std::string>& paths,
                                         const std::string& outPath) const {
    const ExplorerPlugin& explorer = Plugin();
    PluginAnswer<bool> answer;
    if (explorer.fnPackFiles == nullptr) {
        return answer;
    }
    std::vector<const char*> pointers;
    pointers.reserve(paths.size());
    for (const std::string& member : paths) {
        pointers.push_back(member.c_str());
    }
    std::lock_guard guard(explorer.lock);
    answer.value =
        explorer.fnPackFiles(layout ? layout->c_str() : nullptr, pointers.data(),
                             static_cast<std::uint32_t>(pointers.size()), outPath.c_str()) != 0;
    if (!answer.value) {
        answer.text = explorer.LastText();
    }
    return answer;
}

}  // namespace fogbell
