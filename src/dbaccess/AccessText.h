#pragma once
// Turning the text bytes of an Access file into UTF-8: UTF-16LE with Jet's
// "compressed unicode" in Jet 4 and later files, a single-byte code page in
// Jet 3 files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qb::access {

// Appends UTF-16LE units as UTF-8; surrogate pairs become one character, a
// lone surrogate becomes U+FFFD. An odd trailing byte is ignored.
void appendUtf16le(std::string& out, const unsigned char* p, std::size_t n);

// Jet 4 text value: UTF-16LE, or, when it starts with FF FE, compressed
// unicode where each 00 byte switches between one-byte and two-byte units.
void appendJet4Text(std::string& out, const unsigned char* p, std::size_t n);

// False when a Jet 4 text value cannot be whole: two-byte units with a byte
// over (the compressed form has units of either size).
inline bool isWholeJet4Text(const unsigned char* p, std::size_t n) {
    return n % 2 == 0 || (n >= 2 && p[0] == 0xFF && p[1] == 0xFE);
}

// Byte-to-UTF-8 table of a Windows code page (built once per file).
class CodePage {
public:
    // Falls back to Windows-1252, then Latin-1, when iconv lacks the page.
    explicit CodePage(int codePage = 1252);
    void append(std::string& out, const unsigned char* p, std::size_t n) const;

private:
    std::array<std::array<char, 4>, 256> utf8_{};
    std::array<std::uint8_t, 256> length_{};
};

}  // namespace qb::access
