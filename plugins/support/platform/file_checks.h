// The checks of a path that entry points make before they open a file, with the texts they
// leave.
#pragma once

#include <cstdint>

namespace fogbell::plugin {

// 1 when path names something that exists; otherwise 0 with "NULL file pointer.", "Empty file
// name." or "File %s not exists.".
int CheckFileName(const char* path);
// CheckFileName, then the file's size (saturated at 2^32 - 1); 0 for a failed check or an
// empty file (the text is then left alone).
std::uint32_t GetFileLength(const char* path);

}  // namespace fogbell::plugin
