#include "file_checks.h"

#include <limits>

#include "file_ops.h"
#include "plugin_support.h"

namespace fogbell::plugin {

int CheckFileName(const char* path) {
    if (path == nullptr) {
        SetErrorText("NULL file pointer.");
        return 0;
    }
    if (path[0] == '\0') {
        SetErrorText("Empty file name.");
        return 0;
    }
    if (!PathExists(path)) {
        SetErrorText("File %s not exists.", path);
        return 0;
    }
    return 1;
}

std::uint32_t GetFileLength(const char* path) {
    if (!CheckFileName(path)) {
        return 0;
    }
    std::uint64_t size = 0;
    if (!FileSizeOf(path, size) || size == 0) {
        return 0;
    }
    constexpr auto kMax = std::numeric_limits<std::uint32_t>::max();
    return size > kMax ? kMax : static_cast<std::uint32_t>(size);
}

}  // namespace fogbell::plugin
