#include "base/BinaryData.h"

#include "base/Folders.h"
#include "platform/RegularFile.h"
#include "platform/ReplacedFile.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
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

BinaryFileWriter::BinaryFileWriter(const std::string& path) : BinaryDataWriter(new std::ofstream) {
  auto* file = static_cast<std::ofstream*>(stream);
  // An existing file is replaced where it really is (through symbolic
  // links) and keeps its mode and owner (platform/ReplacedFile.h).
  const std::string::size_type slash = path.rfind('/');
  const bool named = slash == std::string::npos || slash + 1 < path.size();
  if (named && platform::findReplacedFile(path, mReplaced)) mTemp = platform::createReplacement(mReplaced, 0666);
  if (!mTemp) {
    mError = named ? errno : EISDIR;
    file->setstate(std::ios::failbit);
    return;
  }
  mTemp.descriptor.reset(); // the stream writes; the lock stays until the rename
  file->open(mTemp.path, std::ios::out | std::ios::binary | std::ios::trunc);
  if (!file->is_open()) {
    mError = errno ? errno : EIO;
    ::unlink(mTemp.path.c_str());
    mTemp = platform::TemporaryFile();
    file->setstate(std::ios::failbit);
  }
}

BinaryFileWriter::~BinaryFileWriter() { commit(); }

bool BinaryFileWriter::commit() {
  if (mTemp.path.empty()) return mWritten;
  auto* file = static_cast<std::ofstream*>(stream);
  errno = 0;
  file->flush();
  bool ok = !file->fail();
  file->close();
  ok = ok && !file->fail();
  if (!ok) mError = errno ? errno : EIO;
  if (ok) {
    // The bytes reach the disk before the name does, so a crash leaves the
    // old file or the new one, never an empty one.
    const platform::FileDescriptor fd(::open(mTemp.path.c_str(), O_RDONLY | O_CLOEXEC));
    mError = fd ? platform::keepAttributes(fd.get(), mReplaced) : errno;
    ok = mError == 0 && ::fsync(fd.get()) == 0;
    if (!ok && mError == 0) mError = errno;
  }
  if (ok && ::rename(mTemp.path.c_str(), mReplaced.path.c_str()) != 0) {
    ok = false;
    mError = errno;
  }
  if (!ok) ::unlink(mTemp.path.c_str());
  mTemp = platform::TemporaryFile();
  mWritten = ok;
  return ok;
}

BinaryResourceReader::BinaryResourceReader(const std::string& name)
    : BinaryDataReader(createResourceStream(name)) {}

BinaryResourceReader::~BinaryResourceReader() = default;
