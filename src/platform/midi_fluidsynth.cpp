// The MIDI output on FluidSynth: a software synthesizer whose samples the
// audio mixer pulls on its own thread, or a recorder for headless runs.
#include "platform/midi.h"

#include <fluidsynth.h>
#include <glib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/platform.h"

// General MIDI SoundFonts as Debian installs them. The small TimGM6mb loads
// fastest; default-GM.sf2 is the link to whichever one the system prefers;
// FluidR3_GM is the large one that other programs bring along.
static const char* const soundFontFolder = "/usr/share/sounds/sf2/";
static const char* const soundFontNames[] = {"TimGM6mb.sf2", "default-GM.sf2", "FluidR3_GM.sf2"};

static SysMidiKind selectedKind = SysMidiDefault;
static SysMidiKind openKind = SysMidiDefault;
static bool isOpen = false;
static std::atomic<SysMidiRecorderHook> recorderHook{nullptr};
static constexpr int SynthVoices = 40;

static fluid_settings_t* settings = nullptr;
static fluid_synth_t* synth = nullptr;
static std::atomic<bool> fontLoaded{false};
static std::thread fontLoader;
static char fontPath[4096];
// Held by the audio thread while it renders, so that closing never frees the
// synthesizer under it, whatever the mixer guarantees.
static std::mutex renderMutex;

void sysMidiSelect(SysMidiKind kind) { selectedKind = kind; }

void sysMidiSetRecorder(SysMidiRecorderHook hook) { recorderHook.store(hook); }

int sysMidiShortLength(uint8_t status) {
  if (status >= 0x80 && status <= 0xBF) return 3;
  if (status >= 0xC0 && status <= 0xDF) return 2;
  if (status >= 0xE0 && status <= 0xEF) return 3;
  if (status == 0xF1 || status == 0xF3) return 2;
  if (status == 0xF2) return 3;
  return 1;
}

// A SoundFont is a RIFF file of form "sfbk"; checking that much up front lets
// start-up say at once why there will be no music.
static bool looksLikeSoundFont(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  unsigned char head[12];
  bool ok = std::fread(head, 1, sizeof head, file) == sizeof head && std::memcmp(head, "RIFF", 4) == 0 &&
            std::memcmp(head + 8, "sfbk", 4) == 0;
  std::fclose(file);
  return ok;
}

static void renderMusic(int16_t* out, int frames) {
  std::lock_guard<std::mutex> lock(renderMutex);
  if (!synth || !fontLoaded.load(std::memory_order_acquire)) {
    std::memset(out, 0, sizeof(int16_t) * 2 * static_cast<size_t>(frames));
    return;
  }
  fluid_synth_write_s16(synth, frames, out, 0, 2, out, 1, 2);
}

// The libraries' own messages go here instead of stderr: a damaged SoundFont
// would otherwise get their lines before ours, in their words. FluidSynth's
// last error is kept to give our one line its reason.
static std::mutex libraryLogMutex;
static std::string firstSynthError;

static void keepSynthMessage(int level, const char* message, void*) {
  if (level > FLUID_ERR || !message) return;
  std::lock_guard<std::mutex> lock(libraryLogMutex);
  // The first error says what is wrong; the ones after it only that the
  // other loaders did not take the file either.
  if (firstSynthError.empty()) firstSynthError = message;
}

// FluidSynth reads some files through libraries that log through GLib; a
// damaged file makes them print assertion failures that mean nothing to a player.
static void dropLibraryMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

static void quietLibraries() {
  for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) fluid_set_log_function(level, keepSynthMessage, nullptr);
  g_log_set_default_handler(dropLibraryMessage, nullptr);
}

