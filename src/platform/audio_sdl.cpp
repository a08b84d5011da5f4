// The audio device on SDL2: one device, one callback that hands the buffer to
// the registered mixer.
#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/audio.h"
#include "platform/platform.h"

namespace {

// Written under the device lock (or while closed), read by the callback.
SysAudioSource musicSource = nullptr;
SysAudioMixer mixer = nullptr;

// Held while the device opens or closes and while the audio lock is held:
// open and close may come from the game thread and from whoever starts music.
std::recursive_mutex deviceMutex;
std::atomic<SDL_AudioDeviceID> device{0};
std::atomic<int> deviceFrames{0};
// The device whose SDL lock a pause holds, with deviceMutex, until the
// resume; 0 when not paused. Game thread only.
SDL_AudioDeviceID heldForPause = 0;
std::string lastError;

void fillBuffer(void*, Uint8* stream, int len) {
  auto* out = reinterpret_cast<int16_t*>(stream);
  int frames = len / static_cast<int>(SysAudioChannels * sizeof(int16_t));
  if (mixer) {
    mixer(out, frames, musicSource);
  } else if (musicSource) {
    musicSource(out, frames);
  } else {
    std::memset(stream, 0, static_cast<size_t>(len));
  }
}

// ALSA's library reports every failed probe on stderr itself, eight lines on a
// machine without a sound card; we say why in one line of our own instead.
void quietAlsaHandler(const char*, int, const char*, int, const char*, ...) {}

void quietAlsa() {
  static bool done = false;
  if (done) return;
  done = true;
  // The same library instance that SDL loads: a loaded library is shared.
  void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
  if (!alsa) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) {
    set(quietAlsaHandler);
  }
  // Kept loaded: the handler must outlive every later use of the library.
}

}  // namespace

// The device cannot open or close while the lock is held, so lock and unlock
// always concern the same device.
void sysLockAudio() {
  deviceMutex.lock();
  if (SDL_AudioDeviceID id = device.load()) SDL_LockAudioDevice(id);
}

void sysUnlockAudio() {
  if (SDL_AudioDeviceID id = device.load()) SDL_UnlockAudioDevice(id);
  deviceMutex.unlock();
}

void sysSetMusicSource(SysAudioSource source) {
  sysLockAudio();
  musicSource = source;
  sysUnlockAudio();
}

void sysSetMixer(SysAudioMixer newMixer) {
  sysLockAudio();
  mixer = newMixer;
  sysUnlockAudio();
}

bool sysOpenAudio() {
  std::lock_guard<std::recursive_mutex> hold(deviceMutex);
  if (device.load()) return true;
  if (sysIsHeadless()) {
    lastError = "headless mode has no audio device";
    return false;
  }
  quietAlsa();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    lastError = std::string("no audio device (") + SDL_GetError() + ")";
    return false;
  }
  SDL_AudioSpec want{};
  want.freq = SysAudioRate;
  want.format = AUDIO_S16SYS;
  want.channels = SysAudioChannels;
  want.samples = SysAudioBufferFrames;
  want.callback = fillBuffer;
  SDL_AudioSpec have{};
  // No changes allowed: SDL converts behind us if the hardware wants another
  // format, so the mixer always sees exactly the format above.
  SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (id == 0) {
    lastError = std::string("no audio device (") + SDL_GetError() + ")";
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  deviceFrames = have.samples;
  device.store(id);
  SDL_PauseAudioDevice(id, 0);
  lastError.clear();
  // The audio thread must not outlive the program's globals at exit.
  static bool closeAtExit = false;
  if (!closeAtExit) closeAtExit = std::atexit(sysCloseAudio) == 0;
  return true;
}

// While paused the device's thread is kept out of its loop by SDL's lock of
// the device (which the thread takes for every buffer) instead of waking for
// every buffer to play silence: a paused game takes no processor time for its
// sound. The driver then runs dry, which it takes as silence. The pause holds
// both locks in the order sysLockAudio takes them, so the game thread may
// still take them meanwhile (they count), and no other thread ever does.
void sysPauseAudio(bool on) {
  if (on) {
    if (heldForPause) return;
    deviceMutex.lock();
    const SDL_AudioDeviceID id = device.load();
    if (!id) {
      deviceMutex.unlock();
      return;
    }
    SDL_PauseAudioDevice(id, 1);
    SDL_LockAudioDevice(id);
    heldForPause = id;
  } else {
    if (!heldForPause) return;
    SDL_UnlockAudioDevice(heldForPause);
    SDL_PauseAudioDevice(heldForPause, 0);
    heldForPause = 0;
    deviceMutex.unlock();
  }
}

bool sysAudioReady() { return device.load() != 0; }

const char* sysAudioError() { return lastError.c_str(); }

void sysSayNoAudioDevice() {
  if (sysFirstReport("no audio device"))
    std::fprintf(stderr, "wendlop: no music and no sound effects: %s\n", sysAudioError());
}

int sysAudioBufferFrames() { return device.load() ? deviceFrames.load() : 0; }

const char* sysAudioDriverName() {
  const char* name = device.load() ? SDL_GetCurrentAudioDriver() : nullptr;
  return name ? name : "";
}

void sysCloseAudio() {
  std::lock_guard<std::recursive_mutex> hold(deviceMutex);
  SDL_AudioDeviceID id = device.exchange(0);
  if (!id) return;
  // The thread must get out of its loop to end: a pause lets go of the device.
  if (heldForPause == id) {
    SDL_UnlockAudioDevice(id);
    heldForPause = 0;
    deviceMutex.unlock();  // the pause's hold; this call's own is kept
  }
  // Returns only once the callback has finished for good.
  SDL_CloseAudioDevice(id);
  deviceFrames = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool sysConvertSamples(const void* pcm, size_t bytes, int channels, int rate, int bits,
                       std::vector<int16_t>* out) {
  if (!out) return false;
  out->clear();
  if (!pcm || rate <= 0 || (channels != 1 && channels != 2)) return false;
  SDL_AudioFormat format;
  if (bits == 8) {
    format = AUDIO_U8;
  } else if (bits == 16) {
    format = AUDIO_S16LSB;
  } else {
    return false;
  }
  size_t frameBytes = static_cast<size_t>(channels * bits / 8);
  if (bytes == 0 || bytes % frameBytes != 0) return false;

  // The one-shot converter rather than SDL_AudioStream: this SDL's stream
  // drops the resampler's last packet on flush, cutting the end off an effect.
  SDL_AudioCVT cvt;
  if (SDL_BuildAudioCVT(&cvt, format, static_cast<Uint8>(channels), rate, AUDIO_S16SYS,
                        SysAudioChannels, SysAudioRate) < 0) {
    return false;
  }
  if (cvt.len_mult <= 0 || bytes > static_cast<size_t>(INT32_MAX / cvt.len_mult)) return false;
  std::vector<Uint8> work(bytes * static_cast<size_t>(cvt.len_mult));
  std::memcpy(work.data(), pcm, bytes);
  cvt.buf = work.data();
  cvt.len = static_cast<int>(bytes);
  if (cvt.needed && SDL_ConvertAudio(&cvt) != 0) return false;
  size_t outBytes = cvt.needed ? static_cast<size_t>(cvt.len_cvt) : bytes;
  size_t frames = outBytes / (SysAudioChannels * sizeof(int16_t));
  if (frames == 0) return false;
  out->resize(frames * SysAudioChannels);
  std::memcpy(out->data(), work.data(), frames * SysAudioChannels * sizeof(int16_t));
  return true;
}
