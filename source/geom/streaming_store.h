#pragma once
// Streaming (non-temporal) stores for arrays written once, in order, and not
// read again soon: the halves of a large mesh, whose triangle records run to
// tens of megabytes. An ordinary store first reads the line it writes into
// the cache (and evicts something for it); a streaming store sends whole
// written lines to memory without reading them, which halves the memory
// traffic of filling an array that is not in cache. For an array that is
// read back at once, or that fits in cache, ordinary stores are faster.
//
// Streamed data is visible to the thread that wrote it as usual; call
// StreamFence before handing it to another thread. Without SSE2 these are
// plain stores.

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Writes the kWords 32-bit words at `record` (4-byte aligned) as i0, i1, i2
// followed by zeros.
template <int kWords>
inline void StreamIndexedRecord(void* record, uint32_t i0, uint32_t i1, uint32_t i2) {
  static_assert(kWords >= 7, "a record holds three indices and a 16-byte block");
#if defined(__SSE2__)
  // A record of an array of such records may start at any 4-byte offset
  // within 16 bytes: the words before the first 16-byte boundary (all of
  // them indices) are streamed one at a time, then whole 16-byte blocks,
  // then the remaining words.
  int* words = static_cast<int*>(record);
  const int head = static_cast<int>((16 - (reinterpret_cast<uintptr_t>(record) & 15)) & 15) / 4;
  const int index[3] = {static_cast<int>(i0), static_cast<int>(i1), static_cast<int>(i2)};
  for (int k = 0; k < head; ++k) _mm_stream_si32(words + k, index[k]);
  __m128i first;
  switch (head) {
    case 0: first = _mm_setr_epi32(index[0], index[1], index[2], 0); break;
    case 1: first = _mm_setr_epi32(index[1], index[2], 0, 0); break;
    case 2: first = _mm_setr_epi32(index[2], 0, 0, 0); break;
    default: first = _mm_setzero_si128(); break;
  }
  _mm_stream_si128(reinterpret_cast<__m128i*>(words + head), first);
  const __m128i zero = _mm_setzero_si128();
  int k = head + 4;
  for (; k + 4 <= kWords; k += 4) _mm_stream_si128(reinterpret_cast<__m128i*>(words + k), zero);
  for (; k < kWords; ++k) _mm_stream_si32(words + k, 0);
#else
  const uint32_t index[3] = {i0, i1, i2};
  std::memset(record, 0, kWords * 4);
  std::memcpy(record, index, sizeof index);
#endif
}

// Orders every streaming store made so far before any later store, so that
// another thread that sees the later store (a flag, a lock) sees them too.
inline void StreamFence() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}
