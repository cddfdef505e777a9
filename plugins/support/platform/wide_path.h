// Paths inside the plug-ins are UTF-8 and are converted only where they meet the system, by the
// same rules as the host's (text/utf8_text.h, text/windows_path.h), so that a name reaches the
// same file from either side. Header-only; Windows builds only.
#pragma once

#if defined(_WIN32)

#include <string>
#include <string_view>

#include "text/utf8_text.h"
#include "text/windows_path.h"

namespace fogbell::plugin {

// A UTF-8 path as the wide Win32 calls take it at any length (SystemWidePath); empty for none.
inline std::wstring SystemPathFromUtf8(const char* text) {
    return text == nullptr ? std::wstring() : SystemWidePath(std::string_view(text));
}

}  // namespace fogbell::plugin

#endif
