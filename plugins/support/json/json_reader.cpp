#include "json_reader.h"

#include <cstdio>
#include <limits>

#include "text/ascii_text.h"

namespace fogbell::json {
namespace {

constexpr std::uint32_t kLargestByteEscape = 0xFF;  // \u00XX reads as the byte XX
constexpr std::uint32_t kSurrogateFirst = 0xD800;
constexpr std::uint32_t kSurrogateLast = 0xDFFF;

class Reader {
  public:
    Reader(std::string_view text, std::string& error) : text_(text), error_(error) {}

    // The one value of the whole text.
    bool ReadDocument(Value& out) {
        if (!ReadValue(out, 0)) {
            return false;
        }
        SkipSpace();
        return at_ == text_.size() || Fail("text after the value");
    }

  private:
    bool Fail(const char* what) {
        error_ = "at byte " + std::to_string(at_) + ": " + what;
        return false;
    }
    void SkipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }
    bool Take(char c) {
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool TakeWord(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) {
            return false;
        }
        at_ += word.size();
        return true;
    }

    bool ReadValue(Value& out, int depth) {
        SkipSpace();
        if (at_ >= text_.size()) {
            return Fail("the text ends where a value belongs");
        }
        const char c = text_[at_];
        if (c == '{' || c == '[') {
            if (depth >= kDeepestNesting) {
                return Fail("nested too deeply");
            }
            return c == '{' ? ReadObject(out, depth + 1) : ReadArray(out, depth + 1);
        }
        if (c == '"') {
            out.type = Value::Type::kString;
            return ReadString(out.text);
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            out.type = Value::Type::kInteger;
            return ReadInteger(out.integer);
        }
        if (TakeWord("true") || TakeWord("false")) {
            out.type = Value::Type::kBool;
            out.boolean = c == 't';
            return true;
        }
        if (TakeWord("null")) {
            out.type = Value::Type::kNull;
            return true;
        }
        return Fail("not a JSON value");
    }

    bool ReadObject(Value& out, int depth) {
        out.type = Value::Type::kObject;
        ++at_;  // '{'
        if (Take('}')) {
            return true;
        }
        do {
            SkipSpace();
            std::string key;
            if (at_ >= text_.size() || text_[at_] != '"' || !ReadString(key)) {
                return error_.empty() ? Fail("an object's key must be a string") : false;
            }
            if (!Take(':')) {
                return Fail("':' missing after a key");
            }
            Value member;
            if (!ReadValue(member, depth)) {
                return false;
            }
            out.keys.push_back(std::move(key));
            out.values.push_back(std::move(member));
        } while (Take(','));
        return Take('}') || Fail("',' or '}' missing in an object");
    }

    bool ReadArray(Value& out, int depth) {
        out.type = Value::Type::kArray;
        ++at_;  // '['
        if (Take(']')) {
            return true;
        }
        do {
            Value item;
            if (!ReadValue(item, depth)) {
                return false;
            }
            out.items.push_back(std::move(item));
        } while (Take(','));
        return Take(']') || Fail("',' or ']' missing in an array");
    }

    bool ReadInteger(std::int64_t& out) {
        const bool negative = text_[at_] == '-';
        at_ += negative ? 1 : 0;
        const std::size_t first = at_;
        std::uint64_t magnitude = 0;
        const std::uint64_t limit =
            negative ? std::uint64_t{std::numeric_limits<std::int64_t>::max()} + 1
                     : std::uint64_t{std::numeric_limits<std::int64_t>::max()};
        for (; at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9'; ++at_) {
            const auto digit = static_cast<std::uint64_t>(text_[at_] - '0');
            if (magnitude > (limit - digit) / 10) {
                return Fail("a number too large");
            }
            magnitude = magnitude * 10 + digit;
        }
        if (at_ == first) {
            return Fail("a number without digits");
        }
        if (at_ < text_.size() && (text_[at_] == '.' || text_[at_] == 'e' || text_[at_] == 'E')) {
            return Fail("only whole numbers are read");
        }
        out = negative ? static_cast<std::int64_t>(0 - magnitude)
                       : static_cast<std::int64_t>(magnitude);
        return true;
    }

