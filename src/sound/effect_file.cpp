// The header is read at fixed offsets, and the data chunk is found by a plain
// byte search rather than by walking the chunks: a file whose chunk sizes are
// off still plays, and "data" standing inside an earlier chunk is taken as the
// data chunk. Sizes from the file are never trusted past the bytes read.
#include "sound/effect_file.h"

#include <algorithm>
#include <cstring>

#include "platform/audio.h"
#include "platform/platform.h"

namespace {

constexpr int kHeaderBytes = 36;
constexpr int kReadChunk = 64 * 1024;
// The range of rates a sound card driver commonly takes from a sound buffer.
constexpr int kMinRate = 100;
constexpr int kMaxRate = 200000;

uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Reads up to `want` bytes, fewer at the end of the file.
void readUpTo(SysFile* file, uint32_t want, std::vector<uint8_t>* body) {
  body->clear();
  while (body->size() < want) {
    size_t old = body->size();
    size_t step = std::min<size_t>(kReadChunk, want - old);
    body->resize(old + step);
    int got = sysRead(file, body->data() + old, static_cast<int>(step));
    body->resize(old + static_cast<size_t>(std::max(got, 0)));
    if (got <= 0) break;
  }
}

EffectFileResult readBody(SysFile* file, std::vector<int16_t>* samples, EffectFormat* format) {
  uint8_t head[kHeaderBytes];
  int have = 0;
  while (have < kHeaderBytes) {
    int got = sysRead(file, head + have, kHeaderBytes - have);
    if (got <= 0) break;
    have += got;
  }
  if (have < kHeaderBytes || std::memcmp(head + 8, "WAVE", 4) != 0) return EffectNotWave;
  uint32_t riffSize = le32(head + 4);
  if (riffSize < 28) return EffectRiffTooSmall;

  format->channels = le16(head + 22);
  format->samplesPerSec = static_cast<int>(std::min<uint32_t>(le32(head + 24), INT32_MAX));
  format->blockAlign = le16(head + 32);
  format->bitsPerSample = le16(head + 34);

  std::vector<uint8_t> body;
  readUpTo(file, std::min(riffSize - 28, kEffectMaxBodyBytes), &body);

  size_t at = 0;
  bool found = false;
  for (; at + 4 <= body.size(); ++at) {
    if (std::memcmp(body.data() + at, "data", 4) == 0) {
      found = true;
      break;
    }
  }
  // "data" in the last bytes, with its size field cut off, is no data chunk.
  if (!found || at + 8 > body.size()) return EffectNoData;
  uint32_t dataSize = le32(body.data() + at + 4);
  if (dataSize == 0) return EffectNoSamples;

  const EffectFormat& f = *format;
  if ((f.channels != 1 && f.channels != 2) || (f.bitsPerSample != 8 && f.bitsPerSample != 16) ||
      f.blockAlign != f.channels * f.bitsPerSample / 8 || f.samplesPerSec < kMinRate ||
      f.samplesPerSec > kMaxRate) {
    return EffectBadFormat;
  }

  // A size past the end is cut to what the file holds, and to whole frames.
  size_t bytes = std::min<size_t>(dataSize, body.size() - (at + 8));
  size_t frames = bytes / static_cast<size_t>(f.blockAlign);
  frames = std::min(frames, static_cast<size_t>(f.samplesPerSec) * kEffectMaxSeconds);
  if (frames == 0) return EffectNoSamples;
  if (!sysConvertSamples(body.data() + at + 8, frames * static_cast<size_t>(f.blockAlign),
                         f.channels, f.samplesPerSec, f.bitsPerSample, samples)) {
    return EffectNotConverted;
  }
  return EffectLoaded;
}

}  // namespace

EffectFileResult readEffectFile(const char* path, std::vector<int16_t>* samples,
                                EffectFormat* format) {
  samples->clear();
  *format = EffectFormat{};
  SysFile* file = sysOpenRead(path);
  if (!file) return EffectMissing;
  EffectFileResult result = readBody(file, samples, format);
  sysClose(file);
  if (result != EffectLoaded) samples->clear();
  return result;
}

const char* effectFileProblem(EffectFileResult result) {
  switch (result) {
    case EffectLoaded: return "loaded";
    case EffectMissing: return "is missing";
    case EffectNotWave: return "is not a RIFF WAVE file";
    case EffectRiffTooSmall: return "has a RIFF size below 28";
    case EffectNoData: return "has no data chunk";
    case EffectNoSamples: return "holds no samples";
    case EffectBadFormat: return "has a sample format that cannot be played";
    case EffectNotConverted: return "could not be converted to the device format";
  }
  return "cannot be read";
}
