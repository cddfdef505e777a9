#include "filler_runs.h"

#include <algorithm>
#include <unordered_map>

#include "text/ascii_text.h"

namespace fogbell::plugin {
namespace {

constexpr std::size_t kFillBlock = 64 * 1024;
// A stretch of one byte this long is a run of its own; as many zeros end a run of other bytes.
constexpr std::uint64_t kRepeatRun = 8;
constexpr std::uint64_t kZerosBetweenRuns = 8;
constexpr std::size_t kRunFields = 3;
constexpr char kHexDigits[] = "0123456789abcdef";

// How many times the byte at from repeats, up to end.
std::uint64_t RepeatLength(const std::uint8_t* base, std::uint64_t from, std::uint64_t end) {
    std::uint64_t at = from + 1;
    while (at < end && base[at] == base[from]) {
        ++at;
    }
    return at - from;
}

// Where a stretch of bytes written out in full, starting at from, ends: before kZerosBetweenRuns
// zeros, before kRepeatRun bytes of one other value, or at end.
std::uint64_t LiteralEnd(const std::uint8_t* base, std::uint64_t from, std::uint64_t end) {
    std::uint64_t at = from;
    while (at < end) {
        const std::uint64_t repeat = RepeatLength(base, at, end);
        if (repeat >= (base[at] == 0 ? kZerosBetweenRuns : kRepeatRun) ||
            (base[at] == 0 && at + repeat == end)) {
            return at;
        }
        at += repeat;
    }
    return end;
}

// Appends the runs of the bytes other than zero in [from, end); false past the limits.
bool RunsOfStretch(const std::uint8_t* base, std::uint64_t from, std::uint64_t end, ByteRuns& runs,
                   std::size_t& literal) {
    std::uint64_t at = from;
    while (at < end) {
        if (base[at] == 0) {
            ++at;
            continue;
        }
        ByteRun run;
        run.offset = at;
        const std::uint64_t repeat = RepeatLength(base, at, end);
        if (repeat >= kRepeatRun) {
            run.length = repeat;
            run.bytes.assign(1, base[at]);
        } else {
            run.length = LiteralEnd(base, at, end) - at;
            literal += run.length;
            if (literal > kMaxRunBytes) {
                return false;
            }
            run.bytes.assign(base + at, base + at + run.length);
        }
        at += run.length;
        runs.push_back(std::move(run));
        if (runs.size() > kMaxRuns) {
            return false;
        }
    }
    return true;
}

// The bytes of a text of hexadecimal digits; false for an odd count or another character.
bool FromHex(const std::string& text, std::vector<std::uint8_t>& bytes) {
    if (text.empty() || text.size() % 2 != 0) {
        return false;
    }
    bytes.resize(text.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = HexDigitValue(text[2 * i]);
        const int low = HexDigitValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

bool ReadRun(const json::Value& item, ByteRun& run, std::string& error) {
    const auto integer = [](const json::Value& v, std::int64_t low) {
        return v.type == json::Value::Type::kInteger && v.integer >= low &&
               v.integer <= static_cast<std::int64_t>(kLargestContainer);
    };
    if (!item.IsArray() || item.items.size() != kRunFields || !integer(item.items[0], 0) ||
        !integer(item.items[1], 1) || !item.items[2].IsString()) {
        error =
            "must be [offset, length, \"hex\"] with an offset and a length (at least 1) "
            "below 4 GiB";
        return false;
    }
    run.offset = static_cast<std::uint64_t>(item.items[0].integer);
    run.length = static_cast<std::uint64_t>(item.items[1].integer);
    if (!FromHex(item.items[2].text, run.bytes) ||
        (run.bytes.size() != 1 && run.bytes.size() != run.length)) {
        error = "\"hex\" must be its length's bytes, or one byte, in hexadecimal digits";
        return false;
    }
    if (run.offset + run.length > kLargestContainer) {
        error = "ends past 4 GiB, more than a container's offsets reach";
        return false;
    }
    return true;
}

// The index of the last span that starts at or before offset, or spans.size() when none does.
std::size_t SpanBefore(const std::vector<Span>& spans, std::uint64_t offset) {
    const auto after = std::upper_bound(spans.begin(), spans.end(), offset,
                                        [](std::uint64_t o, const Span& s) { return o < s.start; });
    return after == spans.begin() ? spans.size()
                                  : static_cast<std::size_t>(after - spans.begin()) - 1;
}

// Appends count bytes of run from its byte at skip on (its own bytes, or its one byte repeated).
void AddRunBytes(RebuiltContainer& out, const ByteRun& run, std::uint64_t skip, std::uint64_t count,
                 FillBlocks& fills) {
    if (run.bytes.size() == 1) {
        AddFill(out, count, run.bytes[0], fills);
    } else {
        const auto from = run.bytes.begin() + static_cast<std::ptrdiff_t>(skip);
        out.AddOwned(std::vector<std::uint8_t>(from, from + static_cast<std::ptrdiff_t>(count)));
    }
}

}  // namespace

void SpanMap::Add(std::uint64_t start, std::uint64_t size, std::uint64_t key) {
    if (size != 0) {
        spans.push_back({start, start + size, key});
    }
}

void AddFill(RebuiltContainer& out, std::uint64_t size, std::uint8_t fill, FillBlocks& fills) {
    if (fill == 0) {
        out.AddZeros(size);
        return;
    }
    std::vector<std::uint8_t>& block = fills.blocks[fill];
    if (block.empty()) {
        block.assign(kFillBlock, fill);
    }
    for (std::uint64_t left = size; left != 0;) {
        const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(left, kFillBlock));
        out.AddBorrowed(block.data(), step);
        left -= step;
    }
}

bool FindRuns(const std::uint8_t* base, std::uint64_t length, const SpanMap& map, ByteRuns& runs) {
    runs.clear();
    std::size_t literal = 0;
    std::uint64_t from = 0;
    const std::uint64_t end = std::min(map.end, length);
    for (const Span& span : map.spans) {
        if (!RunsOfStretch(base, from, std::min(span.start, end), runs, literal)) {
            return false;
        }
        from = std::max(from, span.end);
    }
    return RunsOfStretch(base, from, end, runs, literal);
}

std::string RunsText(const ByteRuns& runs) {
    std::string text = "[";
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const ByteRun& run = runs[i];
        text += (i == 0 ? "\n  [" : ",\n  [") + std::to_string(run.offset) + ", " +
                std::to_string(run.length) + ", \"";
        for (const std::uint8_t byte : run.bytes) {
            text += kHexDigits[byte >> 4];
            text += kHexDigits[byte & 0x0F];
        }
        text += "\"]";
    }
    return text + "]";
}

bool ReadRuns(const json::Value& layout, ByteRuns& runs, std::string& error) {
    runs.clear();
    const json::Value* value = layout.Find("bytes");
    if (value == nullptr || value->type == json::Value::Type::kNull) {
        return true;
    }
    if (!value->IsArray() || value->items.size() > kMaxRuns) {
        error = "\"bytes\" must be a list of at most " + std::to_string(kMaxRuns) + " runs";
        return false;
    }
    std::size_t literal = 0;
    for (std::size_t i = 0; i < value->items.size(); ++i) {
        ByteRun run;
        const std::string which = "\"bytes\": run " + std::to_string(i + 1) + " ";
        if (!ReadRun(value->items[i], run, error)) {
            error = which + error;
            return false;
        }
        if (!runs.empty() && run.offset < runs.back().offset + runs.back().length) {
            error = which + "starts before the run before it ends (runs go in order, apart)";
            return false;
        }
        literal += run.bytes.size() == 1 ? 0 : run.bytes.size();
        if (literal > kMaxRunBytes) {
            error = "\"bytes\" spell out more than " + std::to_string(kMaxRunBytes) + " bytes";
            return false;
        }
        runs.push_back(std::move(run));
    }
    return true;
}

bool CheckRunsInFiller(const ByteRuns& runs, const SpanMap& recorded,
                       const std::function<std::string(std::uint64_t)>& name, std::string& error) {
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const ByteRun& run = runs[i];
        const std::uint64_t end = run.offset + run.length;
        const std::string which = "\"bytes\": run " + std::to_string(i + 1) + " (offset " +
                                  std::to_string(run.offset) + ", " + std::to_string(run.length) +
                                  " bytes) ";
        if (end > recorded.end) {
            error = which + "runs past the container's end at " + std::to_string(recorded.end);
            return false;
        }
        // The span that starts last before the run's end is the only one it can meet that
        // ends after the run starts: spans are sorted and apart.
        const std::size_t k = SpanBefore(recorded.spans, end - 1);
        if (k != recorded.spans.size() && recorded.spans[k].end > run.offset) {
            error = which + "lies over " + name(recorded.spans[k].key);
            return false;
        }
    }
    return true;
}

