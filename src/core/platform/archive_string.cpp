#include "platform/archive_string.h"

#include "platform/format.h"

namespace tessarin {

namespace {

constexpr std::uint8_t kLongLengthByte = 0xFF;
constexpr std::uint16_t kUnicodeMarker = 0xFFFE;
constexpr std::uint16_t kLongLengthWord = 0xFFFF;
constexpr std::uint32_t kLongLengthDword = 0xFFFFFFFFu;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::u16string utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= n;
            char32_t v = c & (0x7F >> len);
            for (std::size_t k = 1; ok && k < len; ++k) {
                if ((s[i + k] & 0xC0) != 0x80) ok = false;
                else v = (v << 6) | (s[i + k] & 0x3F);
            }
            const char32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
            if (ok && v >= minimum && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) cp = v;
            else len = 1;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf16ToUtf8(const std::u16string& utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        appendUtf8(out, cp);
    }
    return out;
}

void writeArchiveString(ByteWriter& out, const std::string& utf8) {
    const std::u16string text = utf8ToUtf16(utf8);
    const std::size_t n = text.size();
    out.u8(kLongLengthByte);
    out.le<std::uint16_t>(kUnicodeMarker);
    if (n < kLongLengthByte) {
        out.u8(static_cast<std::uint8_t>(n));
    } else if (n < kUnicodeMarker) {
        out.u8(kLongLengthByte);
        out.le<std::uint16_t>(static_cast<std::uint16_t>(n));
    } else {
        if (n >= kLongLengthDword) throw Error("string too long for a set file");
        out.u8(kLongLengthByte);
        out.le<std::uint16_t>(kLongLengthWord);
        out.le<std::uint32_t>(static_cast<std::uint32_t>(n));
    }
    for (char16_t c : text) out.le<std::uint16_t>(static_cast<std::uint16_t>(c));
}

std::string readArchiveString(ByteReader& in) {
    const std::size_t start = in.offset();
    std::size_t charSize = 1;
    std::uint64_t length = in.u8();
    if (length == kLongLengthByte) {
        std::uint16_t word = in.le<std::uint16_t>();
        if (word == kUnicodeMarker) {
            charSize = 2;
            length = in.u8();
            if (length == kLongLengthByte) {
                word = in.le<std::uint16_t>();
                length = word;
            }
        } else {
            length = word;
        }
        if (length == kLongLengthWord) {
            const std::uint32_t dword = in.le<std::uint32_t>();
            length = dword;
            if (dword == kLongLengthDword) length = in.le<std::uint64_t>();
        }
    }
    if (length > in.remaining() / charSize) {
        throw Error(format("%s: the string at offset %zu claims %llu characters, but only %zu bytes follow",
                           in.what().c_str(), start, static_cast<unsigned long long>(length), in.remaining()));
    }
    const auto raw = in.bytes(static_cast<std::size_t>(length) * charSize);
    if (charSize == 1) {
        std::string out;
        out.reserve(raw.size());
        for (std::uint8_t b : raw) appendUtf8(out, b);
        return out;
    }
    std::u16string text(static_cast<std::size_t>(length), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
    return utf16ToUtf8(text);
}

}  // namespace tessarin
