// wendlop-wavcompare BEFORE.wav AFTER.wav [--up-to HZ] [--tolerance DB]
//
// Compares two renderings of the same music (16-bit PCM at 44,100 Hz, as
// wendlop-midi --wav writes them): the level of the whole and of every 100 ms,
// and the spectrum in third-octave bands from 25 Hz up to HZ (default 10,000),
// averaged over the whole file (Welch: 4,096-point Hann windows, half
// overlapping). Prints one line per band and a summary; exits 0 when every
// band and the level are within the tolerance (default 1 dB), 1 when not, 2
// when a file cannot be read.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/platform.h"

namespace {

constexpr int Rate = 44100;
constexpr int FftSize = 4096;
constexpr double Floor = 1e-20;  // keeps silent bands out of log(0)

struct Wave {
  int channels = 0;
  std::vector<double> mono;  // the channels' mean, in full scale
};

bool readWave(const char* path, Wave* out, std::string* why) {
  std::vector<uint8_t> b;
  if (sysReadWholeFile(path, size_t{1} << 30, &b, why) != SysReadOk) return false;
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) {
    *why = "is not a WAV file";
    return false;
  }
  int bits = 0, rate = 0;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = readLe32(&b[at + 4]);
    const size_t body = at + 8, end = std::min(b.size(), body + size);
    if (!std::memcmp(&b[at], "fmt ", 4) && size >= 16) {
      out->channels = readLe16(&b[body + 2]);
      rate = static_cast<int>(readLe32(&b[body + 4]));
      bits = readLe16(&b[body + 14]);
    } else if (!std::memcmp(&b[at], "data", 4)) {
      if (bits != 16 || rate != Rate || out->channels < 1) {
        *why = "is not 16-bit PCM at 44,100 Hz";
        return false;
      }
      const size_t frames = (end - body) / (2 * static_cast<size_t>(out->channels));
      out->mono.resize(frames);
      for (size_t f = 0; f < frames; ++f) {
        double sum = 0;
        for (int c = 0; c < out->channels; ++c)
          sum += static_cast<int16_t>(readLe16(&b[body + 2 * (f * out->channels + c)]));
        out->mono[f] = sum / out->channels / 32768.0;
      }
      return true;
    }
    at = body + size + (size & 1);
  }
  *why = "has no data";
  return false;
}

void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double angle = -2 * M_PI / static_cast<double>(len);
    const std::complex<double> step(std::cos(angle), std::sin(angle));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1);
      for (size_t k = 0; k < len / 2; ++k, w *= step) {
        const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// The mean power of each FFT bin over the whole signal.
std::vector<double> powerSpectrum(const std::vector<double>& x) {
  std::vector<double> power(FftSize / 2 + 1, 0.0);
  std::vector<std::complex<double>> frame(FftSize);
  int frames = 0;
  for (size_t start = 0; start + FftSize <= x.size(); start += FftSize / 2, ++frames) {
    for (int i = 0; i < FftSize; ++i) {
      const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * i / FftSize);
      frame[i] = x[start + i] * hann;
    }
    fft(frame);
    for (int k = 0; k <= FftSize / 2; ++k) power[k] += std::norm(frame[k]);
  }
  for (double& p : power) p /= std::max(frames, 1);
  return power;
}

double dB(double power) { return 10 * std::log10(power + Floor); }

