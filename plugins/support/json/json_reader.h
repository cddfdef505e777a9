// A small reader and writer for the JSON that layouts and manifests use: objects, arrays,
// strings, integers, booleans and null (no fractions or exponents). The text is user-editable
// input: every read is bounded by the text's length, nesting is bounded, and integers that do
// not fit 64 bits are refused, never wrapped.
//
// Strings are byte strings: "\uXXXX" escapes below U+0100 read as that one byte (so that a name
// holding any byte goes through unchanged), higher ones as UTF-8; other bytes are kept as they
// are. No dependencies: compiled into the explorers and the command line alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fogbell::json {

// Objects and arrays nest at most this deep.
inline constexpr int kDeepestNesting = 32;

struct Value {
    enum class Type { kNull, kBool, kInteger, kString, kArray, kObject };
    Type type = Type::kNull;
    bool boolean = false;
    std::int64_t integer = 0;
    std::string text;
    std::vector<Value> items;  // kArray
    // kObject: the members' keys and values, in text order (two rows: a pair holding a Value
    // would need Value complete here).
    std::vector<std::string> keys;
    std::vector<Value> values;

    // The member called key of an object, or null (also for a value that is not an object).
    const Value* Find(std::string_view key) const;
    bool IsString() const { return type == Type::kString; }
    bool IsArray() const { return type == Type::kArray; }
    bool IsObject() const { return type == Type::kObject; }
};

// The value of the whole text (white space around it allowed), or nothing with a text in error
// that says where the text stops making sense ("at byte N: ...").
std::optional<Value> Parse(std::string_view text, std::string& error);

// text as a quoted JSON string: '"', '\\' and bytes below 0x20 or above 0x7E escaped ("\uXXXX"
// for one byte), so that Parse gives the same bytes back.
std::string Quoted(std::string_view text);

// The value as compact JSON text (Parse of it gives the same value back).
std::string Write(const Value& value);

// The member key of object as an integer in [low, high]; false with a text naming the key when
// it is missing, not an integer or out of range.
bool ReadInteger(const Value& object, std::string_view key, std::int64_t low, std::int64_t high,
                 std::int64_t& out, std::string& error);

// As ReadInteger, for an unsigned 32-bit field in [0, high].
bool ReadU32(const Value& object, std::string_view key, std::uint32_t high, std::uint32_t& out,
             std::string& error);

}  // namespace fogbell::json
