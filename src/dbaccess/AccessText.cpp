#include "AccessText.h"

#include <iconv.h>

#include <string>

namespace qb::access {

namespace {

void appendCodePoint(std::string& out, std::uint32_t cp) {
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

// Joins UTF-16 units into code points; keeps a pending high surrogate so
// that a pair split across compressed-text segments still joins.
class Utf16Sink {
public:
    explicit Utf16Sink(std::string& out) : out_(out) {}
    ~Utf16Sink() { flushPending(); }
    void unit(std::uint32_t u) {
        if (u >= 0xD800 && u <= 0xDBFF) {
            flushPending();
            high_ = u;
            return;
        }
        if (u >= 0xDC00 && u <= 0xDFFF) {
            if (high_) {
                appendCodePoint(out_, 0x10000 + ((high_ - 0xD800) << 10) + (u - 0xDC00));
                high_ = 0;
            } else {
                appendCodePoint(out_, 0xFFFD);
            }
            return;
        }
        flushPending();
        if (u < 0x80)
            out_ += static_cast<char>(u);
        else
            appendCodePoint(out_, u);
    }
    // Units below 0x80 given as bytes, all at once.
    void ascii(const unsigned char* p, std::size_t n) {
        flushPending();
        out_.append(reinterpret_cast<const char*>(p), n);
    }

private:
    void flushPending() {
        if (high_) appendCodePoint(out_, 0xFFFD);
        high_ = 0;
    }
    std::string& out_;
    std::uint32_t high_ = 0;
};

}  // namespace

void appendUtf16le(std::string& out, const unsigned char* p, std::size_t n) {
    Utf16Sink sink(out);
    for (std::size_t i = 0; i + 1 < n; i += 2) sink.unit(p[i] | (static_cast<std::uint32_t>(p[i + 1]) << 8));
}

void appendJet4Text(std::string& out, const unsigned char* p, std::size_t n) {
    if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) {
        appendUtf16le(out, p, n);
        return;
    }
    out.reserve(out.size() + n);
    Utf16Sink sink(out);
    bool compressed = true;
    std::size_t i = 2;
    while (i < n) {
        if (p[i] == 0x00) {
            compressed = !compressed;
            ++i;
            continue;
        }
        if (compressed) {
            // Compressed text is mostly ASCII: copy such runs whole.
            std::size_t end = i;
            while (end < n && p[end] != 0x00 && p[end] < 0x80) ++end;
            if (end > i) {
                sink.ascii(p + i, end - i);
                i = end;
                continue;
            }
            sink.unit(p[i]);
            ++i;
        } else {
            if (i + 1 >= n) break;
            sink.unit(p[i] | (static_cast<std::uint32_t>(p[i + 1]) << 8));
            i += 2;
        }
    }
}

CodePage::CodePage(int codePage) {
    iconv_t cd = iconv_open("UTF-8", ("CP" + std::to_string(codePage)).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "CP1252");
    for (int b = 0; b < 256; ++b) {
        std::string s;
        bool done = false;
        if (b < 0x80) {
            s = std::string(1, static_cast<char>(b));
            done = true;
        } else if (cd != reinterpret_cast<iconv_t>(-1)) {
            char in = static_cast<char>(b);
            char buf[8];
            char* inp = &in;
            char* outp = buf;
            std::size_t inLeft = 1, outLeft = sizeof buf;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0 &&
                outp != buf && outp - buf <= 4) {
                s.assign(buf, outp);
                done = true;
            }
        }
        if (!done) {
            // Undefined in the code page: Latin-1 when iconv is missing, else U+FFFD.
            std::string r;
            appendCodePoint(r, cd == reinterpret_cast<iconv_t>(-1) ? static_cast<std::uint32_t>(b) : 0xFFFDu);
            s = r;
        }
        length_[b] = static_cast<std::uint8_t>(s.size());
        for (std::size_t k = 0; k < s.size(); ++k) utf8_[b][k] = s[k];
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
}

void CodePage::append(std::string& out, const unsigned char* p, std::size_t n) const {
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        if (b < 0x80)
            out += static_cast<char>(b);
        else
            out.append(utf8_[b].data(), length_[b]);
    }
}

}  // namespace qb::access
