// The end-to-end sound test's comparison: finds where a stretch of the
// reference rendering (orvalin-psg2wav's WAV) lies in a recording of the
// audio device (raw signed 16-bit mono), by normalized cross-correlation
// computed with an FFT, and prints the best lag and its correlation.
//
// Usage: sound_correlate REF.wav REC.raw START LENGTH MIN_LAG MAX_LAG
//   compares ref[START .. START+LENGTH) with rec[START+lag ..] for every lag
//   in MIN_LAG..MAX_LAG (samples; the recording may start before or after the
//   reference) and prints "lag <samples> correlation <r>", then the same
//   comparison in quarter-second windows, each aligned on its own within
//   WINDOW_SLACK samples of the whole stretch's lag: "windows <n> mean <r>
//   median <r> min <r> lag_min <samples> lag_max <samples>" (the mean
//   weighted by the windows' energy); the sorted window correlations go to
//   standard error. A register write that the pump applies late shifts
//   the tone oscillators' phase from then on; each window must still match
//   the rendering sample for sample once so shifted.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Complex = std::complex<double>;

constexpr long WINDOW_LENGTH = 11025;  // a quarter second
constexpr long WINDOW_SLACK  = 2048;   // a write may land up to a stream buffer late

// Pearson correlation of ref[a .. a+n) with rec[b .. b+n); energy of the
// reference part in `energy`.
double pearson(const std::vector<double>& ref, long a, const std::vector<double>& rec, long b,
               long n, double& energy) {
  double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
  for (long k = 0; k < n; ++k) {
    double x = ref[a + k], y = rec[b + k];
    sx += x;
    sy += y;
    sxx += x * x;
    syy += y * y;
    sxy += x * y;
  }
  double vx = sxx - sx * sx / double(n), vy = syy - sy * sy / double(n);
  energy = vx;
  if (vx <= 0 || vy <= 0) return 0;
  return (sxy - sx * sy / double(n)) / std::sqrt(vx * vy);
}

bool read_samples(const char* path, long skip_bytes, std::vector<double>& out) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  std::fseek(file, skip_bytes, SEEK_SET);
  int16_t block[4096];
  size_t got;
  while ((got = std::fread(block, 2, 4096, file)) > 0) {
    for (size_t i = 0; i < got; ++i) out.push_back(block[i]);
  }
  std::fclose(file);
  return true;
}

// In-place iterative radix-2 FFT; `inverse` conjugates the twiddles (no 1/n).
void fft(std::vector<Complex>& a, bool inverse) {
  size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    double angle = 2 * M_PI / double(len) * (inverse ? 1 : -1);
    Complex unit(std::cos(angle), std::sin(angle));
    for (size_t i = 0; i < n; i += len) {
      Complex w(1);
      for (size_t k = 0; k < len / 2; ++k) {
        Complex u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        w *= unit;
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: sound_correlate REF.wav REC.raw START LENGTH MIN_LAG MAX_LAG\n");
    return 2;
  }
  std::vector<double> ref, rec;
  if (!read_samples(argv[1], 44, ref) || !read_samples(argv[2], 0, rec)) {
    std::fprintf(stderr, "sound_correlate: cannot read the inputs\n");
    return 2;
  }
  long start = std::atol(argv[3]), length = std::atol(argv[4]);
  long min_lag = std::atol(argv[5]), max_lag = std::atol(argv[6]);
  if (start < 0 || length < 2 || start + length > long(ref.size())) {
    std::fprintf(stderr, "sound_correlate: the reference has only %zu samples\n", ref.size());
    return 2;
  }
  // The recording stretch that every lag may touch.
  long rec_begin = start + min_lag, rec_end = start + max_lag + length;
  if (rec_begin < 0 || rec_end > long(rec.size())) {
    std::fprintf(stderr, "sound_correlate: the recording (%zu samples) is too short\n", rec.size());
    return 2;
  }
  long span = rec_end - rec_begin;
  size_t n = 1;
  while (n < size_t(span + length)) n <<= 1;

  // Pearson correlation: the reference stretch is centred, so the numerator
  // is a plain cross-correlation; the recording's window sums come from
  // prefix sums.
  double mean = 0;
  for (long k = 0; k < length; ++k) mean += ref[start + k];
  mean /= double(length);
  double ref_energy = 0;
  std::vector<Complex> a(n), b(n);
  for (long k = 0; k < length; ++k) {
    double x = ref[start + k] - mean;
    ref_energy += x * x;
    a[size_t(k)] = x;
  }
  for (long k = 0; k < span; ++k) b[size_t(k)] = rec[rec_begin + k];
  fft(a, false);
  fft(b, false);
  for (size_t i = 0; i < n; ++i) b[i] *= std::conj(a[i]);
  fft(b, true);

  std::vector<double> sum(span + 1, 0), sum2(span + 1, 0);
  for (long k = 0; k < span; ++k) {
    double y = rec[rec_begin + k];
    sum[k + 1] = sum[k] + y;
    sum2[k + 1] = sum2[k] + y * y;
  }
  double best = -2;
  long best_lag = min_lag;
  for (long lag = min_lag; lag <= max_lag; ++lag) {
    long offset = lag - min_lag;
    double s = sum[offset + length] - sum[offset];
    double s2 = sum2[offset + length] - sum2[offset];
    double rec_energy = s2 - s * s / double(length);
    if (rec_energy <= 0 || ref_energy <= 0) continue;
    double r = b[size_t(offset)].real() / double(n) / std::sqrt(ref_energy * rec_energy);
    if (r > best) {
      best = r;
      best_lag = lag;
    }
  }
  std::printf("lag %ld correlation %.4f\n", best_lag, best);

  std::vector<double> window_correlations;
  double weighted = 0, total_energy = 0, worst = 2;
  long windows = 0, lag_min = best_lag, lag_max = best_lag;
  for (long w = start; w + WINDOW_LENGTH <= start + length; w += WINDOW_LENGTH) {
    double window_best = -2, energy = 0;
    long window_lag = best_lag;
    for (long lag = best_lag - WINDOW_SLACK; lag <= best_lag + WINDOW_SLACK; ++lag) {
      if (w + lag < 0 || w + lag + WINDOW_LENGTH > long(rec.size())) continue;
      double e = 0;
      double r = pearson(ref, w, rec, w + lag, WINDOW_LENGTH, e);
      if (r > window_best) {
        window_best = r;
        window_lag = lag;
        energy = e;
      }
    }
    if (energy <= 0) continue;  // a silent window says nothing
    ++windows;
    window_correlations.push_back(window_best);
    weighted += window_best * energy;
    total_energy += energy;
    if (window_best < worst) worst = window_best;
    if (window_lag < lag_min) lag_min = window_lag;
    if (window_lag > lag_max) lag_max = window_lag;
  }
  if (windows == 0) {
    std::printf("windows 0 mean 0 median 0 min 0 lag_min %ld lag_max %ld\n", best_lag, best_lag);
    return 0;
  }
  std::sort(window_correlations.begin(), window_correlations.end());
  double median = window_correlations[window_correlations.size() / 2];
  std::printf("windows %ld mean %.4f median %.4f min %.4f lag_min %ld lag_max %ld\n", windows,
              weighted / total_energy, median, worst, lag_min, lag_max);
  for (double r : window_correlations) std::fprintf(stderr, "%.3f ", r);
  std::fprintf(stderr, "\n");
  return 0;
}
