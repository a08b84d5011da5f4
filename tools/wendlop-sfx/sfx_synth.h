// A small synthesizer for the game's sound effects. Everything is integer
// arithmetic so that the same sources give the same WAV bytes on any machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int sfxRate = 44100;
constexpr int sfxMaxLengthMs = 5000;
constexpr int sfxMaxVoices = 64;
constexpr int sfxMaxPartials = 16;
constexpr int sfxMaxPoints = 64;

enum class SfxWave { Sine, Triangle, Noise };
enum class SfxFilter { None, Lowpass, Bandpass, Highpass };

// One breakpoint of an envelope or a pitch slide: a time in milliseconds from
// the start of the voice and a fixed-point value.
struct SfxPoint {
  int32_t ms;
  int64_t value;
};

// Units: levels and partial amplitudes Q30 (1.0 = 1 << 30); frequencies,
// semitones, ratios, FM index (radians) and resonance Q16.
struct SfxVoice {
  int line = 0;                   // where the voice begins in its source, for messages
  int32_t atMs = 0;
  SfxWave wave = SfxWave::Sine;
  std::vector<int64_t> partials;  // empty means a pure sine
  int64_t pitchQ16 = int64_t(440) << 16;
  std::vector<SfxPoint> slide;    // semitones relative to pitch
  int64_t vibratoRateQ16 = 0;
  int64_t vibratoDepthQ16 = 0;    // semitones either side
  std::vector<SfxPoint> env;      // amplitude 0..1; the voice ends at the last point
  bool squared = false;           // square the envelope: a natural-sounding decay
  int64_t levelQ30 = int64_t(1) << 30;
  int64_t fmRatioQ16 = 0;         // 0: no frequency modulation
  int64_t fmIndexQ16 = 0;
  int64_t fmIndexEndQ16 = 0;
  SfxFilter filter = SfxFilter::None;
  int64_t cutoffQ16 = 0;
  int64_t resonanceQ16 = int64_t(1) << 16;
  uint32_t seed = 1;
  std::vector<SfxPoint> notes;    // each note repeats the voice at its time and pitch
};

struct SfxEffect {
  int32_t lengthMs = 0;
  int64_t peakDbQ16 = -(int64_t(3) << 16);
  int32_t fadeMs = 3;
  std::vector<SfxVoice> voices;   // notes already expanded into plain voices
};

// Reads an effect description. On failure returns false and sets error to
// "line N: what is wrong".
bool sfxParse(const std::string& text, SfxEffect& effect, std::string& error);

// Renders lengthMs of mono 16-bit samples, faded in and out and scaled so
// that the loudest sample stands at the requested peak.
std::vector<int16_t> sfxRender(const SfxEffect& effect);

// Fixed-point helpers, exposed for the tests.
int64_t sfxSine(uint32_t phase);  // sin(2 pi phase / 2^32), Q30
int64_t sfxExp2(int64_t xQ30);    // 2^x, Q30; 0 below about 2^-30, saturates above 2^32
int64_t sfxNoteHzQ16(int semitonesFromA4);
bool sfxParseFixed(const std::string& text, int fracBits, int64_t& value);
