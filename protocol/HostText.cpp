#include "protocol/HostText.h"

#include "platform/CodePages.h"

namespace prax::protocol {

namespace {

// Windows-1252 at 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char Windows1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == c) return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t i, char32_t* code) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(i);
    std::size_t n = 0;
    char32_t c = 0, min = 0;
    if (b < 0x80) n = 1, c = b;
    else if (b >= 0xC2 && b <= 0xDF) n = 2, c = b & 0x1F, min = 0x80;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, c = b & 0x0F, min = 0x800;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, c = b & 0x07, min = 0x10000;
    else return 0;
    if (i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = c << 6 | (byte(i + k) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    if (code != nullptr) *code = c;
    return n;
}

std::string Windows1252Bytes(std::u32string_view text) {
    std::string bytes;
    for (const char32_t c : text) bytes += Windows1252Byte(c);
    return bytes;
}

std::string HostTextBytes(std::u32string_view text) {
    if (!platform::HostHasOwnSingleByteSet()) return Windows1252Bytes(text);
    std::string bytes;
    for (const char32_t c : text) bytes += platform::HostSetByte(c);
    return bytes;
}

std::string HostTextBytesFromUtf8(std::string_view text) {
    std::u32string decoded;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t n = Utf8SequenceLength(text, i, &c);
        if (n == 0) return std::string(text);
        decoded += c;
        i += n;
    }
    return HostTextBytes(decoded);
}

}  // namespace prax::protocol
