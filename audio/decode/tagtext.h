#pragma once

#include <cstddef>
#include <string>

namespace zuna {

// Tag texts as TagLib hands them on: decoded to Unicode, then written out as UTF-8. Each
// appends the text of `bytes` to `out`, and returns false for bytes that TagLib would not
// read back as the same characters (malformed UTF-8, unpaired UTF-16 surrogates), which
// the caller then leaves to TagLib.

// ISO-8859-1: every byte is the character of that number.
void appendLatin1(const unsigned char *bytes, size_t size, std::string *out);

// UTF-8, taken only when well-formed: no overlong forms, surrogates or characters past
// U+10FFFF.
bool appendUtf8(const unsigned char *bytes, size_t size, std::string *out);

// UTF-16 in the given byte order, `size` even; surrogate pairs make one character.
bool appendUtf16(const unsigned char *bytes, size_t size, bool bigEndian, std::string *out);

}  // namespace zuna
