#pragma once
// Input recordings: a session's input, frame by frame, as a text file that
// --record writes and --replay plays back, with a hash of the simulated
// state after every second of it, so that a replay can tell where it parted
// from the session it replays.
//
// File format, one entry a line, numbers in decimal (floats with enough
// digits to read back the same bits, hashes in hexadecimal):
//   cleave-recording 1
//   seed S                  the scene's random seed
//   K frame key scancode action mods     a key callback
//   C frame codepoint                    a character callback
//   B frame button action mods           a mouse button callback
//   P frame x y                          a cursor callback (window pixels)
//   S frame dx dy                        a scroll callback
//   F frame x y buttons                  the frame's sample: cursor in
//                                        normalised device coordinates and
//                                        the held mouse buttons, bit b for
//                                        button b (only when it changed)
//   H second hash                        the state hash after that second
//   E frame                              the session's last frame
// An input carries the frame whose start it is handed to the scene at.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct InputRecord {
  long frame = 0;
  char kind = 0;  // K, C, B, P, S or F as in the file
  double values[4] = {0.0, 0.0, 0.0, 0.0};
};

struct Recording {
  unsigned seed = 0;
  std::vector<InputRecord> inputs;  // in the order they happened
  std::vector<uint64_t> hashes;     // hashes[s]: after s + 1 simulated seconds
  long endFrame = 0;
};

std::string FormatRecording(const Recording& recording);
// On failure returns false with `error` naming the line and what is wrong.
bool ParseRecording(const std::string& text, Recording& recording, std::string& error);

// Reads and parses a recording file; a file that cannot be read or parsed
// gives false and one line in `error`.
bool ReadRecordingFile(const std::string& path, Recording& recording, std::string& error);
// Writes the file whole or not at all (a temporary file beside it, renamed).
bool WriteRecordingFile(const std::string& path, const Recording& recording, std::string& error);

// Where a replay's hashes part from the recorded ones, over the seconds both
// have: how many differ and the first that does (0 when none).
struct Divergence {
  size_t compared = 0;
  size_t differing = 0;
  size_t firstSecond = 0;  // 1-based
};
Divergence CompareHashes(const std::vector<uint64_t>& recorded,
                         const std::vector<uint64_t>& replayed);

// The log line that reports a replay's divergence: a warning text when
// seconds differ, a plain report when none do.
std::string DivergenceReport(const Divergence& divergence);

// A recording being made or played back, one frame at a time.
class InputSession {
 public:
  static constexpr long kFramesPerSecond = 60;  // the fixed physics rate

  enum class Mode { kOff, kRecord, kReplay };

  // Starts a new frame; when recording or replaying, every kFramesPerSecond
  // frames the caller hands in the state hash (see SecondDue).
  void BeginFrame() { ++frame; }
  // A second of simulated time has passed at the start of this frame.
  bool SecondDue() const { return frame > 1 && (frame - 1) % kFramesPerSecond == 0; }
  void AddHash(uint64_t hash);

  // Recording: an input on frame `frame` (callbacks between two frames go
  // to the next: pass frame + 1).
  void Add(long onFrame, char kind, std::initializer_list<double> values);

  // Replay: the recorded inputs of the current frame, in order.
  std::vector<InputRecord> TakeFrame();
  // Replay: the recording's last frame has been played.
  bool Finished() const { return mode == Mode::kReplay && frame > recording.endFrame; }

  Mode mode = Mode::kOff;
  Recording recording;           // made (record) or played (replay)
  std::vector<uint64_t> hashes;  // replay: this run's hashes
  long frame = 0;                // frames begun so far

 private:
  size_t next = 0;  // replay: the first input not yet taken
};
