// Reading one effect's WAV file into samples of the device format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The format an effect file declares in its header.
struct EffectFormat {
  int channels = 0;
  int samplesPerSec = 0;
  int blockAlign = 0;
  int bitsPerSample = 0;
};

enum EffectFileResult {
  EffectLoaded = 0,
  EffectMissing,       // cannot be opened
  EffectNotWave,       // shorter than the 36-byte header, or not "WAVE"
  EffectRiffTooSmall,  // RIFF size below 28
  EffectNoData,        // no "data" with its size field in the bytes read
  EffectNoSamples,     // data size 0, or less than one whole frame
  EffectBadFormat,     // channels, bits, block alignment or rate we cannot play
  EffectNotConverted,  // the converter refused it
  EffectUnreadable,    // there, but the system will not let us read it
};

// The longest sound an effect may hold, in seconds at the device rate; the
// rest of a longer one is dropped (a hostile rate cannot blow up the memory).
constexpr int kEffectMaxSeconds = 30;
// Bytes after the header that we read at most: room for kEffectMaxSeconds of
// the richest format we take, with chunks before the data.
constexpr uint32_t kEffectMaxBodyBytes = 32u << 20;

// Reads the RIFF WAVE file at `path` and converts its samples to the device
// format into `samples`. `format` gets the header's format as soon as the
// file gets that far (also when the result is EffectBadFormat). `why`, when
// given, gets the end of a sentence that starts with the path, with the
// system's reason when the file could not be read at all.
EffectFileResult readEffectFile(const char* path, std::vector<int16_t>* samples, EffectFormat* format,
                                std::string* why = nullptr);
// The same for the bytes of a whole file already in memory.
EffectFileResult decodeEffect(const uint8_t* bytes, size_t size, std::vector<int16_t>* samples,
                              EffectFormat* format);
// "is missing", "is not a RIFF WAVE file", ...: the end of a sentence that
// starts with the file's name.
const char* effectFileProblem(EffectFileResult result);
