#include "sfx_synth.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>

// Floating point would do for the sound, but libm's sin, exp and pow may round
// differently between library versions, and the committed WAV files must come
// out byte for byte the same everywhere. So: integers throughout, with 128-bit
// intermediates where a product can exceed 64 bits.
__extension__ typedef __int128 SfxWide;

namespace {

constexpr int64_t one30 = int64_t(1) << 30;
constexpr int64_t ln2Q30 = 744261118;          // ln 2
constexpr int64_t halfPiQ30 = 1686629713;      // pi / 2
constexpr int64_t log2Of10Q30 = 3566893132;    // log2 10
constexpr int64_t turnPerRadianQ0 = 683565276; // 2^32 / (2 pi)
constexpr int64_t highestPartialQ16 = int64_t(20000) << 16;

int64_t mulShift(int64_t a, int64_t b, int shift) {
  return int64_t((SfxWide(a) * b) >> shift);
}

int64_t msToSamples(int64_t ms) { return ms * sfxRate / 1000; }

constexpr int sineBits = 12;
constexpr int sineSize = 1 << sineBits;

// sin x for 0 <= x <= pi/2 by its Taylor series, all in Q30.
int64_t quarterSine(int64_t x) {
  int64_t x2 = mulShift(x, x, 30);
  int64_t term = x, sum = x;
  for (int n = 1; n <= 9; ++n) {
    term = -mulShift(term, x2, 30) / ((2 * n) * (2 * n + 1));
    sum += term;
  }
  return sum;
}

const std::array<int32_t, sineSize + 1>& sineTable() {
  static const std::array<int32_t, sineSize + 1> table = [] {
    std::array<int32_t, sineSize + 1> t{};
    constexpr int quarter = sineSize / 4;
    for (int i = 0; i <= quarter; ++i) {
      int32_t v = int32_t(std::min<int64_t>(quarterSine(halfPiQ30 * i / quarter), one30));
      t[i] = v;                    // rising from 0 to 1
      t[2 * quarter - i] = v;      // falling back to 0
      t[2 * quarter + i] = -v;     // and the negative half
      t[4 * quarter - i] = -v;
    }
    t[0] = t[2 * quarter] = t[4 * quarter] = 0;
    return t;
  }();
  return table;
}

// Linear interpolation between breakpoints given in samples; before the first
// point the first value holds, after the last the last.
struct Track {
  std::vector<int64_t> at;
  std::vector<int64_t> value;
  size_t segment = 0;

