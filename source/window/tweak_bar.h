#pragma once
// TweakBar: the declarative description of the settings bar. The scene
// fills it once at start (through InterfaceManager::Instance().bar) and the
// interface draws it every frame as one window titled "TweakBar", so the
// scene never touches the GUI library itself.
//
// The bar is a list of collapsing groups (shown in the order they were first
// named), each a list of items in the order they were added:
//   AddText(group, text)                     a line of (wrapped) text
//   AddReadOnlyInt(group, label, value)      "label: 12", read every frame
//   AddEnum(group, label, &index, names)     a drop-down list; writes index
//   AddFloat(group, label, &v, min, max, step)
//                                            a slider; values are kept in
//                                            [min, max] on multiples of step
//                                            counted from min
//   AddButton(group, label, callback)        calls callback when clicked
//   AddBool(group, label, &flag)             a check box
//   AddInt(group, label, &v, min, max)       an integer slider, kept in
//                                            [min, max]
//
// Values are held by the caller and reached through the pointers or getter
// given here, so they must outlive the bar (module fields do). Everything
// runs on the main thread: callbacks are called from InterfaceManager's
// Update, between the scene's update and the renderer's.
//
// Example (scene start-up):
//   TweakBar& bar = InterfaceManager::Instance().bar;
//   bar.AddGroup("Help", true);
//   bar.AddText("Help", "Left drag: slice");
//   bar.AddReadOnlyInt("Settings", "Objects", [this] { return objectCount; });
//   bar.AddEnum("Settings", "Model", &modelType, {"Random", "Sphere", "Box", "Cone"});
//   bar.AddFloat("Settings", "Shot size", &shotSize, 0.1f, 5.0f, 0.1f);
//   bar.AddButton("Settings", "Reset", [this] { Reset(); });

#include <functional>
#include <string>
#include <vector>

class TweakBar {
 public:
  enum class ItemKind { kText, kReadOnlyInt, kEnum, kFloat, kButton, kBool, kInt };

  struct Item {
    ItemKind kind = ItemKind::kText;
    std::string label;                 // the text of a text line
    std::function<int()> intValue;     // kReadOnlyInt
    int* enumIndex = nullptr;          // kEnum: index into enumNames
    std::vector<std::string> enumNames;
    float* floatValue = nullptr;       // kFloat
    float minValue = 0.0f, maxValue = 0.0f, step = 0.0f;
    std::function<void()> callback;    // kButton
    bool* boolValue = nullptr;         // kBool
    int* intPointer = nullptr;         // kInt, in [intMin, intMax]
    int intMin = 0, intMax = 0;
  };

  struct Group {
    std::string name;
    bool open = true;  // expanded when first shown
    std::vector<Item> items;
  };

  // Names a group ahead of its items (to fix the order or start it closed).
  // Naming an existing group again changes nothing.
  void AddGroup(const std::string& group, bool open = true);
  void AddText(const std::string& group, const std::string& text);
  void AddReadOnlyInt(const std::string& group, const std::string& label,
                      std::function<int()> value);
  void AddReadOnlyInt(const std::string& group, const std::string& label, const int* value);
  void AddEnum(const std::string& group, const std::string& label, int* index,
               std::vector<std::string> names);
  void AddFloat(const std::string& group, const std::string& label, float* value, float minValue,
                float maxValue, float step);
  void AddButton(const std::string& group, const std::string& label,
                 std::function<void()> callback);
  void AddBool(const std::string& group, const std::string& label, bool* value);
  void AddInt(const std::string& group, const std::string& label, int* value, int minValue,
              int maxValue);
  void Clear() { groups.clear(); }

  const std::vector<Group>& Groups() const { return groups; }
  // The item of that label in that group, or null.
  const Item* Find(const std::string& group, const std::string& label) const;
  // Calls the callback of the button of that label in any group, as a click
  // would; false when there is none.
  bool PressButton(const std::string& label) const;

  // A slider value kept in [minValue, maxValue] and on the step grid from
  // minValue (step <= 0 means no grid).
  static float SnapFloat(float value, float minValue, float maxValue, float step);
  // An enum index kept inside the list of names (0 for an empty list).
  static int ClampIndex(int index, size_t count);

 private:
  Group& GroupNamed(const std::string& group);
  std::vector<Group> groups;
};