ByteRuns MoveRuns(const ByteRuns& runs, const SpanMap& recorded, const SpanMap& packed) {
    std::unordered_map<std::uint64_t, std::size_t> packedIndex;
    for (std::size_t i = 0; i < packed.spans.size(); ++i) {
        packedIndex.emplace(packed.spans[i].key, i);
    }
    ByteRuns moved;
    for (const ByteRun& run : runs) {
        // The filler's start, as recorded and as packed: the end of the span before it, or the
        // container's start.
        const std::size_t k = SpanBefore(recorded.spans, run.offset);
        std::uint64_t recordedStart = 0;
        std::size_t next = 0;  // the packed span after the filler
        std::uint64_t packedStart = 0;
        if (k != recorded.spans.size()) {
            const auto found = packedIndex.find(recorded.spans[k].key);
            if (found == packedIndex.end()) {
                continue;  // its span holds no bytes any more
            }
            recordedStart = recorded.spans[k].end;
            packedStart = packed.spans[found->second].end;
            next = found->second + 1;
        }
        const std::uint64_t fillerEnd =
            next < packed.spans.size() ? packed.spans[next].start : packed.end;
        const std::uint64_t offset = packedStart + (run.offset - recordedStart);
        if (offset >= fillerEnd) {
            continue;
        }
        ByteRun placed;
        placed.offset = offset;
        placed.length = std::min(run.length, fillerEnd - offset);
        placed.bytes.assign(run.bytes.begin(),
                            run.bytes.size() == 1
                                ? run.bytes.end()
                                : run.bytes.begin() + static_cast<std::ptrdiff_t>(placed.length));
        moved.push_back(std::move(placed));
    }
    return moved;
}

