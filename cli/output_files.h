// Output files of the command line that never replace an existing file by accident. Each file
// is first written into a hidden staging folder inside the output folder (the same file
// system), then moved to its name: an existing file of that name is kept unless the run forces
// it. The staging folder also shows which name a plug-in gave the file it wrote (an explorer
// may change the extension of what it extracts).
#pragma once

#include <string>
#include <vector>

namespace fogbell::cli {

class StagingFolder {
  public:
    StagingFolder() = default;
    // Removes the folder with anything still in it.
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // Creates the folder inside outputDirectory; false with a text when it cannot.
    bool Create(const std::string& outputDirectory, std::string& error);
    const std::string& Path() const { return path_; }
    // Every file now in the folder, by full path, in name order.
    std::vector<std::string> Files() const;

  private:
    std::string path_;
};

// True when anything (a file, a folder, even a dangling link) has the name.
bool OutputExists(const std::string& path);

enum class PublishResult { kWritten, kKept, kFailed };

// Moves staged to target. Without force an existing target is kept (and staged removed); the
// check and the move are one step where the file system allows it. kFailed with a text.
PublishResult Publish(const std::string& staged, const std::string& target, bool force,
                      std::string& error);

}  // namespace fogbell::cli