    bool ReadHex4(std::uint32_t& out) {
        if (text_.size() - at_ < 4) {
            return Fail("a \\u escape cut short");
        }
        out = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            const char c = text_[at_];
            const int digit = HexDigitValue(c);
            if (digit < 0) {
                return Fail("a \\u escape with a digit that is not hexadecimal");
            }
            out = out * 16 + static_cast<std::uint32_t>(digit);
        }
        return true;
    }

    // Appends a \u escape's character: one byte below U+0100, else UTF-8 (no surrogates).
    bool AppendEscaped(std::uint32_t code, std::string& out) {
        if (code <= kLargestByteEscape) {
            out.push_back(static_cast<char>(code));
        } else if (code >= kSurrogateFirst && code <= kSurrogateLast) {
            return Fail("a \\u escape of a surrogate");
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        return true;
    }

    bool ReadString(std::string& out) {
        ++at_;  // '"'
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return Fail("a control byte inside a string");
            }
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (at_ >= text_.size()) {
                break;
            }
            const char escape = text_[at_++];
            static constexpr std::string_view kFrom = "\"\\/bfnrt";
            static constexpr std::string_view kTo = "\"\\/\b\f\n\r\t";
            if (const std::size_t i = kFrom.find(escape); i != std::string_view::npos) {
                out.push_back(kTo[i]);
            } else if (escape == 'u') {
                std::uint32_t code = 0;
                if (!ReadHex4(code) || !AppendEscaped(code, out)) {
                    return false;
                }
            } else {
                return Fail("an unknown escape in a string");
            }
        }
        return Fail("a string without its closing quote");
    }

    std::string_view text_;
    std::string& error_;
    std::size_t at_ = 0;
};

}  // namespace

const Value* Value::Find(std::string_view key) const {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] == key) {
            return &values[i];
        }
    }
    return nullptr;
}

std::optional<Value> Parse(std::string_view text, std::string& error) {
    error.clear();
    Value value;
    Reader reader(text, error);
    if (!reader.ReadDocument(value)) {
        return std::nullopt;
    }
    return value;
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte > 0x7E) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Write(const Value& value) {
    switch (value.type) {
        case Value::Type::kNull:
            return "null";
        case Value::Type::kBool:
            return value.boolean ? "true" : "false";
        case Value::Type::kInteger:
            return std::to_string(value.integer);
        case Value::Type::kString:
            return Quoted(value.text);
        case Value::Type::kArray: {
            std::string text = "[";
            for (std::size_t i = 0; i < value.items.size(); ++i) {
                text += (i == 0 ? "" : ",") + Write(value.items[i]);
            }
            return text + "]";
        }
        case Value::Type::kObject: {
            std::string text = "{";
            for (std::size_t i = 0; i < value.keys.size(); ++i) {
                text += (i == 0 ? "" : ",") + Quoted(value.keys[i]) + ":" + Write(value.values[i]);
            }
            return text + "}";
        }
    }
    return "null";
}

bool ReadInteger(const Value& object, std::string_view key, std::int64_t low, std::int64_t high,
                 std::int64_t& out, std::string& error) {
    const Value* value = object.Find(key);
    if (value == nullptr || value->type != Value::Type::kInteger) {
        error = "\"" + std::string(key) + "\" is missing or not a whole number";
        return false;
    }
    if (value->integer < low || value->integer > high) {
        error = "\"" + std::string(key) + "\" is " + std::to_string(value->integer) + ", outside " +
                std::to_string(low) + ".." + std::to_string(high);
        return false;
    }
    out = value->integer;
    return true;
}

bool ReadU32(const Value& object, std::string_view key, std::uint32_t high, std::uint32_t& out,
             std::string& error) {
    std::int64_t value = 0;
    if (!ReadInteger(object, key, 0, high, value, error)) {
        return false;
    }
    out = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace fogbell::json
