#include "audio/decode/tagtext.h"

namespace zuna {

namespace {
void appendCodePoint(char32_t c, std::string *out)
{
    if (c < 0x80) {
        out->push_back(char(c));
    } else if (c < 0x800) {
        out->push_back(char(0xC0 | (c >> 6)));
        out->push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(char(0xE0 | (c >> 12)));
        out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(char(0x80 | (c & 0x3F)));
    } else {
        out->push_back(char(0xF0 | (c >> 18)));
        out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(char(0x80 | (c & 0x3F)));
    }
}

// The length of the well-formed UTF-8 sequence at `b` (`left` bytes there), or 0.
size_t sequenceLength(const unsigned char *b, size_t left)
{
    const unsigned char lead = b[0];
    if (lead < 0x80)
        return 1;
    size_t n = 0;
    unsigned char low = 0x80;   // bounds of the second byte, which rule out overlong forms,
    unsigned char high = 0xBF;  // surrogates and characters past U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < n || b[1] < low || b[1] > high)
        return 0;
    for (size_t i = 2; i < n; ++i)
        if ((b[i] & 0xC0) != 0x80)
            return 0;
    return n;
}
}  // namespace

void appendLatin1(const unsigned char *bytes, size_t size, std::string *out)
{
    for (size_t i = 0; i < size; ++i)
        appendCodePoint(bytes[i], out);
}

bool appendUtf8(const unsigned char *bytes, size_t size, std::string *out)
{
    for (size_t i = 0; i < size;) {
        const size_t n = sequenceLength(bytes + i, size - i);
        if (n == 0)
            return false;
        i += n;
    }
    out->append(reinterpret_cast<const char *>(bytes), size);
    return true;
}

bool appendUtf16(const unsigned char *bytes, size_t size, bool bigEndian, std::string *out)
{
    const auto unit = [bytes, bigEndian](size_t i) -> char32_t {
        return bigEndian ? char32_t(bytes[i] << 8 | bytes[i + 1])
                         : char32_t(bytes[i + 1] << 8 | bytes[i]);
    };
    for (size_t i = 0; i + 1 < size; i += 2) {
        const char32_t c = unit(i);
        if (c < 0xD800 || c > 0xDFFF) {
            appendCodePoint(c, out);
            continue;
        }
        if (c > 0xDBFF || i + 3 >= size)
            return false;
        const char32_t low = unit(i + 2);
        if (low < 0xDC00 || low > 0xDFFF)
            return false;
        appendCodePoint(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), out);
        i += 2;
    }
    return true;
}

}  // namespace zuna
