#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The work of each fuzz target, shared with the test that replays the corpus and every past
// finding in the ordinary (and sanitizer) builds. Each returns an empty string when the
// audio layer behaved, or what it got wrong; crashes, leaks and hangs are the sanitizers'
// and the fuzzer's to catch.

// Opens the bytes as a stream and reads what the playlist shows of it: kind, format,
// length and every tag.
std::string openAndDescribe(const uint8_t *data, size_t size);

// Opens the bytes as a stream and decodes it to the end, then seeks to a few places
// (chosen from the bytes) and decodes on from each.
std::string decodeWithSeeks(const uint8_t *data, size_t size);
