// What the bank holds, for tests and tools.
#pragma once

#include <cstdint>

#include "sound/effect_file.h"
#include "sound/sound.h"

// The device's format, which every effect is converted to at load.
extern const EffectFormat bankFormat;
// Each effect's format as its file declares it.
extern EffectFormat effectFormats[SoundCount];
// Effects read by the last initSoundBank before it finished or gave up.
extern int effectsLoaded;
// Frames of effect `id` at the device format while the bank holds it, else 0.
uint32_t effectFrames(int id);
