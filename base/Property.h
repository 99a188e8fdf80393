#pragma once

// Value fields that tell their owner when their value really changes.
//
// An owner implements PropertyOwner and tells its properties apart by
// address:
//
//   class Lfo : public PropertyOwner {
//     Property<int> waveForm{this, 0};
//     void propertyChange(const AbstractProperty* p) override {
//       if (p == &waveForm) ...
//     }
//   };
//
// Notification is synchronous, on the thread that assigns the value; nothing
// is locked. Assigning the current value notifies nobody. A property without
// owner just stores.

class AbstractProperty {};

class PropertyOwner {
public:
  virtual void propertyChange(const AbstractProperty* property) = 0;

protected:
  // Never deleted through this class.
  ~PropertyOwner() = default;
};

// T is compared with != (strings by content).
template <class T>
class Property : public AbstractProperty {
public:
  explicit Property(PropertyOwner* owner = nullptr, const T& value = T()) : owner(owner), value(value) {}
  // A property belongs to one owner at one address; a copy would notify the
  // original's owner with an address it does not know.
  Property(const Property&) = delete;

  const T& get() const { return value; }
  operator const T&() const { return value; }

  // Stores v and notifies the owner when v differs from the value.
  void set(const T& v) {
    if (v != value) {
      value = v;
      if (owner) owner->propertyChange(this);
    }
  }
  Property& operator=(const T& v) {
    set(v);
    return *this;
  }
  // Takes the other property's value (not its owner).
  Property& operator=(const Property& other) {
    set(other.value);
    return *this;
  }

  PropertyOwner* getOwner() const { return owner; }
  void setOwner(PropertyOwner* o) { owner = o; }

private:
  PropertyOwner* owner;
  T value;
};

// A property whose assigned values are clamped to [min, max]; used with
// T = float.
template <class T>
class LimitedProperty : public AbstractProperty {
public:
  LimitedProperty(PropertyOwner* owner, const T& min, const T& max, const T& value)
      : owner(owner), max(max), min(min), value(value) {}
  LimitedProperty(const LimitedProperty&) = delete;

  const T& get() const { return value; }
  operator const T&() const { return value; }
  const T& getMin() const { return min; }
  const T& getMax() const { return max; }

  // The clamped value: min when v < min, else the smaller of v and max.
  // Stores it and notifies the owner when it differs from the value. A value
  // that is not a number lies in no range: it is ignored, so the property
  // never holds one.
  void set(const T& v) {
    if (v != v) return;
    const T clamped = v < min ? min : (max < v ? max : v);
    if (clamped != value) {
      value = clamped;
      if (owner) owner->propertyChange(this);
    }
  }
  LimitedProperty& operator=(const T& v) {
    set(v);
    return *this;
  }
  LimitedProperty& operator=(const LimitedProperty& other) {
    set(other.value);
    return *this;
  }

  // New limits; the value is left as it is until the next assignment.
  void setLimits(const T& newMin, const T& newMax) {
    min = newMin;
    max = newMax;
  }

  PropertyOwner* getOwner() const { return owner; }
  void setOwner(PropertyOwner* o) { owner = o; }

private:
  PropertyOwner* owner;
  T max;
  T min;
  T value;
};
