#include "host/core/ini_file.h"

#include "host/core/ascii_text.h"
#include "host/core/native_path.h"

#include <algorithm>
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

std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\''))) {
        return value.substr(1, value.size() - 2);
    }
    return value;
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
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines_) {
        out << line << "\r\n";
    }
    out.close();
    return static_cast<bool>(out);
}

std::size_t IniFile::FindSection(const std::string& section) const {
    std::string name;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (SectionName(lines_[i], name) && EqualIgnoringAsciiCase(name, section)) {
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
        if (KeyValue(lines_[i], lineKey, value) && EqualIgnoringAsciiCase(lineKey, key)) {
            return Unquote(value);
        }
    }
    return "";
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    const std::string line = key + "=" + value;
    std::size_t header = FindSection(section);
    if (header == kNone) {
        lines_.push_back("[" + section + "]");
        lines_.push_back(line);
        return;
    }
    std::string name, lineKey, oldValue;
    std::size_t end = header + 1;
    for (; end < lines_.size() && !SectionName(lines_[end], name); ++end) {
        if (KeyValue(lines_[end], lineKey, oldValue) && EqualIgnoringAsciiCase(lineKey, key)) {
            lines_[end] = line;
            return;
        }
    }
    // After the section's last non-blank line.
    while (end > header + 1 && Trim(lines_[end - 1]).empty()) {
        --end;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(end), line);
}

}  // namespace fogbell
