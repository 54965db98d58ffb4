#include "window/tweak_bar.h"

#include <algorithm>
#include <cmath>

TweakBar::Group& TweakBar::GroupNamed(const std::string& group) {
  for (Group& g : groups)
    if (g.name == group) return g;
  groups.push_back(Group{group, true, {}});
  return groups.back();
}

void TweakBar::AddGroup(const std::string& group, bool open) {
  for (const Group& g : groups)
    if (g.name == group) return;
  groups.push_back(Group{group, open, {}});
}

void TweakBar::AddText(const std::string& group, const std::string& text) {
  Item item;
  item.kind = ItemKind::kText;
  item.label = text;
  GroupNamed(group).items.push_back(std::move(item));
}

void TweakBar::AddReadOnlyInt(const std::string& group, const std::string& label,
                              std::function<int()> value) {
  Item item;
  item.kind = ItemKind::kReadOnlyInt;
  item.label = label;
  item.intValue = std::move(value);
  GroupNamed(group).items.push_back(std::move(item));
}

void TweakBar::AddReadOnlyInt(const std::string& group, const std::string& label,
                              const int* value) {
  AddReadOnlyInt(group, label, [value] { return value != nullptr ? *value : 0; });
}

void TweakBar::AddEnum(const std::string& group, const std::string& label, int* index,
                       std::vector<std::string> names) {
  Item item;
  item.kind = ItemKind::kEnum;
  item.label = label;
  item.enumIndex = index;
  item.enumNames = std::move(names);
  GroupNamed(group).items.push_back(std::move(item));
}

void TweakBar::AddFloat(const std::string& group, const std::string& label, float* value,
                        float minValue, float maxValue, float step) {
  Item item;
  item.kind = ItemKind::kFloat;
  item.label = label;
  item.floatValue = value;
  item.minValue = std::min(minValue, maxValue);
  item.maxValue = std::max(minValue, maxValue);
  item.step = step;
  GroupNamed(group).items.push_back(std::move(item));
}

void TweakBar::AddButton(const std::string& group, const std::string& label,
                         std::function<void()> callback) {
  Item item;
  item.kind = ItemKind::kButton;
  item.label = label;
  item.callback = std::move(callback);
  GroupNamed(group).items.push_back(std::move(item));
}

void TweakBar::AddBool(const std::string& group, const std::string& label, bool* value) {
  Item item;
  item.kind = ItemKind::kBool;
  item.label = label;
  item.boolValue = value;
  GroupNamed(group).items.push_back(std::move(item));
}

void TweakBar::AddInt(const std::string& group, const std::string& label, int* value,
                      int minValue, int maxValue) {
  Item item;
  item.kind = ItemKind::kInt;
  item.label = label;
  item.intPointer = value;
  item.intMin = std::min(minValue, maxValue);
  item.intMax = std::max(minValue, maxValue);
  GroupNamed(group).items.push_back(std::move(item));
}

const TweakBar::Item* TweakBar::Find(const std::string& group, const std::string& label) const {
  for (const Group& g : groups) {
    if (g.name != group) continue;
    for (const Item& item : g.items)
      if (item.label == label) return &item;
  }
  return nullptr;
}

bool TweakBar::PressButton(const std::string& label) const {
  for (const Group& g : groups)
    for (const Item& item : g.items)
      if (item.kind == ItemKind::kButton && item.label == label) {
        if (item.callback) item.callback();
        return true;
      }
  return false;
}

float TweakBar::SnapFloat(float value, float minValue, float maxValue, float step) {
  if (!(value == value)) return minValue;  // NaN: fall back to the low end
  value = std::clamp(value, minValue, maxValue);
  if (step > 0.0f) {
    value = minValue + std::round((value - minValue) / step) * step;
    // Rounding up can overshoot the top when the range is not a whole
    // number of steps: take the last step inside it.
    if (value > maxValue) value -= step;
    value = std::clamp(value, minValue, maxValue);
  }
  return value;
}

int TweakBar::ClampIndex(int index, size_t count) {
  if (count == 0 || index < 0) return 0;
  return std::min(index, static_cast<int>(count) - 1);
}
