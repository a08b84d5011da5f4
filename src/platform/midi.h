// The MIDI output the music player plays through.
//
// Normally a software synthesizer (FluidSynth with a General MIDI SoundFont)
// rendering into the audio mixer. Headless runs (tests, tools) get a
// recording output instead, which hands every message to a hook.
#pragma once

#include <cstdint>

enum SysMidiKind {
  SysMidiDefault,   // synthesizer on the audio device; the recorder when headless
  SysMidiRecorder,  // no sound: every message goes to the recorder hook
  SysMidiOffline,   // synthesizer without a device; sysMidiRender pulls its samples
};
// Chooses what the next sysMidiOpen opens.
void sysMidiSelect(SysMidiKind kind);

// Opens the default output. False, after one line on stderr saying why, when
// there is no audio device or no usable SoundFont. The SoundFont of the
// default output loads in the background; until it has loaded, messages are
// dropped and sysMidiReadyToPlay() is false.
bool sysMidiOpen();
void sysMidiClose();
bool sysMidiReadyToPlay();

// A packed short message: status in bits 0-7, data bytes in bits 8-15, 16-23.
void sysMidiShortMsg(uint32_t message);
// A whole system exclusive message from 0xF0 (to its 0xF7); returns once the
// output has taken it.
bool sysMidiLongMsg(const uint8_t* data, int length);

// Recording output: the hook sees each message as bytes (short messages with
// their 1 to 3 bytes). It runs on whichever thread sends.
using SysMidiRecorderHook = void (*)(const uint8_t* bytes, int length);
void sysMidiSetRecorder(SysMidiRecorderHook hook);

// Offline output: renders `frames` interleaved stereo frames at 44,100 Hz.
void sysMidiRender(int16_t* out, int frames);

// The number of bytes of the short message that starts with `status`.
int sysMidiShortLength(uint8_t status);
