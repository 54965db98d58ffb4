// Typed lookups with more component kinds than GameObject keeps slots for:
// every Find<T> must return the object's own stored component of that kind
// (never one of the object it was copied or assigned from), or null.

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>
#include <utility>

#include "objects/game_object.h"

namespace {

constexpr const char* kKindNames[] = {"Kind0", "Kind1", "Kind2", "Kind3", "Kind4", "Kind5",
                                      "Kind6", "Kind7", "Kind8", "Kind9", "Kind10", "Kind11"};
constexpr int kKinds = 12;

template <int N>
class KindComp : public Component {
 public:
  static constexpr const char* kName = kKindNames[N];
  KindComp() : Component(kName) {}
  Component* Clone() const override { return new KindComp(*this); }
  int value = 10 * N;
};

// Attaches the kinds N with N % 2 == parity.
template <int... N>
void AttachKinds(GameObject& obj, int parity, std::integer_sequence<int, N...>) {
  ((N % 2 == parity ? obj.AttachComponent(KindComp<N>()) : void()), ...);
}

// Kinds N with N % 2 == parity must be absent (parity -1: all present).
template <int... N>
void ExpectKinds(const GameObject& obj, int parity, std::integer_sequence<int, N...>) {
  const auto one = [&](auto* tag, int n) {
    using T = std::remove_pointer_t<decltype(tag)>;
    const T* found = obj.Find<T>();
    if (n % 2 == parity) {
      EXPECT_EQ(found, nullptr) << n;
      return;
    }
    ASSERT_NE(found, nullptr) << n;
    EXPECT_EQ(found->value, 10 * n);
    EXPECT_EQ(found, obj.componentList.at(T::kName)) << n;  // its own, not a source's
  };
  (one(static_cast<KindComp<N>*>(nullptr), N), ...);
}

}  // namespace

TEST(ComponentKinds, TypedLookupsFindTheObjectsOwnComponentOfEveryKind) {
  const auto all = std::make_integer_sequence<int, kKinds>();
  GameObject evens;
  AttachKinds(evens, 0, all);
  ExpectKinds(evens, 1, all);

  auto both = std::make_unique<GameObject>(evens);
  AttachKinds(*both, 1, all);
  ExpectKinds(*both, -1, all);
  ExpectKinds(evens, 1, all);

  GameObject assigned;
  assigned.AttachComponent(KindComp<1>());
  assigned = *both;
  both.reset();
  ExpectKinds(assigned, -1, all);
  ExpectKinds(evens, 1, all);
}
