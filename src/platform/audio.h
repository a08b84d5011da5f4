// The audio device and its mixer (44,100 Hz, 16-bit stereo).
//
// One device is open at most; effects and music share it. The device calls the
// mixer that the effect bank registers (sysSetMixer) on its own thread; the
// mixer adds the music source of the moment into the same buffer. With no mixer
// registered (music playing, effects never set up) the music source alone
// fills the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int SysAudioRate = 44100;
constexpr int SysAudioChannels = 2;
// Frames per device buffer that we ask for: 11.6 ms, short enough for a click
// to sound at once, long enough not to starve on a busy desktop.
constexpr int SysAudioBufferFrames = 512;

// A second source of sound rendered on the audio thread into the same buffer as
// the effects: it fills `frames` interleaved stereo frames (left, right) and
// the mixer adds them to the effects with saturation. nullptr removes it.
// Waits for a buffer being filled to be done, so once it returns the previous
// source is never called again and may be destroyed. Callable at any time,
// before or after the device opens.
using SysAudioSource = void (*)(int16_t* out, int frames);
void sysSetMusicSource(SysAudioSource source);

// Fills `frames` interleaved stereo frames of `out` (every sample written),
// adding `music` when it is not nullptr. Called on the audio thread.
using SysAudioMixer = void (*)(int16_t* out, int frames, SysAudioSource music);
// Like sysSetMusicSource, waits for a buffer being filled to be done.
void sysSetMixer(SysAudioMixer mixer);

// Opens the audio device unless it is open already (whoever comes first,
// effects or music, opens it). False in headless mode and when no device can be
// opened; sysAudioError() then says why. SDL_AUDIODRIVER=dummy gives a device
// that plays into nothing at the real pace.
bool sysOpenAudio();
bool sysAudioReady();
// Stops the device's callbacks while the game is paused (the device's
// thread then waits, and the device plays silence), and starts them again.
void sysPauseAudio(bool on);
const char* sysAudioError();
// Says on stderr, in one line, that there is no audio device and why, once in
// a run: the music and the effects both miss it, and a degraded start says
// what it lacks once.
void sysSayNoAudioDevice();
// Frames per callback of the open device (0 when closed).
int sysAudioBufferFrames();
// The audio driver in use ("pulseaudio", "alsa", "dummy", ...), "" when closed.
const char* sysAudioDriverName();
// Stops the callbacks and closes the device; sources and mixer stay set. Runs
// by itself at exit once a device was opened.
void sysCloseAudio();

// Keep the audio thread out while the mixer's data is swapped. Held only
// while loading or releasing, never per frame. Also keeps the device from
// opening or closing meanwhile, so the mixer and the music source must not call
// any sys*Audio procedure themselves.
void sysLockAudio();
void sysUnlockAudio();

// Converts PCM samples of a file's format (8-bit unsigned or 16-bit signed
// little-endian, `channels` 1 or 2, any rate) into the device format, replacing
// the contents of `out`. False when the format cannot be converted.
bool sysConvertSamples(const void* pcm, size_t bytes, int channels, int rate, int bits,
                       std::vector<int16_t>* out);
