// Names kept in one buffer, one after the other: a list of a million track names costs their
// bytes and one offset each, not a string object and an allocation each.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fogbell {

class PackedNames {
  public:
    // Room for count names of bytes bytes in all, so that adding them allocates nothing more.
    void Reserve(std::size_t count, std::size_t bytes) {
        ends_.reserve(count);
        bytes_.reserve(bytes);
    }
    void Add(std::string_view name) {
        bytes_.append(name);
        ends_.push_back(bytes_.size());
    }
    void Clear() {
        bytes_.clear();
        ends_.clear();
    }

    std::size_t Size() const { return ends_.size(); }
    bool Empty() const { return ends_.empty(); }
    // Name i (i < Size()), valid until the names change.
    std::string_view operator[](std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(bytes_).substr(begin, ends_[i] - begin);
    }

  private:
    std::string bytes_;
    std::vector<std::size_t> ends_;  // where each name ends in bytes_
};

}  // namespace fogbell
