// SATCollision::Project, the narrow phase's innermost loop: the minimum and
// maximum of a vertex cloud projected on an axis. Kept apart from the rest
// of the separating-axis test because it is written three times over: with
// 8-lane AVX where the processor has it (chosen at run time), with 4-lane
// SSE2, and as plain code for other targets, each taking the same products
// and sums in the same order.

#include "collision/sat_collision.h"

#include <algorithm>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__x86_64__) && defined(__GNUC__)
namespace {

// Project() with 8-lane AVX, chosen at run time where the processor has it
// (the build targets plain x86-64). Each lane computes the dot product with
// the same operations in the same order as the 4-lane loop, (x ax + y ay) +
// z az with separate multiplies and adds (no fused multiply-add, which would
// round differently), and minimum and maximum do not depend on the order
// they are taken in, so the result is the same to the bit.
__attribute__((target("avx"))) void ProjectAvx(const float* xs, const float* ys, const float* zs,
                                               size_t n, const Vector& axis, float& min,
                                               float& max) {
  const __m256 ax = _mm256_set1_ps(axis.x), ay = _mm256_set1_ps(axis.y),
               az = _mm256_set1_ps(axis.z);
  __m256 lo = _mm256_set1_ps(xs[0] * axis.x + ys[0] * axis.y + zs[0] * axis.z);
  __m256 hi = lo;
  for (size_t i = 0; i < n; i += 8) {
    const __m256 d =
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(xs + i), ax),
                                    _mm256_mul_ps(_mm256_loadu_ps(ys + i), ay)),
                      _mm256_mul_ps(_mm256_loadu_ps(zs + i), az));
    lo = _mm256_min_ps(lo, d);
    hi = _mm256_max_ps(hi, d);
  }
  const __m128 lo4 = _mm_min_ps(_mm256_castps256_ps128(lo), _mm256_extractf128_ps(lo, 1));
  const __m128 hi4 = _mm_max_ps(_mm256_castps256_ps128(hi), _mm256_extractf128_ps(hi, 1));
  float l[4], h[4];
  _mm_storeu_ps(l, lo4);
  _mm_storeu_ps(h, hi4);
  min = std::min(std::min(l[0], l[1]), std::min(l[2], l[3]));
  max = std::max(std::max(h[0], h[1]), std::max(h[2], h[3]));
}

const bool kHaveAvx = __builtin_cpu_supports("avx");

}  // namespace
#endif

void SATCollision::Project(const Cloud& cloud, const Vector& axis, float& min, float& max) {
  // The cloud is padded to a multiple of eight, so the loops run whole
  // vector steps with no tail; the padding repeats the first vertex.
  const size_t n = cloud.x.size();
  const float* xs = cloud.x.data();
  const float* ys = cloud.y.data();
  const float* zs = cloud.z.data();
#if defined(__x86_64__) && defined(__GNUC__)
  if (kHaveAvx) {
    ProjectAvx(xs, ys, zs, n, axis, min, max);
    return;
  }
#endif
#if defined(__SSE2__)
  const __m128 ax = _mm_set1_ps(axis.x), ay = _mm_set1_ps(axis.y), az = _mm_set1_ps(axis.z);
  __m128 lo = _mm_set1_ps(xs[0] * axis.x + ys[0] * axis.y + zs[0] * axis.z);
  __m128 hi = lo;
  for (size_t i = 0; i < n; i += 4) {
    const __m128 d = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_loadu_ps(xs + i), ax),
                                           _mm_mul_ps(_mm_loadu_ps(ys + i), ay)),
                                _mm_mul_ps(_mm_loadu_ps(zs + i), az));
    lo = _mm_min_ps(lo, d);
    hi = _mm_max_ps(hi, d);
  }
  float l[4], h[4];
  _mm_storeu_ps(l, lo);
  _mm_storeu_ps(h, hi);
#else
  float l[4], h[4];
  const float first = xs[0] * axis.x + ys[0] * axis.y + zs[0] * axis.z;
  for (int k = 0; k < 4; ++k) l[k] = h[k] = first;
  for (size_t i = 0; i < n; i += 4) {
    for (int k = 0; k < 4; ++k) {
      const float d = xs[i + k] * axis.x + ys[i + k] * axis.y + zs[i + k] * axis.z;
      l[k] = d < l[k] ? d : l[k];
      h[k] = d > h[k] ? d : h[k];
    }
  }
#endif
  min = std::min(std::min(l[0], l[1]), std::min(l[2], l[3]));
  max = std::max(std::max(h[0], h[1]), std::max(h[2], h[3]));
}

