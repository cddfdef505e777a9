#include "host/app/ini_file.h"

#include "host/system/native_path.h"
#include "text/ascii_text.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fogbell {
namespace {

constexpr std::size_t kNone = std::string::npos;

std::string Trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == kNone) {
        return "";
    }
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// The section name of a "[Name]" line, or false.
bool SectionName(const std::string& line, std::string& name) {
    const std::string trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') {
        return false;
    }
    const auto close = trimmed.find(']');
    if (close == kNone) {
        return false;
    }
    name = Trim(trimmed.substr(1, close - 1));
    return true;
}

// Key and raw value of a "Key=Value" line, or false.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
    const auto equals = line.find('=');
    if (equals == kNone) {
        return false;
    }
    key = Trim(line.substr(0, equals));
    value = Trim(line.substr(equals + 1));
    return !key.empty() && key[0] != ';';
}

bool Quoted(const std::string& value) {
    return value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                                 (value.front() == '\'' && value.back() == '\''));
}

std::string Unquote(const std::string& value) {
    return Quoted(value) ? value.substr(1, value.size() - 2) : value;
}

// The text of a storable value on its line: reading trims blanks at the ends and takes off one
// pair of quotes, so a value that would lose either is wrapped in one more pair.
std::string StoredForm(const std::string& value) {
    const bool edgeBlank = !value.empty() && (value.front() == ' ' || value.back() == ' ');
    return edgeBlank || Quoted(value) ? "\"" + value + "\"" : value;
}

// A section or key name that reads back as itself and cannot end its line or its name early.
bool StorableName(const std::string& name) {
    return !name.empty() && IniFile::CanStore(name) && Trim(name) == name &&
           name.find_first_of("=[];") == kNone;
}

// The file a save replaces: the target of a symbolic link (so that the link stays), else path.
std::string ReplacedFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_symlink(PathFromUtf8(path), error)) {
        const fs::path target = fs::canonical(PathFromUtf8(path), error);
        if (!error) {
            return Utf8FromPath(target);
        }
    }
    return path;
}

}  // namespace

bool IniFile::Load(const std::string& path) {
    lines_.clear();
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in) {
        return false;
    }
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines_.push_back(line);
    }
    return true;
}

bool IniFile::Save(const std::string& path) const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return ReplaceFileContents(ReplacedFile(path), text);
}

bool IniFile::CanStore(const std::string& value) {
    return std::none_of(value.begin(), value.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

std::size_t IniFile::FindSection(const std::string& section) const {
    std::string name;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (SectionName(lines_[i], name) && EqualNoCaseAscii(name, section)) {
            return i;
        }
    }
    return kNone;
}

std::string IniFile::Get(const std::string& section, const std::string& key) const {
    const std::size_t header = FindSection(section);
    if (header == kNone) {
        return "";
    }
    std::string name, lineKey, value;
    for (std::size_t i = header + 1; i < lines_.size() && !SectionName(lines_[i], name); ++i) {
        if (KeyValue(lines_[i], lineKey, value) && EqualNoCaseAscii(lineKey, key)) {
            return Unquote(value);
        }
    }
    return "";
}

bool IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    if (!CanStore(value) || !StorableName(section) || !StorableName(key)) {
        return false;
    }
    const std::string line = key + "=" + StoredForm(value);
    std::size_t header = FindSection(section);
    if (header == kNone) {
        lines_.push_back("[" + section + "]");
        lines_.push_back(line);
        return true;
    }
    std::string name, lineKey, oldValue;
    std::size_t end = header + 1;
    for (; end < lines_.size() && !SectionName(lines_[end], name); ++end) {
        if (KeyValue(lines_[end], lineKey, oldValue) && EqualNoCaseAscii(lineKey, key)) {
            lines_[end] = line;
            return true;
        }
    }
    // After the section's last non-blank line.
    while (end > header + 1 && Trim(lines_[end - 1]).empty()) {
        --end;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(end), line);
    return true;
}

}  // namespace fogbell