  explicit Track(const std::vector<SfxPoint>& points) {
    for (const SfxPoint& p : points) {
      at.push_back(msToSamples(p.ms));
      value.push_back(p.value);
    }
  }
  bool empty() const { return at.empty(); }
  int64_t sample(int64_t i) {
    if (at.empty()) return 0;
    while (segment + 1 < at.size() && i >= at[segment + 1]) ++segment;
    if (i <= at[segment] || segment + 1 >= at.size()) return value[segment];
    int64_t span = at[segment + 1] - at[segment];
    return value[segment] + mulShift(value[segment + 1] - value[segment], i - at[segment], 0) / span;
  }
};

uint32_t xorshift(uint32_t& s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

// Adds one voice into the mix (Q30 samples).
void renderVoice(const SfxVoice& v, std::vector<int64_t>& mix) {
  Track env(v.env), slide(v.slide);
  const int64_t start = msToSamples(v.atMs);
  const int64_t length = env.empty() ? 0 : env.at.back();

  // Chamberlin state-variable filter; coefficients fixed for the voice.
  const int64_t f = 2 * sfxSine(uint32_t(v.cutoffQ16 * 32768 / sfxRate));
  const int64_t damping = (int64_t(1) << 46) / std::max<int64_t>(v.resonanceQ16, 1);
  int64_t low = 0, band = 0;

  uint32_t phase = v.wave == SfxWave::Triangle ? 0x40000000u : 0;  // triangle starts at 0
  uint32_t modPhase = 0;
  uint32_t vibratoPhase = 0;
  const uint32_t vibratoStep = uint32_t(v.vibratoRateQ16 * 65536 / sfxRate);
  uint32_t noise = v.seed ? v.seed : 1;
  int64_t held = 0;
  bool fresh = true;

  for (int64_t i = 0; i < length; ++i) {
    int64_t frame = start + i;
    if (frame >= int64_t(mix.size())) break;

    int64_t semitones = slide.sample(i);  // Q16
    if (v.vibratoDepthQ16 > 0) {
      semitones += mulShift(v.vibratoDepthQ16, sfxSine(vibratoPhase), 30);
      vibratoPhase += vibratoStep;
    }
    int64_t freq = v.pitchQ16;
    if (semitones != 0) freq = mulShift(freq, sfxExp2(semitones * (1 << 14) / 12), 30);
    freq = std::clamp<int64_t>(freq, 1, highestPartialQ16);
    const uint32_t step = uint32_t(freq * 65536 / sfxRate);

    uint32_t p = phase;
    if (v.fmRatioQ16 > 0) {
      int64_t index = v.fmIndexQ16 + (v.fmIndexEndQ16 - v.fmIndexQ16) * i / length;
      int64_t radians = mulShift(index, sfxSine(modPhase), 30);  // Q16
      p += uint32_t(mulShift(radians, turnPerRadianQ0, 16));
      modPhase += uint32_t(mulShift(step, v.fmRatioQ16, 16));
    }

    int64_t s = 0;
    switch (v.wave) {
      case SfxWave::Sine:
        if (v.partials.empty()) {
          s = sfxSine(p);
        } else {
          for (size_t k = 0; k < v.partials.size(); ++k) {
            int64_t harmonic = int64_t(k) + 1;
            if (freq * harmonic >= highestPartialQ16) break;  // no aliasing
            s += mulShift(v.partials[k], sfxSine(uint32_t(p * uint32_t(harmonic))), 30);
          }
        }
        break;
      case SfxWave::Triangle:
        s = p < 0x80000000u ? int64_t(p) - one30 : 3 * one30 - int64_t(p);
        break;
      case SfxWave::Noise:
        // Sample and hold: the pitch says how often a new random value is drawn.
        if (fresh) held = int64_t(int32_t(xorshift(noise))) >> 1;
        s = held;
        break;
    }
    uint32_t before = phase;
    phase += step;
    fresh = phase < before || freq >= (int64_t(sfxRate / 2) << 16);

    if (v.filter != SfxFilter::None) {
      low += mulShift(f, band, 30);
      int64_t high = s - low - mulShift(damping, band, 30);
      band += mulShift(f, high, 30);
      s = v.filter == SfxFilter::Lowpass ? low : v.filter == SfxFilter::Bandpass ? band : high;
    }

    int64_t level = env.sample(i);
    if (v.squared) level = mulShift(level, level, 30);
    mix[frame] += mulShift(mulShift(s, level, 30), v.levelQ30, 30);
  }
}

// ---- parsing ----

struct Parser {
  SfxEffect& effect;
  std::string& error;
  int line = 0;
  bool sawLength = false;
  std::vector<SfxVoice> voices;
  std::vector<bool> pitchGiven;

  Parser(SfxEffect& e, std::string& err) : effect(e), error(err) {}

  bool fail(const std::string& what) {
    error = "line " + std::to_string(line) + ": " + what;
    return false;
  }

  bool integer(const std::string& t, int64_t lo, int64_t hi, int64_t& out) {
    if (t.empty() || t.size() > 12) return false;
    size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
    if (i == t.size()) return false;
    int64_t v = 0;
    for (; i < t.size(); ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      v = v * 10 + (t[i] - '0');
    }
    if (t[0] == '-') v = -v;
    if (v < lo || v > hi) return false;
    out = v;
    return true;
  }

  bool fixed(const std::string& t, int bits, int64_t lo, int64_t hi, int64_t& out) {
    int64_t v;
    if (!sfxParseFixed(t, bits, v) || v < (lo << bits) || v > (hi << bits)) return false;
    out = v;
    return true;
  }

  // A frequency in hertz, or a note name such as C5, F#4 or Bb3 (A4 = 440 Hz).
  bool pitch(const std::string& t, int64_t& out) {
    if (!t.empty() && t[0] >= 'A' && t[0] <= 'G') {
      static const int letter[7] = {0, 2, -9, -7, -5, -4, -2};  // A B C D E F G
      int semis = letter[t[0] - 'A'];
      size_t i = 1;
      if (i < t.size() && (t[i] == '#' || t[i] == 'b')) semis += t[i++] == '#' ? 1 : -1;
      int64_t octave;
      if (!integer(t.substr(i), 0, 9, octave)) return false;
      out = sfxNoteHzQ16(semis + int(octave - 4) * 12);
      return true;
    }
    return fixed(t, 16, 10, 20000, out) && out >= (int64_t(10) << 16);
  }

  // "ms:value" pairs with rising times; notes may share a time (a chord).
  template <class ValueParser>
  bool points(const std::vector<std::string>& tok, std::vector<SfxPoint>& out, ValueParser value,
              bool shared = false) {
    if (tok.size() < 2) return fail("'" + tok[0] + "' needs at least one time:value point");
    if (tok.size() - 1 > size_t(sfxMaxPoints)) return fail("too many points");
    out.clear();
    for (size_t k = 1; k < tok.size(); ++k) {
      size_t colon = tok[k].find(':');
      int64_t ms, v;
      if (colon == std::string::npos || !integer(tok[k].substr(0, colon), 0, sfxMaxLengthMs, ms))
        return fail("bad point '" + tok[k] + "' (want ms:value)");
      if (!value(tok[k].substr(colon + 1), v)) return fail("bad value in '" + tok[k] + "'");
      if (!out.empty() && (ms < out.back().ms || (ms == out.back().ms && !shared)))
        return fail("point times must rise");
      out.push_back({int32_t(ms), v});
    }
    return true;
  }

  bool global(const std::vector<std::string>& tok) {
    const std::string& key = tok[0];
    int64_t v;
    if (key == "voice") {
      if (tok.size() != 1) return fail("'voice' takes nothing after it");
      if (voices.size() >= size_t(sfxMaxVoices)) return fail("too many voices");
      voices.emplace_back();
      voices.back().line = line;
      voices.back().seed = uint32_t(voices.size());
      pitchGiven.push_back(false);
      return true;
    }
    if (tok.size() != 2) return fail("'" + key + "' takes one value");
    if (key == "length") {
      if (!integer(tok[1], 1, sfxMaxLengthMs, v)) return fail("length must be 1 to 5000 ms");
      effect.lengthMs = int32_t(v);
      sawLength = true;
    } else if (key == "peak") {
      if (!fixed(tok[1], 16, -40, 0, v) || v > -(int64_t(1) << 16) / 10)
        return fail("peak must be from -40 to -0.1 dBFS");
      effect.peakDbQ16 = v;
    } else if (key == "fade") {
      if (!integer(tok[1], 1, 100, v)) return fail("fade must be 1 to 100 ms");
      effect.fadeMs = int32_t(v);
    } else {
      return fail("unknown setting '" + key + "'");
    }
    return true;
  }

  bool voiceSetting(const std::vector<std::string>& tok) {
    SfxVoice& v = voices.back();
    const std::string& key = tok[0];
    auto one = [&](bool ok, const char* what) { return tok.size() == 2 && ok ? true : fail(what); };
    if (key == "at") {
      int64_t ms = 0;
      return one(tok.size() == 2 && integer(tok[1], 0, sfxMaxLengthMs, ms), "at must be 0 to 5000 ms") &&
             (v.atMs = int32_t(ms), true);
    }
    if (key == "wave") {
      if (tok.size() != 2) return fail("wave takes one name");
      if (tok[1] == "sine") v.wave = SfxWave::Sine;
      else if (tok[1] == "triangle") v.wave = SfxWave::Triangle;
      else if (tok[1] == "noise") v.wave = SfxWave::Noise;
      else return fail("wave must be sine, triangle or noise");
      return true;
    }
    if (key == "pitch") {
      pitchGiven.back() = true;
      return one(tok.size() == 2 && pitch(tok[1], v.pitchQ16), "pitch must be 10 to 20000 Hz or a note like C5");
    }
    if (key == "level") return one(tok.size() == 2 && fixed(tok[1], 30, 0, 4, v.levelQ30), "level must be 0 to 4");
    if (key == "seed") {
      int64_t s = 0;
      return one(tok.size() == 2 && integer(tok[1], 1, 4294967295LL, s), "seed must be 1 to 4294967295") &&
             (v.seed = uint32_t(s), true);
    }
    if (key == "shape") {
      if (tok.size() == 2 && (tok[1] == "linear" || tok[1] == "squared")) {
        v.squared = tok[1] == "squared";
        return true;
      }
      return fail("shape must be linear or squared");
    }
    if (key == "partials") {
      if (tok.size() < 2 || tok.size() - 1 > size_t(sfxMaxPartials)) return fail("partials takes 1 to 16 amplitudes");
      v.partials.clear();
      for (size_t k = 1; k < tok.size(); ++k) {
        int64_t a;
        if (!fixed(tok[k], 30, -4, 4, a)) return fail("partial amplitudes must be -4 to 4");
        v.partials.push_back(a);
      }
      return true;
    }
    if (key == "env")
      return points(tok, v.env, [&](const std::string& t, int64_t& out) { return fixed(t, 30, 0, 1, out); });
    if (key == "slide")
      return points(tok, v.slide, [&](const std::string& t, int64_t& out) { return fixed(t, 16, -48, 48, out); });
    if (key == "notes")
      return points(tok, v.notes, [&](const std::string& t, int64_t& out) { return pitch(t, out); }, true);
    if (key == "fm") {
      if (tok.size() != 3 && tok.size() != 4) return fail("fm takes a ratio, an index and an optional end index");
      if (!fixed(tok[1], 16, 0, 16, v.fmRatioQ16) || v.fmRatioQ16 == 0) return fail("fm ratio must be above 0, at most 16");
      if (!fixed(tok[2], 16, 0, 20, v.fmIndexQ16)) return fail("fm index must be 0 to 20");
      v.fmIndexEndQ16 = v.fmIndexQ16;
      if (tok.size() == 4 && !fixed(tok[3], 16, 0, 20, v.fmIndexEndQ16)) return fail("fm end index must be 0 to 20");
      return true;
    }
    if (key == "vibrato") {
      if (tok.size() != 3 || !fixed(tok[1], 16, 0, 50, v.vibratoRateQ16) || !fixed(tok[2], 16, 0, 12, v.vibratoDepthQ16))
        return fail("vibrato takes a rate (0 to 50 Hz) and a depth (0 to 12 semitones)");
      return true;
    }
    if (key == "lowpass" || key == "bandpass" || key == "highpass") {
      if (tok.size() != 2 && tok.size() != 3) return fail(key + " takes a cutoff and an optional resonance");
      if (!fixed(tok[1], 16, 20, 7000, v.cutoffQ16) || v.cutoffQ16 < (int64_t(20) << 16))
        return fail("cutoff must be 20 to 7000 Hz");
      v.resonanceQ16 = int64_t(1) << 16;
      if (tok.size() == 3 && (!fixed(tok[2], 16, 0, 20, v.resonanceQ16) || v.resonanceQ16 < (int64_t(1) << 15)))
        return fail("resonance must be 0.5 to 20");
      v.filter = key == "lowpass" ? SfxFilter::Lowpass : key == "bandpass" ? SfxFilter::Bandpass : SfxFilter::Highpass;
      return true;
    }
    return global(tok);
  }

  bool finish() {
    if (!sawLength) return fail("no 'length' given");
    if (voices.empty()) return fail("no voice given");
    for (size_t k = 0; k < voices.size(); ++k) {
      SfxVoice& v = voices[k];
      line = v.line;
      if (v.env.size() < 2) return fail("the voice needs an env of at least two points");
      if (v.wave != SfxWave::Sine && !v.partials.empty()) return fail("partials are for sine voices");
      if (v.wave == SfxWave::Noise && !pitchGiven[k]) v.pitchQ16 = int64_t(sfxRate) << 16;  // new value every sample
      if (v.notes.empty()) {
        effect.voices.push_back(v);
        continue;
      }
      for (const SfxPoint& n : v.notes) {
        SfxVoice copy = v;
        copy.notes.clear();
        copy.atMs = v.atMs + n.ms;
        copy.pitchQ16 = n.value;
        effect.voices.push_back(copy);
      }
    }
    return true;
  }
};

}  // namespace

int64_t sfxSine(uint32_t phase) {
  const auto& t = sineTable();
  uint32_t i = phase >> (32 - sineBits);
  int64_t frac = phase & ((1u << (32 - sineBits)) - 1);
  return t[i] + (((int64_t(t[i + 1]) - t[i]) * frac) >> (32 - sineBits));
}

int64_t sfxExp2(int64_t xQ30) {
  int64_t whole = xQ30 >> 30;  // floor, also for negative x
  int64_t y = mulShift(xQ30 & (one30 - 1), ln2Q30, 30);
  int64_t term = one30, sum = one30;
  for (int k = 1; k <= 14; ++k) {
    term = mulShift(term, y, 30) / k;
    sum += term;
  }
  if (whole >= 0) return sum << std::min<int64_t>(whole, 32);
  if (whole < -62) return 0;
  int s = int(-whole);
  return (sum + (int64_t(1) << (s - 1))) >> s;
}

int64_t sfxNoteHzQ16(int semitonesFromA4) {
  return mulShift(int64_t(440) << 16, sfxExp2((int64_t(semitonesFromA4) << 30) / 12), 30);
}

bool sfxParseFixed(const std::string& text, int fracBits, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t whole = 0, frac = 0, scale = 1;
  int digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    if (digits >= 7) return false;
    whole = whole * 10 + (text[i] - '0');
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (int d = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++d, ++digits) {
      if (d >= 9) return false;
      frac = frac * 10 + (text[i] - '0');
      scale *= 10;
    }
  }
  if (digits == 0 || i != text.size() || fracBits < 0 || fracBits > 32) return false;
  int64_t v = (whole << fracBits) + ((frac << fracBits) + scale / 2) / scale;
  value = negative ? -v : v;
  return true;
}

