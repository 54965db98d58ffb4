#pragma once
// WAV files through libsndfile, for the tests that make or hear sound.
// Header only: libsndfile comes with the sound layer that those tests link.

#include <sndfile.h>

#include <string>
#include <vector>

namespace support {

struct Wav {
  int channels = 1, rate = 44100;
  std::vector<float> samples;  // interleaved frames
};

// 16-bit PCM; false when the file cannot be written.
inline bool WriteWav(const std::string& path, const Wav& wav) {
  SF_INFO info{};
  info.channels = wav.channels;
  info.samplerate = wav.rate;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  const sf_count_t frames = sf_count_t(wav.samples.size()) / wav.channels;
  const bool written = sf_writef_float(file, wav.samples.data(), frames) == frames;
  sf_close(file);
  return written;
}

inline bool ReadWav(const std::string& path, Wav& wav) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return false;
  wav.channels = info.channels;
  wav.rate = info.samplerate;
  wav.samples.assign(size_t(info.frames) * size_t(info.channels), 0.0f);
  const sf_count_t read = sf_readf_float(file, wav.samples.data(), info.frames);
  wav.samples.resize(size_t(read) * size_t(info.channels));
  sf_close(file);
  return true;
}

}  // namespace support
