#include "wav_file.h"

std::vector<uint8_t> encodeWav16(const int16_t* samples, size_t count, int channels, int rate) {
  const uint32_t dataBytes = static_cast<uint32_t>(count * 2);
  const uint32_t frameBytes = static_cast<uint32_t>(2 * channels);
  std::vector<uint8_t> f;
  f.reserve(44 + dataBytes);
  auto text = [&](const char* s) {
    for (int k = 0; k < 4; ++k) f.push_back(static_cast<uint8_t>(s[k]));
  };
  auto u16 = [&](uint32_t v) {
    f.push_back(static_cast<uint8_t>(v));
    f.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto u32 = [&](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  text("RIFF");
  u32(36 + dataBytes);
  text("WAVE");
  text("fmt ");
  u32(16);
  u16(1);  // PCM
  u16(static_cast<uint32_t>(channels));
  u32(static_cast<uint32_t>(rate));
  u32(static_cast<uint32_t>(rate) * frameBytes);
  u16(frameBytes);
  u16(16);
  text("data");
  u32(dataBytes);
  for (size_t i = 0; i < count; ++i) u16(static_cast<uint16_t>(samples[i]));
  return f;
}
