#pragma once

// Data blocks of a real-time instance: records whose fields are declared at
// run time and whose storage the host engine may place in its own memory.
//
// Building a CSmartStructure makes it the process-wide current structure;
// field objects built afterwards attach to it and take the next offset. A
// data block keeps a local copy (made on first access) and, once the engine
// has given one, writes the engine's block too; reads prefer the engine's
// block. Fields are read and written byte-wise, so no alignment is needed.
// A field declared after the first access grows the local copy; the
// engine's block is only touched within the size it was published with.
// Everything but the engine's reads of the block happens on the main thread.

#include "host/CBaseSet.h"

#include <cstddef>
#include <cstdint>

class CSmartStructure {
public:
  CSmartStructure();
  virtual ~CSmartStructure();
  CSmartStructure(const CSmartStructure&) = delete;
  CSmartStructure& operator=(const CSmartStructure&) = delete;

  static CSmartStructure* GetCurrent();

  // Each declaration returns the new field's byte offset and grows the size:
  // signed 4, unsigned (a word that may carry a pointer) sizeof(uintptr_t),
  // float 4, double 8, 8-bit 1.
  virtual int32_t DeclareSigned();
  virtual int32_t DeclareUnsigned();
  virtual int32_t DeclareFloat();
  virtual int32_t DeclareDouble();
  virtual int32_t Declare8Bit();

  // This base stores nothing: gets answer 0 and sets do nothing.
  virtual int32_t GetSigned(int32_t offset);
  virtual uintptr_t GetUnsigned(int32_t offset);
  virtual float GetFloat(int32_t offset);
  virtual double GetDouble(int32_t offset);
  virtual uint8_t Get8Bit(int32_t offset);
  virtual void SetSigned(int32_t offset, int32_t value);
  virtual void SetUnsigned(int32_t offset, uintptr_t value);
  virtual void SetFloat(int32_t offset, float value);
  virtual void SetDouble(int32_t offset, double value);
  virtual void Set8Bit(int32_t offset, uint8_t value);

  int32_t GetSize() const { return fSize; }
  CBaseSet& GetFieldSet() { return fFields; }

private:
  int32_t Declare(int32_t bytes);
  CBaseSet fFields;
  int32_t fSize = 0;
};

// An unsigned field of the current structure.
class CUnsignedField {
public:
  // Throws CDAEError -7053 when there is no current structure.
  CUnsignedField();
  uintptr_t Get() const { return fOwner->GetUnsigned(fOffset); }
  void Set(uintptr_t value) { fOwner->SetUnsigned(fOffset, value); }
  int32_t GetOffset() const { return fOffset; }

private:
  int32_t fOffset;
  CSmartStructure* fOwner;
};

class CPlugInData : public CSmartStructure {
public:
  CPlugInData();
  ~CPlugInData() override;

  // 0 custom, 1 parameters, 2 status, 3 temporary data.
  virtual int32_t GetDataType() const { return 0; }
  // Sends {1, data type, size, address of the host address word}; when the
  // engine stored a new block address there, fills that block from the
  // local copy.
  virtual int32_t Publish();
  virtual void CopyToHost();

  // Reads and writes throw the 16-bit code -9060 for a block of size 0 and
  // -9006 when the local copy cannot be made. 8-bit fields are not stored.
  int32_t GetSigned(int32_t offset) override;
  uintptr_t GetUnsigned(int32_t offset) override;
  float GetFloat(int32_t offset) override;
  double GetDouble(int32_t offset) override;
  void SetSigned(int32_t offset, int32_t value) override;
  void SetUnsigned(int32_t offset, uintptr_t value) override;
  void SetFloat(int32_t offset, float value) override;
  void SetDouble(int32_t offset, double value) override;

  uintptr_t GetHostAddress() const { return fHostAddress; }
  const unsigned char* GetLocalCopy() const { return fLocal; }

private:
  unsigned char* Local();
  // Whether the engine's block (of the size last published) holds the bytes.
  bool InHostBlock(int32_t offset, size_t bytes) const;
  template <class T> T Read(int32_t offset);
  template <class T> void Write(int32_t offset, T value);

  uintptr_t fHostAddress = 0;
  int32_t fHostSize = 0;
  unsigned char* fLocal = nullptr;
  int32_t fLocalSize = 0;
};

// The instance data block of a real-time instance.
class S_RTASP_CustomDataAdmin : public CPlugInData {};
