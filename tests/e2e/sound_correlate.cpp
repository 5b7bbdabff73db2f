// The end-to-end sound test's comparison: finds where a stretch of the
// reference rendering (orvalin-psg2wav's WAV) lies in a recording of the
// audio device (raw signed 16-bit mono), by normalized cross-correlation
// computed with an FFT, and prints the best lag and its correlation.
//
// Usage: sound_correlate REF.wav REC.raw START LENGTH MIN_LAG MAX_LAG
//   compares ref[START .. START+LENGTH) with rec[START+lag ..] for every lag
//   in MIN_LAG..MAX_LAG (samples; the recording may start before or after the
//   reference) and prints "lag <samples> correlation <r>".
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Complex = std::complex<double>;

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
  return 0;
}
