// The header is read at fixed offsets, and the data chunk is found by a plain
// byte search rather than by walking the chunks: a file whose chunk sizes are
// off still plays, and "data" standing inside an earlier chunk is taken as the
// data chunk. Sizes from the file are never trusted past the bytes read.
#include "sound/effect_file.h"

#include <algorithm>
#include <cstring>

#include "platform/audio.h"
#include "platform/bytes.h"
#include "platform/platform.h"

namespace {

constexpr int kHeaderBytes = 36;
// The range of rates a sound card driver commonly takes from a sound buffer.
constexpr int kMinRate = 100;
constexpr int kMaxRate = 200000;

}  // namespace

EffectFileResult decodeEffect(const uint8_t* bytes, size_t size, std::vector<int16_t>* samples,
                              EffectFormat* format) {
  samples->clear();
  *format = EffectFormat{};
  if (size < kHeaderBytes || std::memcmp(bytes + 8, "WAVE", 4) != 0) return EffectNotWave;
  const uint8_t* head = bytes;
  uint32_t riffSize = readLe32(head + 4);
  if (riffSize < 28) return EffectRiffTooSmall;

  format->channels = readLe16(head + 22);
  format->samplesPerSec = static_cast<int>(std::min<uint32_t>(readLe32(head + 24), INT32_MAX));
  format->blockAlign = readLe16(head + 32);
  format->bitsPerSample = readLe16(head + 34);

  // The RIFF size bounds what counts as the file's body, as far as it is there.
  const uint8_t* body = bytes + kHeaderBytes;
  const size_t bodySize = std::min<size_t>(std::min(riffSize - 28, kEffectMaxBodyBytes), size - kHeaderBytes);

  size_t at = 0;
  bool found = false;
  for (; at + 4 <= bodySize; ++at) {
    if (std::memcmp(body + at, "data", 4) == 0) {
      found = true;
      break;
    }
  }
  // "data" in the last bytes, with its size field cut off, is no data chunk.
  if (!found || at + 8 > bodySize) return EffectNoData;
  uint32_t dataSize = readLe32(body + at + 4);
  if (dataSize == 0) return EffectNoSamples;

  const EffectFormat& f = *format;
  if ((f.channels != 1 && f.channels != 2) || (f.bitsPerSample != 8 && f.bitsPerSample != 16) ||
      f.blockAlign != f.channels * f.bitsPerSample / 8 || f.samplesPerSec < kMinRate ||
      f.samplesPerSec > kMaxRate) {
    return EffectBadFormat;
  }

  // A size past the end is cut to what the file holds, and to whole frames.
  size_t available = std::min<size_t>(dataSize, bodySize - (at + 8));
  size_t frames = available / static_cast<size_t>(f.blockAlign);
  frames = std::min(frames, static_cast<size_t>(f.samplesPerSec) * kEffectMaxSeconds);
  if (frames == 0) return EffectNoSamples;
  if (!sysConvertSamples(body + at + 8, frames * static_cast<size_t>(f.blockAlign), f.channels,
                         f.samplesPerSec, f.bitsPerSample, samples)) {
    samples->clear();
    return EffectNotConverted;
  }
  return EffectLoaded;
}

EffectFileResult readEffectFile(const char* path, std::vector<int16_t>* samples, EffectFormat* format,
                                std::string* why) {
  samples->clear();
  *format = EffectFormat{};
  std::vector<uint8_t> bytes;
  std::string reason;
  const SysReadResult read = sysReadWholeFile(path, kHeaderBytes + kEffectMaxBodyBytes, &bytes, &reason);
  if (read != SysReadOk) {
    if (why) *why = reason;
    return read == SysReadMissing ? EffectMissing : EffectUnreadable;
  }
  const EffectFileResult result = decodeEffect(bytes.data(), bytes.size(), samples, format);
  if (why) *why = effectFileProblem(result);
  return result;
}

const char* effectFileProblem(EffectFileResult result) {
  switch (result) {
    case EffectLoaded: return "loaded";
    case EffectMissing: return "is missing";
    case EffectUnreadable: return "cannot be read";
    case EffectNotWave: return "is not a RIFF WAVE file";
    case EffectRiffTooSmall: return "has a RIFF size below 28";
    case EffectNoData: return "has no data chunk";
    case EffectNoSamples: return "holds no samples";
    case EffectBadFormat: return "has a sample format that cannot be played";
    case EffectNotConverted: return "could not be converted to the device format";
  }
  return "cannot be read";
}
