#include "host/core/output_names.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace fogbell {
namespace {

bool Refused(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || std::strchr("/\\<>:\"|?*", c) != nullptr;
}

}  // namespace

std::string SafeOutputName(const std::string& trackName) {
    std::string name = trackName;
    std::replace_if(name.begin(), name.end(), Refused, '_');
    if (name.empty()) {
        return "_";
    }
    if (name.find_first_not_of('.') == std::string::npos) {
        name.assign(name.size(), '_');
    }
    return name;
}

std::string OutputPath(const std::string& directory, const std::string& trackName,
                       const std::string& suffix) {
    std::string path = directory;
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    // Windows takes "/" as a separator too.
    const bool endsInSeparator =
        !path.empty() && (path.back() == separator || (separator == '\\' && path.back() == '/'));
    if (!endsInSeparator) {
        path += separator;
    }
    return path + SafeOutputName(trackName) + suffix;
}

}  // namespace fogbell
