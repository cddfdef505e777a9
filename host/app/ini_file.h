// A small INI reader and writer with the text form of the classic private-profile files:
//
//   [Section]
//   Key=Value
//
// Sections and keys match without regard to case. Reading trims spaces around keys and values
// and one pair of surrounding quotes from a value; a missing key reads as "". Writing changes a
// key in place (or appends it to its section, or appends the section) and keeps every other
// line of the file, comments included.
//
// Values are stored so that they read back exactly as they were set: an ordinary value as it
// is; one with a space at either end, or wrapped in a pair of quotes, inside one more pair of
// double quotes (which reading takes off). A value holding a control byte (CR, LF, TAB or any
// other byte below 0x20, or DEL) could start a line of its own and so forge keys: it is
// refused and the file is left as it was.
#pragma once

#include <string>
#include <vector>

namespace fogbell {

class IniFile {
  public:
    // Reads the file; a missing or unreadable file reads as empty. False when it could not be read.
    bool Load(const std::string& path);
    // Writes the whole file to a new file beside it, flushes it to disk and renames it over the
    // old one (the link's target when path is a symbolic link), keeping the old file's
    // permissions; a file without write permission is not replaced. False when any step failed;
    // the old file is then untouched and the new one removed.
    bool Save(const std::string& path) const;

    std::string Get(const std::string& section, const std::string& key) const;
    // False, changing nothing, when the value (or the section or key) cannot be stored on a
    // line of its own: see above.
    bool Set(const std::string& section, const std::string& key, const std::string& value);

    // True when value can be stored (it holds no control byte).
    static bool CanStore(const std::string& value);

  private:
    // Index of the section's header line, or npos.
    std::size_t FindSection(const std::string& section) const;
    std::vector<std::string> lines_;
};

}  // namespace fogbell
