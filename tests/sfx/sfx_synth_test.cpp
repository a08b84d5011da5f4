// The effect synthesizer: its fixed-point arithmetic, its source format and
// what it renders.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sfx_synth.h"
#include "wav_file.h"

namespace {

constexpr double q30 = 1073741824.0;

SfxEffect parseOk(const std::string& text) {
  SfxEffect e;
  std::string error;
  EXPECT_TRUE(sfxParse(text, e, error)) << error;
  return e;
}

std::string parseError(const std::string& text) {
  SfxEffect e;
  std::string error;
  EXPECT_FALSE(sfxParse(text, e, error)) << "accepted:\n" << text;
  return error;
}

double peakDb(const std::vector<int16_t>& s) {
  int peak = 0;
  for (int16_t v : s) peak = std::max(peak, std::abs(int(v)));
  return 20 * std::log10(peak / 32768.0);
}

double rms(const std::vector<int16_t>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
  return std::sqrt(sum / double(to - from));
}

// Frequency from rising zero crossings between two sample positions.
double frequency(const std::vector<int16_t>& s, size_t from, size_t to) {
  size_t first = 0, last = 0, count = 0;
  for (size_t i = from + 1; i < to; ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) {
      if (count == 0) first = i;
      last = i;
      ++count;
    }
  }
  return count < 2 ? 0 : (count - 1) * double(sfxRate) / double(last - first);
}

TEST(SfxFixedPoint, SineAndExp2FollowTheRealFunctions) {
  double worst = 0;
  for (uint64_t p = 0; p < (uint64_t(1) << 32); p += 9999991) {
    double expect = std::sin(2 * M_PI * double(p) / 4294967296.0);
    worst = std::max(worst, std::fabs(sfxSine(uint32_t(p)) / q30 - expect));
  }
  EXPECT_LT(worst, 1e-6);
  EXPECT_EQ(sfxSine(0), 0);
  EXPECT_EQ(sfxSine(0x40000000u), int64_t(q30));
  EXPECT_EQ(sfxSine(0xC0000000u), -int64_t(q30));

  for (double x = -20; x <= 20; x += 0.173) {
    double got = sfxExp2(int64_t(std::llround(x * q30))) / q30;
    EXPECT_NEAR(got, std::exp2(x), std::exp2(x) * 1e-7 + 2 / q30) << "2^" << x;
  }
  EXPECT_EQ(sfxExp2(-(int64_t(70) << 30)), 0);
  EXPECT_GT(sfxExp2(int64_t(40) << 30), 0) << "saturates instead of overflowing";

  EXPECT_NEAR(sfxNoteHzQ16(0) / 65536.0, 440.0, 1e-3);
  EXPECT_NEAR(sfxNoteHzQ16(3) / 65536.0, 523.2511, 1e-3);    // C5
  EXPECT_NEAR(sfxNoteHzQ16(-33) / 65536.0, 65.4064, 1e-3);   // C2
}

TEST(SfxFixedPoint, DecimalsParseExactlyAndRejectJunk) {
  int64_t v = 0;
  ASSERT_TRUE(sfxParseFixed("1.5", 16, v));
  EXPECT_EQ(v, 3 << 15);
  ASSERT_TRUE(sfxParseFixed("-0.25", 30, v));
  EXPECT_EQ(v, -(int64_t(1) << 28));
  ASSERT_TRUE(sfxParseFixed("+12", 0, v));
  EXPECT_EQ(v, 12);
  ASSERT_TRUE(sfxParseFixed(".5", 1, v));
  EXPECT_EQ(v, 1);
  for (const char* bad : {"", "-", ".", "1.2.3", "abc", "1e5", "12x", "99999999", "0.1234567891", "--1"})
    EXPECT_FALSE(sfxParseFixed(bad, 16, v)) << bad;
}

TEST(SfxParse, ReadsSettingsVoicesAndChords) {
  SfxEffect e = parseOk(
      "# comment line\n"
      "length 250   # ms\n"
      "#peak -1 (a comment, also without a space)\n"
      "peak -6.5\n"
      "fade 5\n"
      "voice\n"
      "  wave triangle\n"
      "  pitch F#4\n"
      "  env 0:0 10:1 200:0\n"
      "voice\n"
      "  at 20\n"
      "  env 0:0 5:1 50:0\n"
      "  notes 0:C5 0:E5 100:Bb3\n");
  EXPECT_EQ(e.lengthMs, 250);
  EXPECT_EQ(e.peakDbQ16, -(int64_t(13) << 15));
  EXPECT_EQ(e.fadeMs, 5);
  ASSERT_EQ(e.voices.size(), 4u) << "one plain voice and three notes";
  EXPECT_EQ(e.voices[0].wave, SfxWave::Triangle);
  EXPECT_NEAR(e.voices[0].pitchQ16 / 65536.0, 369.994, 1e-2);
  EXPECT_EQ(e.voices[1].atMs, 20);
  EXPECT_EQ(e.voices[2].atMs, 20);
  EXPECT_EQ(e.voices[3].atMs, 120);
  EXPECT_NEAR(e.voices[2].pitchQ16 / 65536.0, 659.255, 1e-2);
  EXPECT_NEAR(e.voices[3].pitchQ16 / 65536.0, 233.082, 1e-2);
  EXPECT_TRUE(e.voices[3].notes.empty());
}

