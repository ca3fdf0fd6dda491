#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace corvane {

// The whole content of the program file, held in one buffer that is never
// copied. Its length never changes.
class TargetBytes {
public:
    explicit TargetBytes(std::size_t size)
        : data_(std::make_unique_for_overwrite<char[]>(size)), size_(size) {}

    std::span<char> bytes() { return {data_.get(), size_}; }
    std::span<const char> bytes() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_;
};

} // namespace corvane
