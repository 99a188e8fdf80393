#include "host/CPlugInData.h"

#include "host/CPlugInOutputStream.h"
#include "host/PlugInGlobals.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
CSmartStructure* gCurrentStructure = nullptr;
}

CSmartStructure::CSmartStructure() { gCurrentStructure = this; }

CSmartStructure::~CSmartStructure() {
  if (gCurrentStructure == this) gCurrentStructure = nullptr;
}

CSmartStructure* CSmartStructure::GetCurrent() { return gCurrentStructure; }

int32_t CSmartStructure::Declare(int32_t bytes) {
  int32_t offset = fSize;
  fSize += bytes;
  return offset;
}

int32_t CSmartStructure::DeclareSigned() { return Declare(4); }
int32_t CSmartStructure::DeclareUnsigned() { return Declare(static_cast<int32_t>(sizeof(uintptr_t))); }
int32_t CSmartStructure::DeclareFloat() { return Declare(4); }
int32_t CSmartStructure::DeclareDouble() { return Declare(8); }
int32_t CSmartStructure::Declare8Bit() { return Declare(1); }

int32_t CSmartStructure::GetSigned(int32_t) { return 0; }
uintptr_t CSmartStructure::GetUnsigned(int32_t) { return 0; }
float CSmartStructure::GetFloat(int32_t) { return 0.0f; }
double CSmartStructure::GetDouble(int32_t) { return 0.0; }
uint8_t CSmartStructure::Get8Bit(int32_t) { return 0; }
void CSmartStructure::SetSigned(int32_t, int32_t) {}
void CSmartStructure::SetUnsigned(int32_t, uintptr_t) {}
void CSmartStructure::SetFloat(int32_t, float) {}
void CSmartStructure::SetDouble(int32_t, double) {}
void CSmartStructure::Set8Bit(int32_t, uint8_t) {}

CUnsignedField::CUnsignedField() : fOwner(PlugInAssertPointer(CSmartStructure::GetCurrent())) {
  fOffset = fOwner->DeclareUnsigned();
  fOwner->GetFieldSet().AddMember(this);
}

CPlugInData::CPlugInData() { RegisterHostObject(this, eHostObject_DataBlock); }

CPlugInData::~CPlugInData() {
  UnregisterHostObject(this);
  std::free(fLocal);
}

unsigned char* CPlugInData::Local() {
  if (fLocal && fLocalSize == GetSize()) return fLocal;
  if (GetSize() <= 0) throw static_cast<int16_t>(kPlugInErr_NoHostStructure);
  // A field declared after the first access grows the copy.
  auto* grown = static_cast<unsigned char*>(std::realloc(fLocal, static_cast<size_t>(GetSize())));
  if (!grown) throw static_cast<int16_t>(kPlugInErr_NoMemory);
  std::memset(grown + fLocalSize, 0, static_cast<size_t>(GetSize() - fLocalSize));
  fLocal = grown;
  fLocalSize = GetSize();
  return fLocal;
}

template <class T> T CPlugInData::Read(int32_t offset) {
  unsigned char* local = Local();
  PlugInAssert(offset >= 0 && offset + static_cast<int32_t>(sizeof(T)) <= GetSize());
  if (InHostBlock(offset, sizeof(T)))
    std::memcpy(local + offset, reinterpret_cast<const unsigned char*>(fHostAddress) + offset, sizeof(T));
  T value;
  std::memcpy(&value, local + offset, sizeof(T));
  return value;
}

template <class T> void CPlugInData::Write(int32_t offset, T value) {
  unsigned char* local = Local();
  PlugInAssert(offset >= 0 && offset + static_cast<int32_t>(sizeof(T)) <= GetSize());
  if (InHostBlock(offset, sizeof(T)))
    std::memcpy(reinterpret_cast<unsigned char*>(fHostAddress) + offset, &value, sizeof(T));
  std::memcpy(local + offset, &value, sizeof(T));
}

int32_t CPlugInData::GetSigned(int32_t offset) { return Read<int32_t>(offset); }
uintptr_t CPlugInData::GetUnsigned(int32_t offset) { return Read<uintptr_t>(offset); }
float CPlugInData::GetFloat(int32_t offset) { return Read<float>(offset); }
double CPlugInData::GetDouble(int32_t offset) { return Read<double>(offset); }
void CPlugInData::SetSigned(int32_t offset, int32_t value) { Write(offset, value); }
void CPlugInData::SetUnsigned(int32_t offset, uintptr_t value) { Write(offset, value); }
void CPlugInData::SetFloat(int32_t offset, float value) { Write(offset, value); }
void CPlugInData::SetDouble(int32_t offset, double value) { Write(offset, value); }

bool CPlugInData::InHostBlock(int32_t offset, size_t bytes) const {
  return fHostAddress && offset + static_cast<int64_t>(bytes) <= fHostSize;
}

int32_t CPlugInData::Publish() {
  uintptr_t before = fHostAddress;
  fHostSize = GetSize();
  CPlugInOutputStream s;
  s << kHostMessage_Describe << static_cast<uintptr_t>(GetDataType()) << static_cast<uintptr_t>(GetSize())
    << static_cast<const void*>(&fHostAddress);
  int32_t status = DescribeHostObject(this, s.GetBuffer());
  if (fHostAddress != before) CopyToHost();
  return status;
}

void CPlugInData::CopyToHost() {
  if (fHostAddress && fLocal)
    std::memcpy(reinterpret_cast<void*>(fHostAddress), fLocal, static_cast<size_t>(std::min(fLocalSize, fHostSize)));
}
