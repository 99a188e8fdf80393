#pragma once

// Two units of one kind that work as a pair, each knowing the other (the two
// channels of a voice, two neighbouring filter units): the first of them
// asked in a block does the work of both. Pairing or unpairing either side
// changes both; a unit leaves its pair when it is destroyed.

template <class T>
class PairedUnit {
public:
  // Makes this unit and other (null: none) a pair; both leave any earlier
  // pair.
  void pairWith(T* other) {
    T* self = static_cast<T*>(this);
    if (other == self) other = nullptr;
    if (partner) partner->PairedUnit<T>::partner = nullptr;
    partner = other;
    if (!other) return;
    T*& theirs = other->PairedUnit<T>::partner;
    if (theirs) theirs->PairedUnit<T>::partner = nullptr;
    theirs = self;
  }
  T* getPartner() const { return partner; }

  PairedUnit(const PairedUnit&) = delete;
  PairedUnit& operator=(const PairedUnit&) = delete;

protected:
  PairedUnit() = default;
  ~PairedUnit() { pairWith(nullptr); }

  T* partner = nullptr;
};
