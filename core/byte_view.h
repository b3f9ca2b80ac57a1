// Bounded little-endian access to bytes read from or written to a file.
//
// Every multi-byte number in an IMG file and its subfiles is little-endian and
// every offset in it comes from the file itself, so nothing may be trusted: a
// ByteView answers 0 (or false) for any read that does not lie wholly inside
// it, and a ByteSpan refuses any write that does not. Ranges are tested in
// 64-bit arithmetic, so offset + size never wraps.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

class ByteView {
public:
    constexpr ByteView() = default;
    constexpr ByteView(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
    ByteView(const std::vector<uint8_t>& bytes) : data_(bytes.data()), size_(bytes.size()) {}

    size_t size() const { return size_; }
    const uint8_t* data() const { return data_; }

    // True when [offset, offset + n) lies inside the view.
    bool contains(uint64_t offset, uint64_t n) const { return offset <= size_ && n <= size_ - offset; }

    uint8_t u8(uint64_t offset) const { return static_cast<uint8_t>(little_endian(offset, 1)); }
    uint16_t u16(uint64_t offset) const { return static_cast<uint16_t>(little_endian(offset, 2)); }
    uint32_t u24(uint64_t offset) const { return little_endian(offset, 3); }
    uint32_t u32(uint64_t offset) const { return little_endian(offset, 4); }

    // Copies count u16 values from offset into out; false, with nothing
    // copied, unless they all lie inside the view. For lists of numbers that
    // are walked whole (a FAT entry's block numbers).
    bool u16_run(uint64_t offset, uint16_t* out, size_t count) const
    {
        if (count > size_ / 2 || !contains(offset, 2 * uint64_t(count)))
            return false;
        const uint8_t* p = data_ + offset;
        if constexpr (std::endian::native == std::endian::little) {
            memcpy(out, p, 2 * count);
        } else {
            for (size_t i = 0; i < count; ++i)
                out[i] = static_cast<uint16_t>(p[2 * i] | p[2 * i + 1] << 8);
        }
        return true;
    }

    // True when the bytes at offset are exactly text (no NUL is compared).
    bool matches(uint64_t offset, std::string_view text) const
    {
        return contains(offset, text.size()) &&
               (text.empty() || memcmp(data_ + offset, text.data(), text.size()) == 0);
    }

    // The part [offset, offset + n) cut to what the view holds (empty when
    // offset lies past its end).
    ByteView sub(uint64_t offset, uint64_t n) const
    {
        if (offset >= size_)
            return ByteView();
        uint64_t left = size_ - offset;
        return ByteView(data_ + offset, static_cast<size_t>(n < left ? n : left));
    }

private:
    uint32_t little_endian(uint64_t offset, uint32_t n) const
    {
        if (!contains(offset, n))
            return 0;
        uint32_t value = 0;
        for (uint32_t i = n; i-- > 0;)
            value = value << 8 | data_[offset + i];
        return value;
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

class ByteSpan {
public:
    constexpr ByteSpan() = default;
    constexpr ByteSpan(uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
    ByteSpan(std::vector<uint8_t>& bytes) : data_(bytes.data()), size_(bytes.size()) {}

    size_t size() const { return size_; }
    uint8_t* data() const { return data_; }
    ByteView view() const { return ByteView(data_, size_); }
    bool contains(uint64_t offset, uint64_t n) const { return offset <= size_ && n <= size_ - offset; }

    bool put_u8(uint64_t offset, uint8_t value) const { return put_little_endian(offset, value, 1); }
    bool put_u16(uint64_t offset, uint16_t value) const { return put_little_endian(offset, value, 2); }
    bool put_u24(uint64_t offset, uint32_t value) const { return put_little_endian(offset, value, 3); }
    bool put_u32(uint64_t offset, uint32_t value) const { return put_little_endian(offset, value, 4); }
    bool put_bytes(uint64_t offset, const void* bytes, size_t n) const
    {
        if (!contains(offset, n))
            return false;
        if (n)
            memcpy(data_ + offset, bytes, n);
        return true;
    }

private:
    bool put_little_endian(uint64_t offset, uint32_t value, uint32_t n) const
    {
        if (!contains(offset, n))
            return false;
        for (uint32_t i = 0; i < n; ++i)
            data_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
        return true;
    }

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};
