#include "core/input_recording.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "core/settings.h"
#include "core/whole_file.h"

namespace {

constexpr const char* kHeader = "cleave-recording 1";

// How many values each kind of input carries.
int ValueCount(char kind) {
  switch (kind) {
    case 'K':
    case 'F':
      return kind == 'K' ? 4 : 3;
    case 'C':
      return 1;
    case 'B':
      return 3;
    case 'P':
    case 'S':
      return 2;
    default:
      return -1;
  }
}

}  // namespace

std::string FormatRecording(const Recording& recording) {
  std::string out = std::string(kHeader) + "\nseed " + std::to_string(recording.seed) + "\n";
  char buffer[64];
  for (const InputRecord& input : recording.inputs) {
    out += input.kind;
    out += ' ' + std::to_string(input.frame);
    for (int k = 0; k < ValueCount(input.kind); ++k) {
      std::snprintf(buffer, sizeof buffer, " %.17g", input.values[k]);
      out += buffer;
    }
    out += '\n';
  }
  for (size_t s = 0; s < recording.hashes.size(); ++s) {
    std::snprintf(buffer, sizeof buffer, "H %zu %016" PRIx64 "\n", s + 1, recording.hashes[s]);
    out += buffer;
  }
  return out + "E " + std::to_string(recording.endFrame) + "\n";
}

bool ParseRecording(const std::string& text, Recording& recording, std::string& error) {
  recording = Recording();
  std::istringstream in(text);
  std::string line;
  long number = 0;
  bool ended = false;
  while (std::getline(in, line)) {
    ++number;
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    bool ok = true;
    if (number == 1) {
      fields.str("");  // the header is compared whole
      ok = line == kHeader;
    } else if (kind == "seed") {
      ok = static_cast<bool>(fields >> recording.seed);
    } else if (kind == "H") {
      size_t second = 0;
      std::string hex;
      ok = (fields >> second >> hex) && second == recording.hashes.size() + 1 && hex.size() == 16;
      char* end = nullptr;
      const uint64_t hash = std::strtoull(hex.c_str(), &end, 16);
      ok = ok && *end == '\0';
      if (ok) recording.hashes.push_back(hash);
    } else if (kind == "E") {
      ok = static_cast<bool>(fields >> recording.endFrame) && !ended;
      ended = true;
    } else {
      InputRecord input;
      input.kind = kind.size() == 1 ? kind[0] : '?';
      const int count = ValueCount(input.kind);
      ok = count > 0 && static_cast<bool>(fields >> input.frame) && !ended &&
           (recording.inputs.empty() || input.frame >= recording.inputs.back().frame);
      for (int k = 0; ok && k < count; ++k) ok = static_cast<bool>(fields >> input.values[k]);
      if (ok) recording.inputs.push_back(input);
    }
    std::string rest;
    if (!ok || (fields >> rest)) {
      error = "line " + std::to_string(number) + " is not a recording entry: '" + line + "'";
      return false;
    }
  }
  if (!ended) {
    error = number == 0 ? "the file is empty" : "the recording has no end line (E frame)";
    return false;
  }
  return true;
}

Divergence CompareHashes(const std::vector<uint64_t>& recorded,
                         const std::vector<uint64_t>& replayed) {
  Divergence d;
  d.compared = std::min(recorded.size(), replayed.size());
  for (size_t s = 0; s < d.compared; ++s) {
    if (recorded[s] == replayed[s]) continue;
    if (d.differing++ == 0) d.firstSecond = s + 1;
  }
  return d;
}

std::string DivergenceReport(const Divergence& d) {
  if (d.differing == 0)
    return "Replay matches the recording: " + std::to_string(d.compared) + " seconds compared";
  return "Replay diverged from the recording at second " + std::to_string(d.firstSecond) + ": " +
         std::to_string(d.differing) + " of " + std::to_string(d.compared) + " seconds differ";
}

void InputSession::AddHash(uint64_t hash) {
  if (mode == Mode::kRecord) recording.hashes.push_back(hash);
  if (mode == Mode::kReplay) hashes.push_back(hash);
}

void InputSession::Add(long onFrame, char kind, std::initializer_list<double> values) {
  if (mode != Mode::kRecord) return;
  InputRecord input;
  input.frame = onFrame;
  input.kind = kind;
  int k = 0;
  for (const double v : values) input.values[k++] = v;
  recording.inputs.push_back(input);
}

std::vector<InputRecord> InputSession::TakeFrame() {
  std::vector<InputRecord> out;
  const std::vector<InputRecord>& inputs = recording.inputs;
  while (next < inputs.size() && inputs[next].frame <= frame) out.push_back(inputs[next++]);
  return out;
}

bool ReadRecordingFile(const std::string& path, Recording& recording, std::string& error) {
  std::string text;
  if (!ReadTextFile(path, text)) {
    error = "cannot read the recording " + path;
    return false;
  }
  if (!ParseRecording(text, recording, error)) {
    error = "the recording " + path + " cannot be replayed: " + error;
    return false;
  }
  return true;
}

bool WriteRecordingFile(const std::string& path, const Recording& recording, std::string& error) {
  if (WriteWholeFile(path, FormatRecording(recording), error)) return true;
  error = "cannot write the recording to " + path + ": " + error;
  return false;
}
