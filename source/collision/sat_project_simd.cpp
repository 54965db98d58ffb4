// The narrow phase's innermost loops over a vertex cloud: filling it from a
// hull (moved into the reference frame), projecting it on an axis, and
// finding its extreme vertex along one. Kept apart from the rest of the
// separating-axis test because they are written in vector lanes: with 8-lane
// AVX where the processor has it (chosen at run time), with 4-lane SSE2, and
// as plain code for other targets, each taking the same products and sums in
// the same order, so every path gives the same numbers to the bit.

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

// Move() with 8-lane AVX: each coordinate as RotationBlock::Apply takes it,
// ((r0 x + r1 y) + r2 z) + t, over whole padded arrays.
__attribute__((target("avx"))) void MoveAvx(const HullCloud& from, const RotationBlock& transform,
                                            HullCloud& to) {
  __m256 r[9];
  for (int k = 0; k < 9; ++k) r[k] = _mm256_set1_ps(transform.r[k]);
  const __m256 t[3] = {_mm256_set1_ps(transform.t.x), _mm256_set1_ps(transform.t.y),
                       _mm256_set1_ps(transform.t.z)};
  float* out[3] = {to.x.data(), to.y.data(), to.z.data()};
  for (size_t i = 0; i < from.x.size(); i += 8) {
    const __m256 x = _mm256_loadu_ps(from.x.data() + i), y = _mm256_loadu_ps(from.y.data() + i),
                 z = _mm256_loadu_ps(from.z.data() + i);
    for (int row = 0; row < 3; ++row) {
      const __m256 sum = _mm256_add_ps(
          _mm256_add_ps(_mm256_mul_ps(r[3 * row], x), _mm256_mul_ps(r[3 * row + 1], y)),
          _mm256_mul_ps(r[3 * row + 2], z));
      _mm256_storeu_ps(out[row] + i, _mm256_add_ps(sum, t[row]));
    }
  }
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


size_t SATCollision::Extreme(const Cloud& cloud, const Vector& axis, float sign, float& value) {
  // The extreme value first, then the first vertex that has it: the same
  // vertex as one pass keeping the first strictly larger value, since both
  // compute every projection alike. The padding repeats vertex 0, which a
  // match there would have found first.
  float min, max;
  Project(cloud, axis, min, max);
  const float target = sign > 0.0f ? max : min;
  value = target;
  const float* xs = cloud.x.data();
  const float* ys = cloud.y.data();
  const float* zs = cloud.z.data();
#if defined(__SSE2__)
  const __m128 ax = _mm_set1_ps(axis.x), ay = _mm_set1_ps(axis.y), az = _mm_set1_ps(axis.z);
  const __m128 wanted = _mm_set1_ps(target);
  for (size_t i = 0; i < cloud.Size(); i += 4) {
    const __m128 d = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_loadu_ps(xs + i), ax),
                                           _mm_mul_ps(_mm_loadu_ps(ys + i), ay)),
                                _mm_mul_ps(_mm_loadu_ps(zs + i), az));
    const int hits = _mm_movemask_ps(_mm_cmpeq_ps(d, wanted));
    if (hits != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
  }
#else
  for (size_t i = 0; i < cloud.Size(); ++i) {
    if (xs[i] * axis.x + ys[i] * axis.y + zs[i] * axis.z == target) return i;
  }
#endif
  return 0;  // only when a projection is not a number
}

void SATCollision::Band(const Cloud& cloud, const Vector& axis, float largest, float band,
                        std::vector<std::pair<float, uint32_t>>& out) {
  const float* xs = cloud.x.data();
  const float* ys = cloud.y.data();
  const float* zs = cloud.z.data();
  size_t i = 0;
#if defined(__SSE2__)
  const __m128 ax = _mm_set1_ps(axis.x), ay = _mm_set1_ps(axis.y), az = _mm_set1_ps(axis.z);
  const __m128 top = _mm_set1_ps(largest), width = _mm_set1_ps(band);
  const __m128 sign = _mm_set1_ps(-0.0f);
  for (; i + 4 <= cloud.Size(); i += 4) {
    const __m128 d = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_loadu_ps(xs + i), ax),
                                           _mm_mul_ps(_mm_loadu_ps(ys + i), ay)),
                                _mm_mul_ps(_mm_loadu_ps(zs + i), az));
    const __m128 value = _mm_xor_ps(d, sign);
    int inside = _mm_movemask_ps(_mm_or_ps(_mm_cmplt_ps(_mm_sub_ps(top, value), width),
                                           _mm_cmpeq_ps(value, top)));
    if (inside == 0) continue;
    float values[4];
    _mm_storeu_ps(values, value);
    for (; inside != 0; inside &= inside - 1) {
      const int lane = __builtin_ctz(static_cast<unsigned>(inside));
      out.emplace_back(values[lane], static_cast<uint32_t>(i + lane));
    }
  }
#endif
  for (; i < cloud.Size(); ++i) {
    const float value = -(xs[i] * axis.x + ys[i] * axis.y + zs[i] * axis.z);
    if (largest - value < band || value == largest) out.emplace_back(value, static_cast<uint32_t>(i));
  }
}

void SATCollision::Fill(const std::vector<Vector>& vertices, const RotationBlock* transform,
                        Cloud& cloud) {
  static_assert(sizeof(Vector) == 4 * sizeof(float), "a Vector is four packed floats");
  const size_t n = vertices.size();
  cloud.Resize(n);
  size_t i = 0;
#if defined(__SSE2__)
  // Four vertices a step, turned from rows of x, y, z, w into a lane each.
  const float* source = reinterpret_cast<const float*>(vertices.data());
  const float* r = transform != nullptr ? transform->r : nullptr;
  __m128 m[9], t[3];
  for (int k = 0; k < 9; ++k) m[k] = _mm_set1_ps(r != nullptr ? r[k] : 0.0f);
  for (int k = 0; k < 3; ++k) t[k] = _mm_set1_ps(r != nullptr ? transform->t[k] : 0.0f);
  for (; i + 4 <= n; i += 4) {
    __m128 x = _mm_loadu_ps(source + 4 * i), y = _mm_loadu_ps(source + 4 * i + 4),
           z = _mm_loadu_ps(source + 4 * i + 8), w = _mm_loadu_ps(source + 4 * i + 12);
    _MM_TRANSPOSE4_PS(x, y, z, w);
    if (r != nullptr) {
      __m128 moved[3];
      for (int row = 0; row < 3; ++row) {
        moved[row] = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(m[3 * row], x),
                                                      _mm_mul_ps(m[3 * row + 1], y)),
                                           _mm_mul_ps(m[3 * row + 2], z)),
                                t[row]);
      }
      x = moved[0], y = moved[1], z = moved[2];
    }
    _mm_storeu_ps(cloud.x.data() + i, x);
    _mm_storeu_ps(cloud.y.data() + i, y);
    _mm_storeu_ps(cloud.z.data() + i, z);
  }
#endif
  for (; i < n; ++i) cloud.Set(i, transform != nullptr ? transform->Apply(vertices[i]) : vertices[i]);
  if (n > 0) cloud.Pad();
}

void SATCollision::Move(const Cloud& from, const RotationBlock& transform, Cloud& to) {
  // The padding moves with the rest, and stays a copy of vertex 0.
  to.Resize(from.Size());
#if defined(__x86_64__) && defined(__GNUC__)
  if (kHaveAvx) {
    MoveAvx(from, transform, to);
    return;
  }
#endif
  for (size_t i = 0; i < from.x.size(); ++i) to.Set(i, transform.Apply(from.At(i)));
}
