// The audio device and its mixer (44,100 Hz, 16-bit stereo).
#pragma once

#include <cstdint>

// A second source of sound rendered on the audio thread into the same buffer as
// the effects: it fills `frames` interleaved stereo frames (left, right) and
// the mixer adds them to the effects with saturation. nullptr removes it.
using SysAudioSource = void (*)(int16_t* out, int frames);
void sysSetMusicSource(SysAudioSource source);
