// The effect mixer behind playEffect: one voice per effect, mixed with the
// music source into the device buffer on the audio thread.
#pragma once

#include <cstdint>

#include "platform/audio.h"

// Hands the mixer the converted samples of `count` effects (interleaved
// stereo at the device format; frames[i] frames for effect i). The mixer keeps
// the pointers, not copies: they stay valid until mixerClearEffects. Every
// voice starts silent. Takes the audio lock for the swap.
void mixerSetEffects(const int16_t* const* samples, const uint32_t* frames, int count);
// Silences every voice and forgets the samples; afterwards the audio thread no
// longer reads them.
void mixerClearEffects();

// Restarts effect `id` from its beginning at the next buffer the mixer fills.
// Lock-free and allocation-free: safe on the game thread at any time. Ids
// outside the effects set are ignored.
void mixerTrigger(int id);

// Fills `frames` stereo frames of `out`: the music source (when given) plus
// every sounding voice, summed wide and clipped once to 16 bits. This is the
// function the audio device calls; tests call it directly.
void mixAudio(int16_t* out, int frames, SysAudioSource music);

// Volumes in percent (0 to 100, others clamped): music and effects each
// scaled by its own volume times the master volume, before they are summed.
void mixerSetVolume(int masterPercent, int musicPercent, int effectsPercent);
// While paused the mixer gives silence: the effects sounding at the pause are
// cut, the music source is not called (so its notes wait where they are), and
// triggers made meanwhile are dropped.
void mixerSetPaused(bool on);

// How many voices are sounding after the last buffer (for tests and tools).
int mixerVoicesSounding();
