#pragma once

// Builds a description message for the host: a flat list of words, each
// value or pointer one word.

#include "host/HostInterface.h"

#include <cstdint>
#include <vector>

class CPlugInOutputStream {
public:
  CPlugInOutputStream& operator<<(uintptr_t word) {
    fWords.push_back(word);
    return *this;
  }
  CPlugInOutputStream& operator<<(const void* pointer) {
    fWords.push_back(reinterpret_cast<uintptr_t>(pointer));
    return *this;
  }
  // The finished message; valid while the stream lives and is not written.
  const SPlugInBuffer& GetBuffer() {
    fBuffer.fCount = static_cast<uint32_t>(fWords.size());
    fBuffer.fWords = fWords.data();
    return fBuffer;
  }
  const std::vector<uintptr_t>& GetWords() const { return fWords; }

private:
  std::vector<uintptr_t> fWords;
  SPlugInBuffer fBuffer{0, nullptr};
};