bool sfxParse(const std::string& text, SfxEffect& effect, std::string& error) {
  effect = SfxEffect{};
  Parser parser(effect, error);
  std::istringstream in(text);
  std::string raw;
  while (std::getline(in, raw)) {
    ++parser.line;
    // A comment starts at a '#' that begins a word, so that F#4 stays a note.
    size_t hash = 0;
    while ((hash = raw.find('#', hash)) != std::string::npos && hash > 0 && !std::isspace((unsigned char)raw[hash - 1]))
      ++hash;
    std::string content = raw.substr(0, hash);
    std::istringstream words(content);
    std::vector<std::string> tok;
    for (std::string w; words >> w;) tok.push_back(w);
    if (tok.empty()) continue;
    bool ok = parser.voices.empty() || tok[0] == "voice" ? parser.global(tok) : parser.voiceSetting(tok);
    if (!ok) {
      if (error.find("unknown setting") != std::string::npos && parser.voices.empty())
        error += " (voice settings come after a 'voice' line)";
      return false;
    }
  }
  if (!parser.finish()) return false;
  if (effect.voices.size() > size_t(sfxMaxVoices) * 4) {
    error = "line " + std::to_string(parser.line) + ": too many notes in all (at most " +
            std::to_string(sfxMaxVoices * 4) + ")";
    return false;
  }
  return true;
}

