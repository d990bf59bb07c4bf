#pragma once
// Bounds-checked access to binary data with explicit byte order.
//
// Everything we write is little-endian; CEOS products and the packed complex
// tile pixel are big-endian. File bytes are never overlaid on structs: every
// value goes through these helpers, and a read past the end throws an Error
// that names the data, the offset and the size asked for.

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/error.h"

namespace tessarin {

enum class ByteOrder { Little, Big };

namespace detail {

template <typename T>
using Unsigned = std::conditional_t<sizeof(T) == 1, std::uint8_t,
                 std::conditional_t<sizeof(T) == 2, std::uint16_t,
                 std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;

template <typename T>
T decode(const std::uint8_t* p, ByteOrder order) {
    static_assert(std::is_arithmetic_v<T>);
    using U = Unsigned<T>;
    U u = 0;
    if (order == ByteOrder::Big) {
        for (std::size_t i = 0; i < sizeof(T); ++i) u = static_cast<U>((u << 8) | p[i]);
    } else {
        for (std::size_t i = sizeof(T); i-- > 0;) u = static_cast<U>((u << 8) | p[i]);
    }
    return std::bit_cast<T>(u);
}

template <typename T>
void encode(std::uint8_t* p, T value, ByteOrder order) {
    static_assert(std::is_arithmetic_v<T>);
    using U = Unsigned<T>;
    U u = std::bit_cast<U>(value);
    if (order == ByteOrder::Big) {
        for (std::size_t i = sizeof(T); i-- > 0;) { p[i] = static_cast<std::uint8_t>(u & 0xFFu); u = static_cast<U>(u >> 8); }
    } else {
        for (std::size_t i = 0; i < sizeof(T); ++i) { p[i] = static_cast<std::uint8_t>(u & 0xFFu); u = static_cast<U>(u >> 8); }
    }
}

[[noreturn]] void throwOutOfBounds(std::string_view what, std::size_t offset, std::size_t wanted, std::size_t size);

}  // namespace detail

// Reads a value at a fixed offset of a span; throws when it does not fit.
template <typename T>
T load(std::span<const std::uint8_t> data, std::size_t offset, ByteOrder order, std::string_view what = "data") {
    if (offset > data.size() || data.size() - offset < sizeof(T))
        detail::throwOutOfBounds(what, offset, sizeof(T), data.size());
    return detail::decode<T>(data.data() + offset, order);
}

template <typename T>
void store(std::span<std::uint8_t> data, std::size_t offset, T value, ByteOrder order, std::string_view what = "data") {
    if (offset > data.size() || data.size() - offset < sizeof(T))
        detail::throwOutOfBounds(what, offset, sizeof(T), data.size());
    detail::encode<T>(data.data() + offset, value, order);
}

template <typename T> T loadBE(std::span<const std::uint8_t> d, std::size_t o) { return load<T>(d, o, ByteOrder::Big); }
template <typename T> T loadLE(std::span<const std::uint8_t> d, std::size_t o) { return load<T>(d, o, ByteOrder::Little); }

// A cursor over a byte span. Every read checks the remaining length first.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data, std::string what = "data")
        : data_(data), what_(std::move(what)) {}

    std::size_t offset() const { return pos_; }
    std::size_t size() const { return data_.size(); }
    std::size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ == data_.size(); }
    const std::string& what() const { return what_; }

    void seek(std::size_t offset) {
        if (offset > data_.size()) detail::throwOutOfBounds(what_, offset, 0, data_.size());
        pos_ = offset;
    }
    void skip(std::size_t count) { require(count); pos_ += count; }

    template <typename T> T read(ByteOrder order) {
        require(sizeof(T));
        T v = detail::decode<T>(data_.data() + pos_, order);
        pos_ += sizeof(T);
        return v;
    }
    template <typename T> T le() { return read<T>(ByteOrder::Little); }
    template <typename T> T be() { return read<T>(ByteOrder::Big); }
    std::uint8_t u8() { return read<std::uint8_t>(ByteOrder::Little); }

    std::span<const std::uint8_t> bytes(std::size_t count) {
        require(count);
        auto s = data_.subspan(pos_, count);
        pos_ += count;
        return s;
    }

    // Throws unless count more bytes are available.
    void require(std::size_t count) const {
        if (remaining() < count) detail::throwOutOfBounds(what_, pos_, count, data_.size());
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    std::string what_;
};

// Appends values to a growing buffer.
class ByteWriter {
public:
    ByteWriter() = default;

    template <typename T> void write(T value, ByteOrder order) {
        const std::size_t at = buf_.size();
        buf_.resize(at + sizeof(T));
        detail::encode<T>(buf_.data() + at, value, order);
    }
    template <typename T> void le(T value) { write<T>(value, ByteOrder::Little); }
    template <typename T> void be(T value) { write<T>(value, ByteOrder::Big); }
    void u8(std::uint8_t v) { buf_.push_back(v); }
    void bytes(std::span<const std::uint8_t> data) { buf_.insert(buf_.end(), data.begin(), data.end()); }
    void text(std::string_view s) { buf_.insert(buf_.end(), s.begin(), s.end()); }
    void fill(std::size_t count, std::uint8_t value) { buf_.insert(buf_.end(), count, value); }

    std::size_t size() const { return buf_.size(); }
    const std::vector<std::uint8_t>& buffer() const { return buf_; }
    std::vector<std::uint8_t>& buffer() { return buf_; }
    std::vector<std::uint8_t> take() { return std::move(buf_); }

private:
    std::vector<std::uint8_t> buf_;
};

}  // namespace tessarin
