#include "cli/track_names.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "cli/cli_output.h"
#include "cli/json_text.h"
#include "host/tracks/track_listing.h"
#include "text/ascii_text.h"
#include "text/utf8_text.h"

namespace fogbell::cli {
namespace {

constexpr std::size_t kEscapeLength = 4;  // \xHH

// True when text holds \xHH at i.
bool EscapeAt(const std::string& text, std::size_t i) {
    return i + kEscapeLength <= text.size() && text[i] == '\\' && text[i + 1] == 'x' &&
           HexDigitValue(text[i + 2]) >= 0 && HexDigitValue(text[i + 3]) >= 0;
}

std::string Escape(unsigned char byte) {
    char buffer[kEscapeLength + 1];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", byte);
    return buffer;
}

bool AllDigits(const std::string& text, std::size_t from) {
    if (from >= text.size()) {
        return false;
    }
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string PrintedName(const std::string& name) {
    std::string out;
    std::size_t i = 0;
    if (!name.empty() && name[0] == '#' && AllDigits(name, 1)) {
        out += Escape('#');
        i = 1;
    }
    for (; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F || (c == '\\' && EscapeAt(name, i))) {
            out += Escape(c);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (const std::size_t n = Utf8SequenceLength(name, i); n != 0) {
            out.append(name, i, n);
            i += n - 1;
        } else {
            out += Escape(c);
        }
    }
    return out;
}

std::string NameFromArgument(const std::string& text) {
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (EscapeAt(text, i)) {
            name += static_cast<char>(HexDigitValue(text[i + 2]) * 16 + HexDigitValue(text[i + 3]));
            i += kEscapeLength - 1;
        } else {
            name += text[i];
        }
    }
    return name;
}

std::optional<std::size_t> RowReference(const std::string& text) {
    constexpr std::size_t kMaxDigits = 9;  // no overflow, far beyond any list
    if (text.empty() || text[0] != '#' || !AllDigits(text, 1) || text.size() - 1 > kMaxDigits) {
        return std::nullopt;
    }
    const std::size_t row = std::stoul(text.substr(1));
    return row == 0 ? std::nullopt : std::optional(row);
}

std::optional<std::vector<std::string>> ListedNames(const ExplorerSession& container) {
    return ListTrackNames(container);
}

bool ResolveTrack(const ExplorerSession& container, const std::string& containerPath,
                  const std::string& argument, std::string& name, std::string& error) {
    if (!argument.empty() && argument[0] == '#' && AllDigits(argument, 1)) {
        const std::optional<std::size_t> row = RowReference(argument);
        const auto names = ListedNames(container);
        if (!row || !names || *row > names->size()) {
            error = "no row " + argument + " (rows count from #1 to #" +
                    std::to_string(names ? names->size() : 0) + ")";
            return false;
        }
        name = (*names)[*row - 1];
        return true;
    }
    name = NameFromArgument(argument);
    const auto names = ListedNames(container);
    if (names && std::none_of(names->begin(), names->end(), [&name](const std::string& listed) {
            return EqualNoCaseAscii(listed, name);
        })) {
        error = "no such track in " + PrintedName(containerPath) + " (`fogbell-cli list " +
                PrintedName(containerPath) + "` lists its tracks)";
        return false;
    }
    return true;
}

ChainPathReader TrackArguments(const std::string& path) {
    const std::vector<std::string> parts = SplitChainPath(path);
    auto level = std::make_shared<std::size_t>(0);
    auto resolve = [parts, level](const ExplorerSession& parent, const std::string& part,
                                  std::string& track, std::string& error) {
        // The parent of the n-th TRACK part is the chain up to the part before it.
        *level += 1;
        std::string parentPath = parts.front();
        for (std::size_t i = 1; i < *level && i < parts.size(); ++i) {
            parentPath += "::" + parts[i];
        }
        return ResolveTrack(parent, parentPath, part, track, error);
    };
    return ChainPathReader{resolve, PrintedName};
}

std::string JsonName(const std::string& name) {
    return JsonString(PrintedName(name));
}

std::optional<std::vector<std::string>> SelectTracks(const ExplorerSession& container,
                                                     const std::string& path,
                                                     const std::vector<std::string>& arguments,
                                                     std::vector<UnknownTrack>& unknown) {
    if (arguments.empty()) {
        auto listed = container.ListNames();
        if (!listed.value) {
            Fail(path, listed.TextOr(kNoTrackList));
        } else {
            WarnDamaged(container, path, listed.value->size(), false);
        }
        return listed.value;
    }
    std::vector<std::string> names;
    for (const std::string& argument : arguments) {
        std::string name, error;
        if (!ResolveTrack(container, path, argument, name, error)) {
            if (RowReference(argument) || (!argument.empty() && argument[0] == '#')) {
                Fail(argument, error);
                return std::nullopt;
            }
            unknown.push_back({argument, error});
            continue;
        }
        names.push_back(name);
    }
    return names;
}

void WarnDamaged(const ExplorerSession& container, const std::string& path, std::size_t total,
                 bool json) {
    const std::uint32_t damaged = container.DamagedCount();
    if (damaged == 0) {
        return;
    }
    const std::string notice = DamageNotice(PrintedName(path), damaged, total);
    if (json) {
        std::fprintf(
            stderr, "{\"warning\": %s, \"path\": %s, \"damaged\": true, \"damagedTracks\": %u}\n",
            JsonString(notice).c_str(), JsonName(path).c_str(), static_cast<unsigned>(damaged));
        return;
    }
    std::fprintf(stderr, "%s: warning: %s\n", kProgram, notice.c_str());
}

}  // namespace fogbell::cli