TEST(SfxParse, NamesTheLineOfEachMistake) {
  const std::string head = "length 100\nvoice\n  env 0:0 50:1 90:0\n";
  EXPECT_EQ(parseError(head + "  wobble 3\n"), "line 4: unknown setting 'wobble'");
  EXPECT_NE(parseError("voice\n  env 0:0 9:0\n").find("no 'length'"), std::string::npos);
  EXPECT_NE(parseError("length 100\n").find("no voice"), std::string::npos);
  EXPECT_NE(parseError("length 100\nvoice\n  env 0:1\n").find("line 2"), std::string::npos);
  EXPECT_NE(parseError(head + "  env 0:0 50:1 50:0\n").find("rise"), std::string::npos);
  EXPECT_NE(parseError(head + "  env 0:0 50:1.5\n").find("line 4"), std::string::npos);
  EXPECT_NE(parseError(head + "  notes 50:C5 10:D5\n").find("rise"), std::string::npos);
  EXPECT_NE(parseError("length 100\npitch 400\n").find("after a 'voice'"), std::string::npos);
  EXPECT_NE(parseError(head + "  wave noise\n  partials 1 0.5\n").find("partials"), std::string::npos);

  // Values outside what the renderer handles safely never get through.
  for (const char* line : {"length 0", "length 5001", "length 99999999999999", "peak 0", "peak -0.05",
                           "peak -41", "fade 0", "  pitch 5", "  pitch 30000", "  pitch H4", "  pitch C10",
                           "  lowpass 9000", "  bandpass 1000 0.1", "  fm 0 1", "  fm 2 25",
                           "  slide 0:0 10:49", "  level -1", "  at -5", "  seed 0", "  vibrato 60 1",
                           "  shape curvy", "  wave square", "  partials"})
    EXPECT_NE(parseError(head + line + "\n").find("line 4"), std::string::npos) << line;
}

TEST(SfxParse, RefusesHostileSizes) {
  std::string many = "length 100\n";
  for (int i = 0; i <= sfxMaxVoices; ++i) many += "voice\n env 0:0 10:0\n";
  EXPECT_NE(parseError(many).find("too many voices"), std::string::npos);

  std::string points = "length 100\nvoice\n env";
  for (int i = 0; i <= sfxMaxPoints; ++i) points += " " + std::to_string(i) + ":0";
  EXPECT_NE(parseError(points).find("too many points"), std::string::npos);

  std::string chords = "length 100\n";
  for (int i = 0; i < 5; ++i) {
    chords += "voice\n env 0:0 10:0\n notes";
    for (int n = 0; n < sfxMaxPoints; ++n) chords += " 0:C4";
    chords += "\n";
  }
  EXPECT_NE(parseError(chords).find("too many notes"), std::string::npos);

  const char binary[] = "length 100\nvoice\n env 0:0 5:1\0\xff\xfe\n";
  parseError(std::string(binary, sizeof binary - 1));
}

TEST(SfxRender, HitsTheRequestedPeakAndFadesBothEnds) {
  for (const char* peak : {"-3", "-12.5"}) {
    SfxEffect e = parseOk(std::string("length 200\npeak ") + peak +
                          "\nvoice\n pitch 1000\n env 0:1 200:1\n");  // full level from the first sample
    std::vector<int16_t> s = sfxRender(e);
    ASSERT_EQ(s.size(), 8820u);
    EXPECT_NEAR(peakDb(s), std::atof(peak), 0.01);
    EXPECT_EQ(s.front(), 0);
    EXPECT_EQ(s.back(), 0);
    // The fade is a ramp, not a cut: half-way through it the level is about half.
    EXPECT_LT(rms(s, 60, 72), rms(s, 400, 800) * 0.7);
    EXPECT_GT(rms(s, 60, 72), rms(s, 400, 800) * 0.2);
  }
}

TEST(SfxRender, PitchSlideVibratoAndNotesLandWhereAsked) {
  std::vector<int16_t> s = sfxRender(parseOk("length 400\nvoice\n pitch A4\n env 0:1 400:1\n"));
  EXPECT_NEAR(frequency(s, 1000, 17000), 440, 1);

  s = sfxRender(parseOk("length 400\nvoice\n pitch 440\n slide 0:0 100:12\n env 0:1 400:1\n"));
  EXPECT_NEAR(frequency(s, 5000, 17000), 880, 2) << "an octave up once the slide is done";

  // A voice that starts late and a note past the end of the effect.
  s = sfxRender(parseOk("length 300\nvoice\n pitch 660\n env 0:0 5:1 150:1 155:0\n notes 100:E5 280:C5\n"));
  EXPECT_LT(rms(s, 0, 4000), 1.0) << "silent before the first note";
  EXPECT_NEAR(frequency(s, 4600, 10500), 659.26, 2);
  EXPECT_EQ(s.size(), 13230u) << "the late note is cut, not allowed to stretch the file";

  s = sfxRender(parseOk("length 1000\nvoice\n pitch 1000\n vibrato 5 1\n env 0:1 1000:1\n"));
  EXPECT_GT(frequency(s, 400, 1800), 1025) << "the first quarter of the wobble goes up";
  EXPECT_LT(frequency(s, 4600, 6400), 975) << "the third goes down";
}

