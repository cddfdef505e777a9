// JSON string literals for names that come from containers' own bytes.
#pragma once

#include <string>

namespace fogbell::cli {

// text as a quoted JSON string. Valid UTF-8 is kept; any other byte above 0x7F is read as
// Latin-1, so the output is always valid JSON whatever the container held.
std::string JsonString(const std::string& text);

}  // namespace fogbell::cli
