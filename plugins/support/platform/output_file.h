// Files that plug-ins write: extracted tracks.
#pragma once

#include <cstddef>
#include <cstdio>

namespace fogbell::plugin {

// A file created for writing ("wb": replaces an existing file). Closed when the object goes.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file; false when it cannot be created. Sets no text.
    bool Create(const char* path);
    // Appends size bytes; false once any write has failed.
    bool Write(const void* data, std::size_t size);
    // Writes what is buffered and flushes the file to disk; false once any write has failed.
    bool Sync();
    // Closes the file; false when any write or the close failed.
    bool Close();

  private:
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

enum class WriteResult { kOk, kCreateFailed, kWriteFailed };

// Writes size bytes to a new file at path. Sets no text: callers report in their own words.
WriteResult WriteWholeFile(const char* path, const void* data, std::size_t size);

}  // namespace fogbell::plugin
