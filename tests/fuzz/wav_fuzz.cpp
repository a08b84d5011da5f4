// The WAV reader, then the mixer playing what it read against a music source
// until the effect has sounded out.
#include <cstdint>
#include <vector>

#include "platform/audio.h"
#include "platform/platform.h"
#include "sound/effect_file.h"
#include "sound/sound_mixer.h"

namespace {
void music(int16_t* out, int frames) {
  for (int i = 0; i < 2 * frames; ++i) out[i] = static_cast<int16_t>(i % 2 ? 30000 : -30000);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sysSetHeadless(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<int16_t> samples;
  EffectFormat format;
  if (decodeEffect(data, size, &samples, &format) != EffectLoaded) return 0;
  const int16_t* effects[2] = {samples.data(), samples.data()};
  const uint32_t frames[2] = {static_cast<uint32_t>(samples.size() / SysAudioChannels), 1};
  mixerSetEffects(effects, frames, 2);
  mixerTrigger(0);
  mixerTrigger(1);
  int16_t out[2 * SysAudioBufferFrames];
  // A long effect is cut short here: the mixer's walk through it is what counts.
  for (int buffer = 0; buffer < 64; ++buffer) {
    mixAudio(out, SysAudioBufferFrames, buffer % 2 ? music : nullptr);
    if (buffer == 3) mixerTrigger(0);  // restarted while it sounds
    if (mixerVoicesSounding() == 0) break;
  }
  mixerClearEffects();
  return 0;
}
