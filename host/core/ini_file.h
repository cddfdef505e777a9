// A small INI reader and writer with the text form of the classic private-profile files:
//
//   [Section]
//   Key=Value
//
// Sections and keys match without regard to case. Reading trims spaces around keys and values
// and one pair of surrounding quotes from a value; a missing key reads as "". Writing changes a
// key in place (or appends it to its section, or appends the section) and keeps every other
// line of the file, comments included.
#pragma once

#include <string>
#include <vector>

namespace fogbell {

class IniFile {
  public:
    // Reads the file; a missing or unreadable file reads as empty. False when it could not be read.
    bool Load(const std::string& path);
    // Writes the file; false when it could not be written.
    bool Save(const std::string& path) const;

    std::string Get(const std::string& section, const std::string& key) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);

  private:
    // Index of the section's header line, or npos.
    std::size_t FindSection(const std::string& section) const;
    std::vector<std::string> lines_;
};

}  // namespace fogbell