TEST(SfxRender, PartialsAboveHearingAreDroppedRatherThanFoldedBack) {
  // The tenth partial of 2 kHz would alias to 24.1 kHz - 44.1 kHz; the renderer
  // leaves it out, so the result equals the same voice without it.
  auto render = [](const char* partials) {
    return sfxRender(parseOk(std::string("length 100\nvoice\n pitch 2000\n env 0:1 100:1\n partials ") +
                             partials + "\n"));
  };
  EXPECT_EQ(render("1 0 0 0 0 0 0 0 0 0.5"), render("1"));
  EXPECT_NE(render("1 0 0.5"), render("1"));
}

TEST(SfxRender, FiltersShapeNoiseAndStayStable) {
  auto render = [](const std::string& filter) {
    return sfxRender(parseOk("length 1000\nvoice\n wave noise\n env 0:1 1000:1\n" + filter));
  };
  auto roughness = [](const std::vector<int16_t>& s) {
    double d = 0;
    for (size_t i = 1; i < s.size(); ++i) d += std::fabs(double(s[i]) - s[i - 1]);
    return d / rms(s, 0, s.size());
  };
  std::vector<int16_t> plain = render(""), low = render(" lowpass 300\n"), high = render(" highpass 5000\n");
  EXPECT_LT(roughness(low), roughness(plain) * 0.25);
  EXPECT_GT(roughness(high), roughness(plain));

  // The sharpest filter allowed, at its highest cutoff: an unstable filter
  // would grow, and after normalising the start would be near silent.
  std::vector<int16_t> sharp = render(" bandpass 7000 20\n");
  double early = rms(sharp, 2000, 20000), late = rms(sharp, 24000, 42000);
  EXPECT_GT(early, late * 0.5);
  EXPECT_LT(early, late * 2.0);

  // The same seed gives the same noise; another seed, other noise.
  EXPECT_EQ(render(" seed 5\n"), render(" seed 5\n"));
  EXPECT_NE(render(" seed 5\n"), render(" seed 6\n"));
}

TEST(SfxRender, SilentOrLoudVoicesNeverOverflow) {
  std::vector<int16_t> s = sfxRender(parseOk("length 50\nvoice\n env 0:0 50:0\n"));
  ASSERT_EQ(s.size(), 2205u);
  for (int16_t v : s) ASSERT_EQ(v, 0);

  std::string loud = "length 300\npeak -0.1\n";
  for (int i = 0; i < sfxMaxVoices; ++i)
    loud += "voice\n level 4\n fm 16 20\n partials 4 4 4 4 4 4 4 4\n pitch 60\n env 0:1 300:1\n";
  s = sfxRender(parseOk(loud));
  EXPECT_NEAR(peakDb(s), -0.1, 0.01);
  for (int16_t v : s) ASSERT_LT(std::abs(int(v)), 32767);
}

TEST(SfxSources, TheCommittedFilesAreWhatTheSourcesMakeNow) {
  // A source edited without re-running the tool would ship stale sounds.
  for (int id = 0; id < 13; ++id) {
    const std::string name = "se" + std::to_string(id);
    std::ifstream src(std::string(WENDLOP_SOURCE_DIR) + "/assets/sfx/" + name + ".sfx", std::ios::binary);
    std::ifstream wav(std::string(WENDLOP_SOURCE_DIR) + "/data/se/" + name + ".wav", std::ios::binary);
    ASSERT_TRUE(src && wav) << name;
    std::string text((std::istreambuf_iterator<char>(src)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> committed((std::istreambuf_iterator<char>(wav)), std::istreambuf_iterator<char>());
    SfxEffect e = parseOk(text);
    const std::vector<int16_t> samples = sfxRender(e);
    EXPECT_TRUE(encodeWav16(samples.data(), samples.size(), 1, sfxRate) == committed)
        << name << ".wav differs from its source";
  }
}

TEST(SfxWav, WritesThePlainHeaderAndLittleEndianSamples) {
  const int16_t samples[] = {0, -2, 258};
  std::vector<uint8_t> f = encodeWav16(samples, 3, 1, 44100);
  const uint8_t head[44] = {'R', 'I', 'F', 'F', 42, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                            16, 0, 0, 0, 1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0,
                            2, 0, 16, 0, 'd', 'a', 't', 'a', 6, 0, 0, 0};
  ASSERT_EQ(f.size(), 50u);
  EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.begin() + 44), std::vector<uint8_t>(head, head + 44));
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 44, f.end()), (std::vector<uint8_t>{0, 0, 0xFE, 0xFF, 2, 1}));
}

}  // namespace
