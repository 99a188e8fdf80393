#pragma once

// An ordered set of object pointers: each object at most once, kept in the
// order it was added, counted from 1.

#include <cstdint>
#include <vector>

class CBaseSet {
public:
  // False (and nothing changes) for null or an object already a member.
  bool AddMember(void* member);
  // False when the object is not a member.
  bool RemoveMember(void* member);
  bool IsMember(const void* member) const;
  // The n-th member from 1; null when there is none.
  void* GetMemberN(int32_t n) const;
  int32_t GetNumMembers() const { return static_cast<int32_t>(fMembers.size()); }
  // Adds every member of other that is not yet here, in other's order.
  void UnionWith(const CBaseSet& other);

  template <class T> T* GetMember(int32_t n) const { return static_cast<T*>(GetMemberN(n)); }

private:
  std::vector<void*> fMembers;
};
