#pragma once
// CutHistory: what each cut changed, so that Undo can take the last one back.
//
// One cut is one released cut gesture: the split jobs SliceObjects queued for
// it. Just before a job makes its split real (stage 3), the history copies
// the object as it is then (mesh, place, velocities, mass properties,
// sleeping) and notes the numbers of the new pieces the split adds. Undo
// removes those pieces and puts every cut object back as it was copied, under
// its own number, so the gravity force it had still applies; an object that
// has gone since (culled, fallen) comes back as a new object with gravity.
// Jobs of the cut still queued are dropped.
//
// Holds the last kDepth cuts; older ones are forgotten. Main thread only.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "objects/game_object.h"

class SplitOrchestrator;

class CutHistory {
 public:
  static constexpr size_t kDepth = 32;  // cuts that can be taken back

  // A cut gesture has just queued `jobs` split jobs (the last ones in the
  // queue). A cut that reached no object is not recorded.
  void BeginCut(size_t jobs);
  // Advances the splitter's queue as SplitOrchestrator::ProcessSplitQueue
  // does (within `budget` seconds), recording each split for its cut.
  void ProcessSplitQueue(SplitOrchestrator& splitter, double budget);
  // Takes back the last cut that changed anything; false when there is none.
  bool Undo(SplitOrchestrator& splitter);
  // Forgets every cut; the caller empties the split queue too.
  void Clear() {
    cuts.clear();
    forgottenJobs = 0;
  }
  size_t Size() const { return cuts.size(); }

 private:
  struct Cut {
    size_t pendingJobs = 0;           // jobs of this cut still in the queue
    std::vector<GameObject> before;   // each cut object as it was just before its split
    std::vector<uint32_t> pieces;     // the objects the splits added
  };
  std::deque<Cut> cuts;  // oldest first
  size_t forgottenJobs = 0;  // queued jobs of cuts dropped past kDepth, at the queue's front
};