static bool loadFont() {
  {
    std::lock_guard<std::mutex> lock(libraryLogMutex);
    firstSynthError.clear();
  }
  if (fluid_synth_sfload(synth, fontPath, 1) == FLUID_FAILED) {
    std::string reason;
    {
      std::lock_guard<std::mutex> lock(libraryLogMutex);
      reason = firstSynthError;
    }
    if (reason.empty()) reason = "it is damaged or not a SoundFont";
    std::fprintf(stderr, "wendlop: no music: cannot load the SoundFont %s (%s)\n", fontPath, reason.c_str());
    return false;
  }
  fontLoaded.store(true, std::memory_order_release);
  return true;
}

static bool createSynth() {
  quietLibraries();
  settings = new_fluid_settings();
  if (!settings) return false;
  fluid_settings_setnum(settings, "synth.sample-rate", 44100.0);
  // Voices cost the synthesizer's time, and most of them are released notes
  // fading out. The songs sound 20 to 60 voices most of the time, 84 at the
  // most; past 40 the quietest released notes go first, and what they would
  // still have added is 37 dB under the music (24 dB where it is least
  // covered, in a tenth of a second), the spectrum the same within 0.05 dB.
  fluid_settings_setint(settings, "synth.polyphony", SynthVoices);
  // The GS Reset of resetDevice carries device number 0x10; FluidSynth only
  // takes a reset addressed to its own id.
  fluid_settings_setint(settings, "synth.device-id", 16);
  fluid_settings_setint(settings, "synth.threadsafe-api", 1);
  synth = new_fluid_synth(settings);
  if (!synth) {
    delete_fluid_settings(settings);
    settings = nullptr;
    return false;
  }
  return true;
}

static bool openSynth(bool withDevice) {
  // Without a device the SoundFont does not matter: the line that says so
  // is the only one.
  if (withDevice && !sysOpenAudio()) {
    sysSayNoAudioDevice();
    return false;
  }
  // A SoundFont the player names is the one they want: no other stands in for it.
  const char* chosen = std::getenv("WENDLOP_SOUNDFONT");
  if (chosen && *chosen) {
    // The font loads on a thread of its own, after the game has moved into
    // its data folder: a path from where it was started must not change meaning.
    std::snprintf(fontPath, sizeof fontPath, "%s", sysAbsolutePath(chosen).c_str());
    std::vector<uint8_t> head;
    std::string why;
    const SysReadResult read = sysReadWholeFile(fontPath, 12, &head, &why);
    if (read != SysReadOk) {
      std::fprintf(stderr, "wendlop: no music: WENDLOP_SOUNDFONT=%s %s\n", fontPath,
                   read == SysReadMissing ? "does not exist" : why.c_str());
      return false;
    }
    if (!looksLikeSoundFont(fontPath)) {
      std::fprintf(stderr, "wendlop: no music: WENDLOP_SOUNDFONT=%s is not a SoundFont\n", fontPath);
      return false;
    }
  } else {
    bool found = false;
    for (const char* name : soundFontNames) {
      std::snprintf(fontPath, sizeof fontPath, "%s%s", soundFontFolder, name);
      if ((found = looksLikeSoundFont(fontPath))) break;
    }
    if (!found) {
      std::fprintf(stderr,
                   "wendlop: no music: no General MIDI SoundFont (%s, %s or %s in %s); "
                   "install timgm6mb-soundfont or set WENDLOP_SOUNDFONT\n",
                   soundFontNames[0], soundFontNames[1], soundFontNames[2], soundFontFolder);
      return false;
    }
  }
  if (!createSynth()) {
    std::fprintf(stderr, "wendlop: no music: the synthesizer could not be created\n");
    return false;
  }
  fontLoaded.store(false);
  if (!withDevice) {
    if (!loadFont()) {
      delete_fluid_synth(synth);
      delete_fluid_settings(settings);
      synth = nullptr;
      settings = nullptr;
      return false;
    }
    return true;
  }
  // Even a small SoundFont takes tens of milliseconds to read; the first
  // frame should not wait for it, so it loads beside the game.
  try {
    fontLoader = std::thread([] {
      // Below the game's threads: the first frames matter more than the
      // SoundFont, whose samples FluidSynth reads on several threads.
      setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
      loadFont();
    });
  } catch (...) {
    loadFont();
  }
  sysSetMusicSource(renderMusic);
  return true;
}

