#pragma once
// The binary glTF 2.0 container (.glb) as scene snapshots use it: a 12-byte
// header ("glTF", version 2, total length), a JSON chunk padded with spaces
// and a binary chunk padded with zeros, each chunk's length a multiple of 4.

#include <cstdint>

namespace glb {

constexpr uint32_t kMagic = 0x46546C67;
constexpr uint32_t kVersion = 2;
constexpr uint32_t kJsonChunk = 0x4E4F534A;
constexpr uint32_t kBinChunk = 0x004E4942;
// glTF codes: component types and buffer view targets.
constexpr int kFloatType = 5126, kUintType = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;

}  // namespace glb
