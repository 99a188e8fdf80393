#include "base/BinaryData.h"

#include "base/Folders.h"
#include "platform/RegularFile.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file's byte order is little-endian whatever the machine's is.
int32_t fromLittleEndian(const unsigned char* b) {
  return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

void toLittleEndian(int32_t v, unsigned char* b) {
  uint32_t u = static_cast<uint32_t>(v);
  b[0] = static_cast<unsigned char>(u);
  b[1] = static_cast<unsigned char>(u >> 8);
  b[2] = static_cast<unsigned char>(u >> 16);
  b[3] = static_cast<unsigned char>(u >> 24);
}

// 4 bytes into a zeroed buffer: bytes the stream does not deliver stay 0.
int32_t read4(std::istream& s) {
  unsigned char b[4] = {0, 0, 0, 0};
  s.read(reinterpret_cast<char*>(b), 4);
  return fromLittleEndian(b);
}

void write4(std::ostream& s, int32_t v) {
  unsigned char b[4];
  toLittleEndian(v, b);
  s.write(reinterpret_cast<const char*>(b), 4);
}

} // namespace

BinaryDataReader::BinaryDataReader(std::istream* s) : stream(s) {}

BinaryDataReader::~BinaryDataReader() { delete stream; }

bool BinaryDataReader::headerValid(const std::string& tag) {
  char fileTag[4] = {0, 0, 0, 0};
  stream->read(fileTag, 4);
  version = read4(*stream);
  return !stream->fail() && !stream->bad() && std::strncmp(fileTag, tag.c_str(), 4) == 0;
}

int BinaryDataReader::readInt() { return read4(*stream); }

float BinaryDataReader::readFloat() {
  int32_t bits = read4(*stream);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

BinaryDataWriter::BinaryDataWriter(std::ostream* s) : stream(s) {}

BinaryDataWriter::~BinaryDataWriter() { delete stream; }

void BinaryDataWriter::writeHeader(const std::string& tag, int version) {
  char fileTag[4] = {0, 0, 0, 0};
  std::memcpy(fileTag, tag.data(), tag.size() < 4 ? tag.size() : 4);
  stream->write(fileTag, 4);
  write4(*stream, version);
}

void BinaryDataWriter::writeInt(int v) { write4(*stream, v); }

void BinaryDataWriter::writeFloat(float v) {
  int32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  write4(*stream, bits);
}

BinaryFileReader::BinaryFileReader(const std::string& path) : BinaryDataReader(nullptr) {
  stream = platform::newRegularFileStream(path, &mFailure).release();
}

BinaryFileReader::~BinaryFileReader() = default;

BinaryFileWriter::BinaryFileWriter(const std::string& path) : BinaryDataWriter(new std::ostringstream) {
  // The file is made at once, so a name that cannot be written fails the
  // writes rather than the work that fills them.
  mOpen = mFile.create(path);
  if (!mOpen) {
    mError = mFile.errorNumber();
    mReason = mFile.reason();
    stream->setstate(std::ios::failbit);
  }
}

BinaryFileWriter::~BinaryFileWriter() { commit(); }

bool BinaryFileWriter::commit() {
  if (!mOpen) return mWritten;
  mOpen = false;
  const std::string bytes = static_cast<std::ostringstream*>(stream)->str();
  if (stream->fail()) {
    mError = EIO;
    mReason = std::strerror(EIO);
    mFile.discard();
    return false;
  }
  stream->setstate(std::ios::failbit); // later writes have no effect
  mWritten = mFile.writeAll(bytes.data(), bytes.size()) && mFile.commit();
  if (!mWritten) {
    mError = mFile.errorNumber();
    mReason = mFile.reason();
  }
  return mWritten;
}

BinaryResourceReader::BinaryResourceReader(const std::string& name)
    : BinaryDataReader(createResourceStream(name)) {}

BinaryResourceReader::~BinaryResourceReader() = default;
