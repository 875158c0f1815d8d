#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The fuzz targets' work, which tst_audiolayer replays on every kept input in every build:
// what the audio layer got wrong, if anything. Crashes, leaks and hangs are the sanitizers'.

// Runs each container parser on the bytes, then opens them as a stream and reads what the
// playlist shows: kind, format, length, tags.
std::string openAndDescribe(const uint8_t *data, size_t size);
// Decodes the bytes to the end, then from three places chosen from them and from the start.
std::string decodeWithSeeks(const uint8_t *data, size_t size);
