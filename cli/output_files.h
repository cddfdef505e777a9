// Output files of the command line that never replace an existing file by accident. Each file
// is first written into a hidden staging folder inside the output folder (the same file
// system), then moved to its name: an existing file of that name is kept unless the run forces
// it. The staging folder also shows which name a plug-in gave the file it wrote (an explorer
// may change the extension of what it extracts).
//
// Also here: the output options of the commands that write tracks to a folder, and the report of
// what became of each file.
#pragma once

#include <CLI/CLI.hpp>
#include <cstddef>
#include <string>
#include <vector>

namespace fogbell::cli {

struct OutputOptions {
    std::string directory = ".";
    bool force = false;     // replace existing output files instead of keeping them
    bool json = false;      // one JSON document on standard output instead of one path per line
    bool manifest = false;  // extract: also write the container's manifest (commands.h)
};

// Adds -o/--output, --force and --json to command, filling options.
void AddOutputOptions(CLI::App* command, OutputOptions& options);

// The output folder exists, made with its parents when missing; false (said) when it cannot be,
// or the name is taken by a file.
bool PrepareDirectory(const std::string& directory);

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

// A plug-in's or the writer's text names the staging folder; the user knows the output folder.
std::string InOutputFolder(std::string text, const StagingFolder& staging,
                           const std::string& directory);

// Empties the staging folder after a track, whatever the plug-in left there.
void ClearStaging(const StagingFolder& staging);

// A count with its thousands grouped by commas: 10000 gives "10,000".
std::string CountText(std::size_t count);

// What became of each output file; printed as it happens, and as one JSON document at the end.
class OutputReport {
  public:
    explicit OutputReport(bool json) : json_(json) {}

    void Written(const std::string& track, const std::string& path);
    void Kept(const std::string& track, const std::string& path);
    void Failed(const std::string& track, const std::string& error);
    // Prints the JSON document (when asked for) and the count of kept files; the exit status.
    int Finish();

  private:
    void Add(const std::string& track, const char* status, const std::string& detail);
    bool json_;
    bool failed_ = false;
    std::size_t kept_ = 0;
    std::string firstKept_;  // the path of the first kept file, named when it is the only one
    std::vector<std::string> entries_;
};

}  // namespace fogbell::cli
