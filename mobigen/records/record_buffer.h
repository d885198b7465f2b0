#pragma once

// Append-only buffer for MOBI structures: every multi-byte value is big-endian.

#include <cstdint>
#include <string>
#include <string_view>

namespace mobigen {

constexpr std::uint32_t kMobiNotSet = 0xFFFFFFFFu;

class MobiBuffer {
public:
    void u8(std::uint8_t value) { data_.push_back(static_cast<char>(value)); }
    void u16(std::uint16_t value) {
        u8(static_cast<std::uint8_t>(value >> 8));
        u8(static_cast<std::uint8_t>(value));
    }
    void u32(std::uint32_t value) {
        u16(static_cast<std::uint16_t>(value >> 16));
        u16(static_cast<std::uint16_t>(value));
    }
    void bytes(std::string_view text) { data_.append(text.data(), text.size()); }
    void zeros(std::size_t count) { data_.append(count, '\0'); }
    void padTo(std::size_t multiple) {
        if (data_.size() % multiple != 0) zeros(multiple - data_.size() % multiple);
    }
    // Forward varint: 7-bit groups, most significant first, the last byte marked by 0x80.
    void forwardVarint(std::uint32_t value) {
        char groups[5];
        int count = 0;
        do {
            groups[count++] = static_cast<char>(value & 0x7F);
            value >>= 7;
        } while (value != 0);
        groups[0] = static_cast<char>(groups[0] | 0x80);
        while (count > 0) data_.push_back(groups[--count]);
    }
    void patchU32(std::size_t offset, std::uint32_t value) {
        for (int i = 3; i >= 0; --i, value >>= 8)
            data_[offset + static_cast<std::size_t>(i)] = static_cast<char>(value & 0xFF);
    }

    std::size_t size() const { return data_.size(); }
    const std::string& view() const { return data_; }
    std::string take() { return std::move(data_); }

private:
    std::string data_;
};

}  // namespace mobigen
