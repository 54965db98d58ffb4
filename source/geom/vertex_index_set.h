#pragma once
// VertexIndexSet: a set of vertex indices of one mesh half (the vertices on
// a cut). It grows with the length of the cut, not with the mesh, and is
// filled once per split and then read, so it is kept flat: the members in
// insertion order (for iteration) and an open-addressing table of positions
// into them (for membership). Unlike a node-based hash set it allocates
// twice in all for a small cut instead of once per member.
//
// A cut set made by SplitMesh also knows which triangles of its half can use
// a member: only those the split made from triangles it cut, since a
// triangle copied whole has every corner strictly on one side. Closing the
// cut then looks at those few triangles instead of the whole half (see
// FindBoundaryEdges). The list holds while the half keeps the triangle array
// the split left (the same array with the same count) and the set gains no
// member; code that rewrites a half's triangle indices in place before
// closing the cut must call ForgetUsers().

#include <cstddef>
#include <cstdint>
#include <vector>

struct Triangle;

class VertexIndexSet {
 public:
  using const_iterator = std::vector<uint32_t>::const_iterator;

  size_t size() const { return members.size(); }
  bool empty() const { return members.empty(); }
  size_t count(uint32_t v) const { return Slot(v) != nullptr && *Slot(v) != 0 ? 1 : 0; }
  // Adds v if it is not a member yet; true when it was added.
  bool insert(uint32_t v) {
    usersKnown = false;  // the new member may be used anywhere
    // At most half full, so that a probe for a missing member ends soon.
    if (2 * (members.size() + 1) > table.size()) Grow();
    uint32_t* slot = Slot(v);
    if (*slot != 0) return false;
    members.push_back(v);
    *slot = static_cast<uint32_t>(members.size());
    return true;
  }
  void clear() {
    members.clear();
    table.clear();
    ForgetUsers();
  }

  // For SplitMesh: notes triangle t of the half (ascending, each once) as
  // one that may use a member, ...
  void AddUser(uint32_t t) { users.push_back(t); }
  // ... and, once the half is complete, that no triangle other than those
  // noted uses a member while the half holds `count` triangles at `data`.
  void SealUsers(const Triangle* data, size_t count) {
    usersData = data;
    usersCount = count;
    usersKnown = true;
  }
  void ForgetUsers() {
    users.clear();
    usersKnown = false;
  }
  // Makes room for `count` noted triangles, so that noting them does not
  // regrow the list from one entry up (an allocation per doubling).
  void ReserveUsers(size_t count) { users.reserve(count); }
  // The triangles noted, ascending, if the list holds for a half with
  // `count` triangles at `data`; otherwise nullptr (every triangle may use a
  // member).
  const std::vector<uint32_t>* Users(const Triangle* data, size_t count) const {
    return usersKnown && data == usersData && count == usersCount ? &users : nullptr;
  }
  // Members in the order they were added.
  const_iterator begin() const { return members.begin(); }
  const_iterator end() const { return members.end(); }

 private:
  // The slot of v: the one holding its position plus one, or the empty
  // slot (0) where it would go; nullptr while the table is empty.
  uint32_t* Slot(uint32_t v) const {
    if (table.empty()) return nullptr;
    const size_t mask = table.size() - 1;
    for (size_t s = (v * 0x9E3779B1u) & mask;; s = (s + 1) & mask) {
      const uint32_t held = table[s];
      if (held == 0 || members[held - 1] == v) return const_cast<uint32_t*>(&table[s]);
    }
  }
  void Grow() {
    constexpr size_t kFirstSlots = 64;  // a small cut never regrows
    table.assign(table.empty() ? kFirstSlots : 2 * table.size(), 0);
    if (members.capacity() < table.size() / 2) members.reserve(table.size() / 2);
    for (size_t k = 0; k < members.size(); ++k) *Slot(members[k]) = static_cast<uint32_t>(k + 1);
  }

  std::vector<uint32_t> members;
  std::vector<uint32_t> table;  // position in `members` plus one; 0 = empty; size 0 or 2^k
  std::vector<uint32_t> users;  // triangles that may use a member, ascending
  const Triangle* usersData = nullptr;
  size_t usersCount = 0;
  bool usersKnown = false;
};
