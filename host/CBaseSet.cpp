#include "host/CBaseSet.h"

#include <algorithm>

bool CBaseSet::AddMember(void* member) {
  if (!member || IsMember(member)) return false;
  fMembers.push_back(member);
  return true;
}

bool CBaseSet::RemoveMember(void* member) {
  auto it = std::find(fMembers.begin(), fMembers.end(), member);
  if (it == fMembers.end()) return false;
  fMembers.erase(it);
  return true;
}

bool CBaseSet::IsMember(const void* member) const {
  return std::find(fMembers.begin(), fMembers.end(), member) != fMembers.end();
}

void* CBaseSet::GetMemberN(int32_t n) const {
  if (n < 1 || n > GetNumMembers()) return nullptr;
  return fMembers[static_cast<size_t>(n - 1)];
}

void CBaseSet::UnionWith(const CBaseSet& other) {
  for (void* m : other.fMembers) AddMember(m);
}
