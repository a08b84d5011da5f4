// The committed effect files, checked as the game's bank and any WAV reader
// will see them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct WavInfo {
  std::vector<uint8_t> bytes;
  int channels = 0;
  std::vector<int16_t> samples;  // interleaved
};

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

std::string effectPath(int id) { return std::string(WENDLOP_SOURCE_DIR) + "/data/se/se" + std::to_string(id) + ".wav"; }

// Checks the plain 44-byte layout field by field; on success fills info.
void readWav(int id, WavInfo& info) {
  std::ifstream in(effectPath(id), std::ios::binary);
  ASSERT_TRUE(in) << effectPath(id) << " is missing";
  info.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  const auto& b = info.bytes;
  ASSERT_GE(b.size(), 46u) << "se" << id << " is too short to hold a sample";
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(le32(b, 4), b.size() - 8) << "RIFF size must be the file length minus 8";
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "WAVE");
  EXPECT_EQ(std::string(b.begin() + 12, b.begin() + 16), "fmt ");
  EXPECT_EQ(le32(b, 16), 16u);
  EXPECT_EQ(le16(b, 20), 1) << "PCM";
  info.channels = le16(b, 22);
  ASSERT_TRUE(info.channels == 1 || info.channels == 2);
  EXPECT_EQ(le32(b, 24), 44100u);
  EXPECT_EQ(le16(b, 34), 16);
  EXPECT_EQ(le16(b, 32), info.channels * 2);
  EXPECT_EQ(le32(b, 28), 44100u * info.channels * 2);
  EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
  const uint32_t dataBytes = le32(b, 40);
  ASSERT_EQ(dataBytes, b.size() - 44) << "data size must match the file";
  ASSERT_EQ(dataBytes % (info.channels * 2), 0u) << "data must be whole frames";
  // The bank takes the first "data" after the header's 36 bytes as the data
  // chunk, so it must not turn up earlier by accident.
  std::string head(b.begin(), b.begin() + 40);
  EXPECT_EQ(head.find("data"), 36u);
  for (size_t i = 44; i + 1 < b.size(); i += 2) info.samples.push_back(int16_t(le16(b, i)));
}

double dbfs(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-9) / 32768.0); }

struct Expected {
  int id;
  double minMs, maxMs;
};

// Short cues stay short; only the extra-life and stage-clear jingles may ring.
const Expected expected[] = {
    {0, 80, 200},   {1, 100, 250},  {2, 30, 120},   {3, 60, 180},   {4, 120, 300},
    {5, 40, 120},   {6, 400, 900},  {7, 800, 1600}, {8, 500, 999},  {9, 25, 100},
    {10, 50, 150},  {11, 180, 450}, {12, 60, 160},
};

void PrintTo(const Expected& e, std::ostream* os) { *os << "se" << e.id; }

class EffectFile : public ::testing::TestWithParam<Expected> {};

TEST_P(EffectFile, HasThePlainLayoutASaneLevelAndQuietEdges) {
  const Expected e = GetParam();
  WavInfo w;
  ASSERT_NO_FATAL_FAILURE(readWav(e.id, w));
  const size_t frames = w.samples.size() / w.channels;
  const double ms = frames * 1000.0 / 44100.0;

  double peak = 0, sum = 0, mean = 0;
  for (int16_t s : w.samples) {
    peak = std::max(peak, std::fabs(double(s)));
    sum += double(s) * s;
    mean += s;
  }
  mean /= double(w.samples.size());
  const double rms = std::sqrt(sum / double(w.samples.size()));
  std::printf("se%-2d %7.1f ms  peak %6.2f dBFS  RMS %6.2f dBFS\n", e.id, ms, dbfs(peak), dbfs(rms));
  RecordProperty("duration_ms", std::to_string(ms));
  RecordProperty("peak_dbfs", std::to_string(dbfs(peak)));

  EXPECT_GE(ms, e.minMs);
  EXPECT_LE(ms, e.maxMs);
  EXPECT_LT(peak, 32767) << "never at full scale";
  EXPECT_GT(dbfs(peak), -4.5) << "effects share one level";
  EXPECT_LT(dbfs(peak), -2.0);
  // A DC offset would click when the effect starts and stops over the music.
  EXPECT_LT(std::fabs(mean), 32768 * 0.01);

  // Starts and ends in silence, and rises out of it gently: no step larger
  // than a quiet sample within the first and last millisecond.
  const size_t edge = 44 * w.channels;
  for (size_t i = 0; i < edge; ++i) {
    double limit = 300.0 * (1 + i / w.channels);
    ASSERT_LT(std::abs(w.samples[i]), limit) << "se" << e.id << " starts with a click at sample " << i;
    size_t j = w.samples.size() - 1 - i;
    ASSERT_LT(std::abs(w.samples[j]), limit) << "se" << e.id << " ends with a click at sample " << j;
  }
  for (int c = 0; c < w.channels; ++c) {
    EXPECT_LT(std::abs(w.samples[c]), 64);
    EXPECT_LT(std::abs(w.samples[w.samples.size() - w.channels + c]), 64);
  }
}

INSTANTIATE_TEST_SUITE_P(AllThirteen, EffectFile, ::testing::ValuesIn(expected),
                         [](const auto& info) { return "se" + std::to_string(info.param.id); });

}  // namespace
