#pragma once

// The host's DSP manager, as the plug-in meets it: the manager object that
// the DSP-manager library hands out, the interface the plug-in asks of it by
// identifier, and the connection object through which a DSP process's
// talkers and listeners are switched. The objects belong to the host; their
// operations are called through these shapes, in this slot order.

#include <cstdint>

// A 16-byte interface identifier.
struct SDSPInterfaceID {
  uint8_t bytes[16];
  bool operator==(const SDSPInterfaceID&) const = default;
};

// The identifier of the DSP manager's interface for plug-ins.
inline constexpr SDSPInterfaceID kDSPManagerInterfaceID = {
    {0x5A, 0x41, 0x52, 0x4E, 0x2D, 0x44, 0x53, 0x50, 0x4D, 0x47, 0x52, 0x2D, 0x49, 0x46, 0x30, 0x31}};

// Every object of the DSP manager: counted references and a query for
// another interface of the object.
class IDSPManagerUnknown {
public:
  // 0 with a counted reference in *object, or a negative result with null.
  virtual int32_t QueryInterface(const SDSPInterfaceID& id, void** object) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

protected:
  ~IDSPManagerUnknown() = default;
};

// The switches of one DSP process's connections. Every status is a host
// status; -7103 means the connection already was in the state asked for.
class IDSPConnection {
public:
  virtual int32_t ReactivateTalker(uintptr_t record, int16_t talker) = 0;
  virtual int32_t DeactivateTalker(uintptr_t record, int16_t talker) = 0;
  virtual int32_t ReactivateListener(uintptr_t record, int16_t listener) = 0;
  virtual int32_t DeactivateListener(uintptr_t record, int16_t listener) = 0;
  // Answers a question by four-character code.
  virtual int32_t Query(uint32_t code, int32_t* answer) = 0;
  // The flag that marks the connections as being changed.
  virtual int32_t SetChangingFlag(bool on) = 0;
  virtual int32_t GetChangingFlag(bool* on) = 0;

protected:
  ~IDSPConnection() = default;
};

constexpr int32_t kConnectionAlreadyInState = -7103;
constexpr uint32_t kConnectionQueryCanChange = 0x636D7663; // 'cmvc'

// The DSP manager's interface, asked once and kept, with one reference of
// its own, until the DSP-manager library is freed; null when the library,
// the manager or the interface is missing.
IDSPManagerUnknown* GetDSPManagerInterface();
// Drops the kept interface and its reference (the library's freeing does it).
void ReleaseDSPManagerInterface();
