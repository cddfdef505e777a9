// POSIX implementation of the file operations on UTF-8 paths (system_files.h): std::filesystem,
// which takes paths of any length here.
#include "host/system/system_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace fogbell {

namespace fs = std::filesystem;

std::filesystem::path StreamPath(const std::string& path) {
    return fs::path(path);
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool NameTaken(const std::string& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

bool CanReadFile(const std::string& path, std::string& why) {
    const int file = ::open(path.c_str(), O_RDONLY);
    if (file < 0) {
        why = std::strerror(errno);
        return false;
    }
    ::close(file);
    return true;
}

bool SizeOfFile(const std::string& path, std::uint64_t& size) {
    std::error_code error;
    const std::uintmax_t found = fs::file_size(path, error);
    if (error) {
        return false;
    }
    size = found;
    return true;
}

bool RemovePath(const std::string& path) {
    std::error_code error;
    return fs::remove(path, error);
}

void RemoveTree(const std::string& path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

bool ResolvedPath(const std::string& path, std::string& resolved, std::string& why) {
    std::error_code error;
    const fs::path found = fs::canonical(path, error);
    if (error) {
        why = error.message();
        return false;
    }
    resolved = found.string();
    return true;
}

void CopyPermissions(const std::string& from, const std::string& to) {
    std::error_code failure;
    const fs::perms perms = fs::status(from, failure).permissions();
    if (!failure) {
        fs::permissions(to, perms, failure);
    }
}

}  // namespace fogbell
