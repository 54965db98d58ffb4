#pragma once
// Tutorial: the six instruction pages shown over the scene, one at a time.
// Each page names one thing to try; doing it (a cut, a turn, a move, a pick,
// a shot, the help icon) shows the next page, and the last one hides them.
// The page shown is published through ObjectManager::currentInstructionTex,
// which the renderer draws.

class Tutorial {
 public:
  static constexpr int kPages = 6;

  // Shows page `page` (1 to kPages); 0 hides the pages.
  void Show(int page);
  // Closes the pages when one is shown, else opens them at the first page
  // (the T key and the bar's "Tutorial" button).
  void Toggle() { Show(page == 0 ? 1 : 0); }
  // Shows page `to` when page `from` is shown.
  void Advance(int from, int to);
  int Page() const { return page; }

 private:
  int page = 1;  // the page shown: 1 to kPages, or 0 once the pages are hidden
};