double meanSquare(const std::vector<double>& x, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += x[i] * x[i];
  return to > from ? sum / static_cast<double>(to - from) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wendlop-wavcompare BEFORE.wav AFTER.wav [--up-to HZ] [--tolerance DB]\n");
    return 2;
  }
  double upTo = 10000, tolerance = 1.0;
  for (int i = 3; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--up-to")) upTo = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--tolerance")) tolerance = std::atof(argv[i + 1]);
  }
  Wave a, b;
  std::string why;
  if (!readWave(argv[1], &a, &why) || !readWave(argv[2], &b, &why)) {
    std::fprintf(stderr, "wendlop-wavcompare: a file %s\n", why.c_str());
    return 2;
  }
  const size_t n = std::min(a.mono.size(), b.mono.size());
  a.mono.resize(n);
  b.mono.resize(n);

  bool within = true;
  const double levelA = dB(meanSquare(a.mono, 0, n)), levelB = dB(meanSquare(b.mono, 0, n));
  std::printf("level: %.2f dBFS before, %.2f after (%+.2f dB)\n", levelA, levelB, levelB - levelA);
  within = within && std::fabs(levelB - levelA) <= tolerance;

  // Every 100 ms that is not near silence in either: the largest change of level.
  const size_t window = Rate / 10;
  double worstWindow = 0, worstAt = 0;
  for (size_t at = 0; at + window <= n; at += window) {
    const double wa = dB(meanSquare(a.mono, at, at + window)), wb = dB(meanSquare(b.mono, at, at + window));
    if (std::max(wa, wb) < levelA - 30) continue;
    if (std::fabs(wb - wa) > std::fabs(worstWindow)) {
      worstWindow = wb - wa;
      worstAt = static_cast<double>(at) / Rate;
    }
  }
  std::printf("largest change in a 100 ms window: %+.2f dB at %.1f s\n", worstWindow, worstAt);

  // What is left when one is taken from the other: meaningful when both come
  // from the same synthesizer at the same rate, sample for sample.
  std::vector<double> residual(n);
  for (size_t i = 0; i < n; ++i) residual[i] = b.mono[i] - a.mono[i];
  std::printf("difference signal: %.1f dB under the level before\n", levelA - dB(meanSquare(residual, 0, n)));
  // The difference where it is least covered by the music around it.
  double leastCovered = 1000, leastAt = 0;
  for (size_t at = 0; at + window <= n; at += window) {
    const double music = std::max(dB(meanSquare(a.mono, at, at + window)), dB(meanSquare(b.mono, at, at + window)));
    if (music < levelA - 30) continue;
    const double under = music - dB(meanSquare(residual, at, at + window));
    if (under < leastCovered) {
      leastCovered = under;
      leastAt = static_cast<double>(at) / Rate;
    }
  }
  std::printf("difference in a 100 ms window: at least %.1f dB under the music there (least at %.1f s)\n",
              leastCovered, leastAt);

  const std::vector<double> pa = powerSpectrum(a.mono), pb = powerSpectrum(b.mono);
  double total = 0;
  for (double p : pa) total += p;
  double worstBand = 0;
  std::printf("band (Hz)        before (dB)  after (dB)  change (dB)\n");
  for (int band = 14; band <= 43; ++band) {  // third-octave centres 25 Hz .. 20 kHz
    const double centre = std::pow(10.0, band / 10.0);
    if (centre > upTo * 1.0001) break;
    const double low = centre / std::pow(2.0, 1.0 / 6), high = centre * std::pow(2.0, 1.0 / 6);
    double sa = 0, sb = 0;
    for (int k = 1; k <= FftSize / 2; ++k) {
      const double f = static_cast<double>(k) * Rate / FftSize;
      if (f >= low && f < high) {
        sa += pa[k];
        sb += pb[k];
      }
    }
    const double change = dB(sb) - dB(sa);
    // Bands 60 dB below the whole carry nothing one could hear next to it.
    const bool heard = dB(std::max(sa, sb)) > dB(total) - 60;
    std::printf("%8.0f  %14.1f  %10.1f  %+10.2f%s\n", centre, dB(sa), dB(sb), change, heard ? "" : "  (60 dB under the whole)");
    if (heard && std::fabs(change) > std::fabs(worstBand)) worstBand = change;
  }
  within = within && std::fabs(worstBand) <= tolerance;
  double aboveA = 0, aboveB = 0;
  for (int k = 0; k <= FftSize / 2; ++k)
    if (static_cast<double>(k) * Rate / FftSize > upTo) {
      aboveA += pa[k];
      aboveB += pb[k];
    }
  std::printf("above %.0f Hz: %.1f dB before, %.1f after, of the whole\n", upTo, dB(aboveA) - dB(total),
              dB(aboveB) - dB(total));
  std::printf("largest band change up to %.0f Hz: %+.2f dB: %s\n", upTo, worstBand,
              within ? "within the tolerance" : "OUTSIDE the tolerance");
  return within ? 0 : 1;
}
