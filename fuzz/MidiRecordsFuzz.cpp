// The 16-byte MIDI records of a buffered MIDI node, exactly as a host (a
// faulty one included) may fill them: any sample offset, any byte count,
// any bytes, up to 64 in one render call.

#include "fuzz/FuzzHost.h"
#include "fuzz/FuzzSupport.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t at = 0; at + sizeof(SMIDIRecord) <= size && at < 64 * sizeof(SMIDIRecord); at += sizeof(SMIDIRecord)) {
    SMIDIRecord record;
    std::memcpy(&record, data + at, sizeof record);
    fuzz::host().queueMidiRecord(fuzz::instance(), record);
  }
  fuzz::renderQuantum();
  fuzz::renderQuantum();
  fuzz::quiet();
  return 0;
}

void prepare() { fuzz::host(); }

void writeSeeds(const std::string& folder) {
  // What the host itself writes: a chord, a controller, a bend and a
  // program change; and a note-off record with a byte count of 2.
  auto make = [](uint32_t offset, uint32_t count, uint8_t status, uint8_t d1, uint8_t d2) {
    SMIDIRecord r{};
    r.fSampleOffset = offset;
    r.fByteCount = count;
    r.fData[0] = status;
    r.fData[1] = d1;
    r.fData[2] = d2;
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
  };
  fuzz::writeFile(folder + "/chord",
                  make(0, 3, 0x90, 60, 100) + make(0, 3, 0x90, 64, 90) + make(5, 3, 0x90, 67, 80) +
                      make(20, 3, 0xB0, 1, 64) + make(31, 3, 0xE0, 0, 0x50));
  fuzz::writeFile(folder + "/program", make(0, 3, 0xB0, 0, 0) + make(0, 3, 0xB0, 32, 0) + make(1, 2, 0xC0, 3, 0));
  fuzz::writeFile(folder + "/short", make(3, 2, 0x80, 60, 0));
}
