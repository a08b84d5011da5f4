// What the bank holds, for tests and tools.
#pragma once

#include <cstdint>
#include <vector>

#include "sound/effect_file.h"
#include "sound/sound.h"

struct SoundBank {
  bool ready = false;     // every effect loaded: playEffect plays them
  int effectsLoaded = 0;  // read by the last initSoundBank before it finished or gave up
  EffectFormat formats[SoundCount];  // each effect's format as its file declares it
  // Each effect converted once to the device format; the mixer plays from
  // here, so the bank is only reset once the mixer has let go of them.
  std::vector<int16_t> samples[SoundCount];
};
extern SoundBank soundBank;
