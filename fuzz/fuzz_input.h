// Takes typed values off the front of a fuzzer's input; past the end everything is 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>

namespace qf::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <typename T>
    T Take() {
        T value{};
        const std::size_t n = std::min(sizeof(T), size_);
        if (n) std::memcpy(&value, data_, n);
        data_ += n;
        size_ -= n;
        return value;
    }
    bool TakeBool() { return Take<std::uint8_t>() & 1; }
    /// Up to `max` bytes as a string, length first.
    std::string TakeString(std::size_t max) {
        std::size_t n = std::min<std::size_t>({std::size_t{Take<std::uint8_t>()}, max, size_});
        std::string s(reinterpret_cast<const char*>(data_), n);
        data_ += n;
        size_ -= n;
        return s;
    }
    std::string Rest() {
        std::string s(reinterpret_cast<const char*>(data_), size_);
        data_ += size_;
        size_ = 0;
        return s;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace qf::fuzz