bool sysMidiOpen() {
  if (isOpen) return true;
  openKind = selectedKind;
  if (openKind == SysMidiDefault && sysIsHeadless()) openKind = SysMidiRecorder;
  if (openKind == SysMidiRecorder) {
    isOpen = true;
    return true;
  }
  isOpen = openSynth(openKind == SysMidiDefault);
  return isOpen;
}

void sysMidiClose() {
  if (!isOpen) return;
  isOpen = false;
  if (openKind == SysMidiRecorder) return;
  if (openKind == SysMidiDefault) sysSetMusicSource(nullptr);
  if (fontLoader.joinable()) fontLoader.join();
  {
    std::lock_guard<std::mutex> lock(renderMutex);
    delete_fluid_synth(synth);
    synth = nullptr;
  }
  delete_fluid_settings(settings);
  settings = nullptr;
  fontLoaded.store(false);
}

bool sysMidiReadyToPlay() {
  if (!isOpen) return false;
  if (openKind == SysMidiRecorder) return true;
  return fontLoaded.load(std::memory_order_acquire);
}

void sysMidiShortMsg(uint32_t message) {
  if (!isOpen) return;
  const uint8_t status = message & 0xFF;
  const int data1 = (message >> 8) & 0x7F;
  const int data2 = (message >> 16) & 0x7F;
  if (openKind == SysMidiRecorder) {
    SysMidiRecorderHook hook = recorderHook.load();
    if (hook) {
      const uint8_t bytes[3] = {status, static_cast<uint8_t>(message >> 8), static_cast<uint8_t>(message >> 16)};
      hook(bytes, sysMidiShortLength(status));
    }
    return;
  }
  // Nothing can sound before the SoundFont is in; the player does not start
  // a song until then, so only resets are dropped here.
  if (!fontLoaded.load(std::memory_order_acquire)) return;
  const int channel = status & 0x0F;
  switch (status & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth, channel, data1); break;
    case 0x90: fluid_synth_noteon(synth, channel, data1, data2); break;
    case 0xA0: fluid_synth_key_pressure(synth, channel, data1, data2); break;
    case 0xB0: fluid_synth_cc(synth, channel, data1, data2); break;
    case 0xC0: fluid_synth_program_change(synth, channel, data1); break;
    case 0xD0: fluid_synth_channel_pressure(synth, channel, data1); break;
    case 0xE0: fluid_synth_pitch_bend(synth, channel, (data2 << 7) | data1); break;
    default: break;  // system messages mean nothing to the synthesizer
  }
}

bool sysMidiLongMsg(const uint8_t* data, int length) {
  if (!isOpen || !data || length < 1) return false;
  if (openKind == SysMidiRecorder) {
    SysMidiRecorderHook hook = recorderHook.load();
    if (hook) hook(data, length);
    return true;
  }
  if (!fontLoaded.load(std::memory_order_acquire)) return false;
  // FluidSynth wants the body without the framing 0xF0 and 0xF7.
  const uint8_t* body = data;
  int bodyLength = length;
  if (bodyLength > 0 && body[0] == 0xF0) ++body, --bodyLength;
  if (bodyLength > 0 && body[bodyLength - 1] == 0xF7) --bodyLength;
  if (bodyLength <= 0) return true;
  return fluid_synth_sysex(synth, reinterpret_cast<const char*>(body), bodyLength, nullptr, nullptr, nullptr, 0) ==
         FLUID_OK;
}

void sysMidiRender(int16_t* out, int frames) {
  if (!isOpen || openKind != SysMidiOffline) {
    std::memset(out, 0, sizeof(int16_t) * 2 * static_cast<size_t>(frames));
    return;
  }
  renderMusic(out, frames);
}