std::vector<int16_t> sfxRender(const SfxEffect& effect) {
  const int64_t n = msToSamples(std::clamp(effect.lengthMs, 0, sfxMaxLengthMs));
  std::vector<int64_t> mix(size_t(n), 0);
  for (const SfxVoice& v : effect.voices) renderVoice(v, mix);

  // Ramps that start and end at exactly zero: no click whatever the voices do.
  const int64_t fade = std::min<int64_t>(msToSamples(effect.fadeMs), n / 2);
  for (int64_t i = 0; i < fade; ++i) {
    mix[i] = mix[i] * i / fade;
    mix[n - 1 - i] = mix[n - 1 - i] * i / fade;
  }

  int64_t peak = 0;
  for (int64_t s : mix) peak = std::max(peak, s < 0 ? -s : s);
  std::vector<int16_t> out(size_t(n), 0);
  if (peak == 0) return out;

  // target = 32767 * 10^(dB / 20), kept in Q16 for the rounding below
  const int64_t gainQ30 = sfxExp2(mulShift(effect.peakDbQ16, log2Of10Q30, 16) / 20);
  const int64_t targetQ16 = mulShift(32767, gainQ30, 14);
  const SfxWide denominator = SfxWide(peak) << 16;
  for (int64_t i = 0; i < n; ++i) {
    SfxWide num = SfxWide(mix[i]) * targetQ16;
    SfxWide q = (num < 0 ? -num + denominator / 2 : num + denominator / 2) / denominator;
    int64_t v = std::min<int64_t>(int64_t(q), 32767);
    out[size_t(i)] = int16_t(num < 0 ? -v : v);
  }
  return out;
}

