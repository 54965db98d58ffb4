#include "game_logic/cut_history.h"

#include <algorithm>
#include <string>

#include "core/event_manager.h"
#include "core/system.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "scene/solid_factory.h"
#include "scene/split_orchestration.h"

namespace {

// A stage-3 job makes its split real: the stage that changes the object.
constexpr int32_t kCommitStage = 3;
constexpr int32_t kDoneStage = 4;

}  // namespace

void CutHistory::BeginCut(size_t jobs) {
  if (jobs == 0) return;
  cuts.push_back(Cut{jobs, {}, {}});
  if (cuts.size() > kDepth) {
    forgottenJobs += cuts.front().pendingJobs;
    cuts.pop_front();
  }
}

void CutHistory::ProcessSplitQueue(SplitOrchestrator& splitter, double budget) {
  System& system = System::Instance();
  ObjectManager& manager = ObjectManager::Instance();
  const double start = system.GetTime();
  std::deque<SplitJob>& queue = splitter.splitQueue;
  while (system.GetTime() - start < budget && !queue.empty()) {
    SplitJob& job = queue.front();
    // Jobs finish in queue order, so the job in front belongs to the oldest
    // cut that still has jobs queued (none when that cut was forgotten).
    auto owner = forgottenJobs > 0 ? cuts.end()
                                   : std::find_if(cuts.begin(), cuts.end(),
                                                  [](const Cut& cut) { return cut.pendingJobs > 0; });
    if (job.stage == kCommitStage && owner != cuts.end()) {
      uint32_t firstNew = 0;
      {
        ObjectLock lock;
        if (manager.HasObject(job.object)) owner->before.push_back(manager.GetGameObject(job.object));
        firstNew = manager.objCounter + 1;
      }
      splitter.StepSplitJob(job);
      ObjectLock lock;
      for (uint32_t number = firstNew; number <= manager.objCounter; ++number)
        owner->pieces.push_back(number);
    } else {
      splitter.StepSplitJob(job);
    }
    if (job.stage == kDoneStage) {
      queue.pop_front();
      if (owner != cuts.end()) --owner->pendingJobs;
      else if (forgottenJobs > 0) --forgottenJobs;
    }
  }
}

bool CutHistory::Undo(SplitOrchestrator& splitter) {
  // Cuts that changed nothing (every job failed) are passed over.
  while (!cuts.empty() && cuts.back().pendingJobs == 0 && cuts.back().before.empty())
    cuts.pop_back();
  if (cuts.empty()) return false;
  Cut cut = std::move(cuts.back());
  cuts.pop_back();

  std::deque<SplitJob>& queue = splitter.splitQueue;
  queue.erase(queue.end() - static_cast<std::ptrdiff_t>(std::min(cut.pendingJobs, queue.size())),
              queue.end());

  ObjectManager& manager = ObjectManager::Instance();
  std::vector<GameObject> gone;
  {
    ObjectLock lock;
    for (const uint32_t piece : cut.pieces)
      if (manager.HasObject(piece)) manager.KillGameObject(manager.GetGameObject(piece));
    for (GameObject& before : cut.before) {
      if (!manager.HasObject(before.objNum) || manager.GetGameObject(before.objNum).dead) {
        gone.push_back(std::move(before));
        continue;
      }
      GameObject& obj = manager.GetGameObject(before.objNum);
      if (ModelComp* model = obj.Find<ModelComp>()) manager.ReleaseMeshBuffers(model->mesh);
      obj = before;  // a copied mesh has no GPU buffers: the window side makes them
    }
    manager.RemoveDeadObjects();
  }
  for (GameObject& obj : gone) {
    const uint32_t number = manager.AddGameObject(obj);
    if (number != 0) EventManager::Instance().PostEvent(GravityRequest("GameLogic", number));
  }
  System::Instance().Milestone("Undid a cut: " + std::to_string(cut.before.size()) + " objects back, " +
                         std::to_string(cut.pieces.size()) + " pieces removed");
  return true;
}
