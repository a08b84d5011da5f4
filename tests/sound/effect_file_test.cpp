// Reading effect files: what a file must hold to play, and how much of it plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "sound/effect_file.h"
#include "wav_maker.h"

namespace {

struct Loaded {
  EffectFileResult result;
  std::vector<int16_t> samples;
  EffectFormat format;
  size_t frames() const { return samples.size() / 2; }
};

Loaded load(const std::string& bytes) {
  ScratchFolder here;
  EXPECT_TRUE(writeFile("se/x.wav", bytes));
  Loaded l;
  l.result = readEffectFile("se/x.wav", &l.samples, &l.format);
  return l;
}

std::vector<int16_t> ramp(int frames) {
  std::vector<int16_t> s;
  for (int i = 0; i < frames; ++i) {
    s.push_back(static_cast<int16_t>(100 * i));
    s.push_back(static_cast<int16_t>(-100 * i));
  }
  return s;
}

TEST(EffectFile, PlainFileAtDeviceFormatPassesThroughUnchanged) {
  std::vector<int16_t> in = ramp(300);
  Loaded l = load(deviceWav(in));
  ASSERT_EQ(l.result, EffectLoaded);
  EXPECT_EQ(l.format.channels, 2);
  EXPECT_EQ(l.format.samplesPerSec, 44100);
  EXPECT_EQ(l.format.blockAlign, 4);
  EXPECT_EQ(l.format.bitsPerSample, 16);
  EXPECT_EQ(l.samples, in);
}

TEST(EffectFile, DataIsFoundWhereverItFirstStands) {
  std::vector<int16_t> in = ramp(50);
  // The 18-byte format chunk moves "data" two bytes on.
  Loaded longFmt = load(riff(chunk("fmt ", fmtPayload(2, 44100, 16, true)) + chunk("data", pcm16(in))));
  ASSERT_EQ(longFmt.result, EffectLoaded);
  EXPECT_EQ(longFmt.samples, in);

  // Another chunk between the format and the data.
  Loaded listFirst = load(riff(chunk("fmt ", fmtPayload(2, 44100, 16)) +
                               chunk("LIST", "INFOISFT" + le32(6) + "tools!") + chunk("data", pcm16(in))));
  ASSERT_EQ(listFirst.result, EffectLoaded);
  EXPECT_EQ(listFirst.samples, in);

  // "data" inside an earlier chunk is taken as the data chunk: its size field
  // and the bytes after it become the samples.
  std::vector<int16_t> decoy = {7, -7, 9, -9};
  Loaded inside = load(riff(chunk("fmt ", fmtPayload(2, 44100, 16)) +
                            chunk("note", "data" + le32(8) + pcm16(decoy)) + chunk("data", pcm16(in))));
  ASSERT_EQ(inside.result, EffectLoaded);
  EXPECT_EQ(inside.samples, decoy);
}

TEST(EffectFile, HeaderFaultsAreRefused) {
  std::string good = deviceWav(ramp(10));
  EXPECT_EQ(load(good.substr(0, 35)).result, EffectNotWave);
  EXPECT_EQ(load("").result, EffectNotWave);
  std::string notWave = good;
  notWave.replace(8, 4, "AVI ");
  EXPECT_EQ(load(notWave).result, EffectNotWave);

  std::string small = good;
  small.replace(4, 4, le32(27));
  EXPECT_EQ(load(small).result, EffectRiffTooSmall);
  // 28 is allowed but leaves nothing to search.
  small.replace(4, 4, le32(28));
  EXPECT_EQ(load(small).result, EffectNoData);

  ScratchFolder here;
  std::vector<int16_t> samples = {1, 2};
  EffectFormat format;
  std::string why;
  EXPECT_EQ(readEffectFile("se/none.wav", &samples, &format, &why), EffectMissing);
  EXPECT_EQ(why, "is missing");
  EXPECT_TRUE(samples.empty());
  // There, but not readable as a file: not called missing.
  std::filesystem::create_directories("se/folder.wav");
  EXPECT_EQ(readEffectFile("se/folder.wav", &samples, &format, &why), EffectUnreadable);
  EXPECT_EQ(why, "is a folder, not a file");
}

TEST(EffectFile, SearchStaysInsideTheRiffSize) {
  std::string fmt = chunk("fmt ", fmtPayload(2, 44100, 16));
  // The RIFF size ends the search before the data chunk that follows.
  std::string body = fmt + chunk("LIST", std::string(8, 'x')) + chunk("data", pcm16(ramp(4)));
  EXPECT_EQ(load(riff(body, 4 + static_cast<int64_t>(fmt.size()) + 16)).result, EffectNoData);
  // "data" in the last four bytes read, with no room for its size.
  EXPECT_EQ(load(riff(fmt + "data")).result, EffectNoData);
  EXPECT_EQ(load(riff(fmt + "data" + "\x10\x00")).result, EffectNoData);
  EXPECT_EQ(load(riff(fmt + chunk("junk", "no samples here"))).result, EffectNoData);
}

TEST(EffectFile, DataSizeIsCutToTheBytesAndWholeFrames) {
  std::string fmt = chunk("fmt ", fmtPayload(2, 44100, 16));
  std::vector<int16_t> in = ramp(20);

  // Claims far more than the file holds, RIFF size included.
  std::string past = riff(fmt + "data" + le32(0x7ffffff0) + pcm16(in), 0xfffffff0);
  Loaded cut = load(past);
  ASSERT_EQ(cut.result, EffectLoaded);
  EXPECT_EQ(cut.samples, in);

  // Half a frame short of 20 frames: 19 whole frames play.
  std::string ragged = fmt + "data" + le32(78) + pcm16(in);
  Loaded whole = load(riff(ragged));
  ASSERT_EQ(whole.result, EffectLoaded);
  EXPECT_EQ(whole.samples, std::vector<int16_t>(in.begin(), in.begin() + 38));

  // The file itself ends inside a frame.
  Loaded shortTail = load(riff(fmt + "data" + le32(80) + pcm16(in).substr(0, 77)));
  ASSERT_EQ(shortTail.result, EffectLoaded);
  EXPECT_EQ(shortTail.frames(), 19u);

  EXPECT_EQ(load(riff(fmt + "data" + le32(0) + pcm16(in))).result, EffectNoSamples);
  EXPECT_EQ(load(riff(fmt + "data" + le32(3) + pcm16(in))).result, EffectNoSamples);
  EXPECT_EQ(load(riff(fmt + "data" + le32(80))).result, EffectNoSamples);
}

TEST(EffectFile, FormatsThatCannotPlayAreRefused) {
  std::string data = chunk("data", std::string(64, '\0'));
  auto withFmt = [&](int channels, int rate, int bits, int align) {
    return load(riff(chunk("fmt ", fmtPayload(channels, rate, bits, false, align)) + data));
  };
  EXPECT_EQ(withFmt(0, 44100, 16, 0).result, EffectBadFormat);
  EXPECT_EQ(withFmt(3, 44100, 16, 6).result, EffectBadFormat);
  EXPECT_EQ(withFmt(2, 44100, 24, 6).result, EffectBadFormat);
  EXPECT_EQ(withFmt(2, 44100, 16, 2).result, EffectBadFormat);  // frames of the wrong size
  EXPECT_EQ(withFmt(1, 0, 16, 2).result, EffectBadFormat);
  Loaded huge = withFmt(1, -1, 16, 2);  // 4,294,967,295 Hz
  EXPECT_EQ(huge.result, EffectBadFormat);
  EXPECT_GT(huge.format.samplesPerSec, 0);
}

TEST(EffectFile, OtherFormatsAreConvertedToTheDeviceFormat) {
  // 8-bit unsigned mono at half the rate: twice the frames, centred on zero,
  // the same on both sides.
  std::string bytes;
  for (int i = 0; i < 2205; ++i) bytes += static_cast<char>(i % 2 ? 128 + 100 : 128 - 100);
  bytes.replace(0, 2000, std::string(2000, static_cast<char>(128)));
  Loaded l = load(simpleWav(1, 22050, 8, bytes));
  ASSERT_EQ(l.result, EffectLoaded);
  EXPECT_NEAR(static_cast<double>(l.frames()), 4410.0, 8.0);
  int16_t quietPeak = 0, loudPeak = 0;
  for (size_t f = 0; f < l.frames(); ++f) {
    EXPECT_EQ(l.samples[2 * f], l.samples[2 * f + 1]);
    int16_t a = static_cast<int16_t>(std::abs(l.samples[2 * f]));
    (f < 3900 ? quietPeak : loudPeak) = std::max<int16_t>(f < 3900 ? quietPeak : loudPeak, a);
  }
  EXPECT_LT(quietPeak, 200);
  EXPECT_GT(loudPeak, 20000);

  // A rate far below the device's cannot make an effect longer than the cap.
  Loaded slow = load(simpleWav(1, 100, 8, std::string(10000, static_cast<char>(200))));
  ASSERT_EQ(slow.result, EffectLoaded);
  EXPECT_LE(slow.frames(), static_cast<size_t>(kEffectMaxSeconds * 44100 + 1000));
  EXPECT_GE(slow.frames(), static_cast<size_t>(kEffectMaxSeconds * 44100 - 1000));
}

// WAV files from another source than ours: Debian's alsa-utils test voices.
TEST(EffectFile, InstalledAlsaSamplesLoadAndConvert) {
  const std::filesystem::path folder = "/usr/share/sounds/alsa";
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
    if (e.path().extension() == ".wav") files.push_back(e.path());
  }
  if (files.empty()) GTEST_SKIP() << "alsa-utils is not installed (scripts/deps.sh installs it)";
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    std::vector<int16_t> samples;
    EffectFormat format;
    ASSERT_EQ(readEffectFile(file.c_str(), &samples, &format), EffectLoaded);
    ASSERT_GT(format.samplesPerSec, 0);
    ASSERT_GT(format.blockAlign, 0);
    // Frames the file declares after its data header, scaled to 44.1 kHz.
    uintmax_t declared = (std::filesystem::file_size(file) - 44) / format.blockAlign;
    double expected = static_cast<double>(declared) * 44100.0 / format.samplesPerSec;
    EXPECT_NEAR(static_cast<double>(samples.size() / 2), expected, expected * 0.01 + 64);
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 1000) << "converted to silence";
    if (format.channels == 1) {
      for (size_t i = 0; i + 1 < samples.size(); i += 2) ASSERT_EQ(samples[i], samples[i + 1]);
    }
  }
}

}  // namespace
