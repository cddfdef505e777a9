#include "output_file.h"

#include "file_ops.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fogbell::plugin {

OutputFile::~OutputFile() {
    Close();
}

bool OutputFile::Create(const char* path) {
    Close();
    failed_ = false;
    file_ = path ? OpenStdioFile(path, "wb") : nullptr;
    return file_ != nullptr;
}

bool OutputFile::Write(const void* data, std::size_t size) {
    if (file_ == nullptr || (size != 0 && std::fwrite(data, 1, size, file_) != size)) {
        failed_ = true;
    }
    return !failed_;
}

bool OutputFile::Sync() {
    if (file_ == nullptr || std::fflush(file_) != 0) {
        failed_ = true;
        return false;
    }
#if defined(_WIN32)
    const bool flushed = _commit(_fileno(file_)) == 0;
#else
    const bool flushed = fsync(fileno(file_)) == 0;
#endif
    if (!flushed) {
        failed_ = true;
    }
    return !failed_;
}

bool OutputFile::Close() {
    if (file_ != nullptr) {
        if (std::fclose(file_) != 0) {
            failed_ = true;
        }
        file_ = nullptr;
    }
    return !failed_;
}

WriteResult WriteWholeFile(const char* path, const void* data, std::size_t size) {
    OutputFile out;
    if (!out.Create(path)) {
        return WriteResult::kCreateFailed;
    }
    out.Write(data, size);
    return out.Close() ? WriteResult::kOk : WriteResult::kWriteFailed;
}

}  // namespace fogbell::plugin
