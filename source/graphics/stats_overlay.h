#pragma once
// StatsOverlay: the statistics of --stats, shown while the program runs in
// a small window at the top right (key I, or the bar's switch). Both read
// one FrameSummary (FrameStats::Summarise), so the overlay shows exactly the
// figures the exit line would print at that moment, to the same digits:
// (refreshed four times a second) frame times since the start (or the last reset), the mean of each timed
// step, the bodies awake and asleep, the contact points of the latest
// collision frame and the pieces cuts have made.
//
// Main thread only. Showing the overlay switches the recording of frame
// times on (as --stats does) for the rest of the run.

#include <string>
#include <vector>

#include "core/frame_stats.h"

class TweakBar;

class StatsOverlay {
 public:
  // Adds the overlay's switch and a button that starts the figures over.
  void FillBar(TweakBar& bar);
  // Counts the scene's bodies (under the object lock) and the given contact
  // points into the frame statistics, and hands the overlay's lines to the
  // interface (none while hidden).
  void Update(int contactPoints);

  // The overlay's lines for a summary, figures formatted as in the JSON line.
  static std::vector<std::string> Lines(const FrameSummary& summary);

  bool shown = false;

 private:
  double lastRefresh = 0.0;  // when the lines were last made, System time
};