bool OverlayRuns(const RebuiltContainer& in, const ByteRuns& runs, FillBlocks& fills,
                 RebuiltContainer& out) {
    std::size_t next = 0;  // the first run not wholly written yet
    std::uint64_t at = 0;
    for (const RebuiltContainer::Piece& piece : in.Pieces()) {
        const std::uint64_t end = at + piece.size;
        const bool filler = piece.file.empty() && piece.borrowed == nullptr;
        if (next < runs.size() && runs[next].offset < end && !filler) {
            return false;  // a member's bytes
        }
        if (!filler) {
            if (!piece.file.empty()) {
                out.AddFile(piece.file, piece.size);
            } else {
                out.AddBorrowed(piece.borrowed, piece.size);
            }
            at = end;
            continue;
        }
        // Zeros or the pack's own bytes, with the runs that fall in them written over.
        std::uint64_t cursor = at;
        const auto addPlain = [&](std::uint64_t upTo) {
            if (upTo == cursor) {
                return;
            }
            if (piece.own.empty()) {
                out.AddZeros(upTo - cursor);
            } else {
                out.AddOwned(std::vector<std::uint8_t>(
                    piece.own.begin() + static_cast<std::ptrdiff_t>(cursor - at),
                    piece.own.begin() + static_cast<std::ptrdiff_t>(upTo - at)));
            }
            cursor = upTo;
        };
        while (next < runs.size() && runs[next].offset < end) {
            const ByteRun& run = runs[next];
            const std::uint64_t from = std::max(run.offset, cursor);
            const std::uint64_t upTo = std::min(run.offset + run.length, end);
            addPlain(from);
            AddRunBytes(out, run, from - run.offset, upTo - from, fills);
            cursor = upTo;
            if (upTo < run.offset + run.length) {
                break;  // the run goes on in the next piece
            }
            ++next;
        }
        addPlain(end);
        at = end;
    }
    return next == runs.size();
}

}  // namespace fogbell::plugin
