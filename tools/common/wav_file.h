// The one WAV writer of the tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A canonical RIFF WAVE file with a 44-byte header: 16-bit PCM, `channels`
// interleaved, `rate` frames a second; `count` samples in all.
std::vector<uint8_t> encodeWav16(const int16_t* samples, size_t count, int channels, int rate);
