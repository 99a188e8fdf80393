#pragma once

// The container shared by the program's binary files: a 4-character tag
// (NUL-padded when shorter), an int32 version, then the user's int32 and
// float32 values, all little-endian, with no padding, count or checksum.
// Each user defines its tag, version and the sequence of values; the reader
// leaves every check of the version and of the stream's failure state to it.

#include "platform/ReplacingFile.h"

#include <istream>
#include <ostream>
#include <string>

class BinaryDataReader {
public:
  // Takes ownership of s.
  explicit BinaryDataReader(std::istream* s);
  virtual ~BinaryDataReader();
  BinaryDataReader(const BinaryDataReader&) = delete;
  BinaryDataReader& operator=(const BinaryDataReader&) = delete;

  // Reads the tag and the version; true when both were read whole and the
  // tag matches (compared as strncmp on 4 characters, so "ab" matches the
  // bytes 'a' 'b' 0 0). The version is kept whatever the outcome.
  bool headerValid(const std::string& tag);
  // -1 before headerValid; then the version read (missing bytes as 0).
  int getVersion() const { return version; }

  // 4 bytes; bytes the stream does not deliver read as 0, and the stream
  // fails. So a read past the end gives 0.
  int readInt();
  float readFloat();

  // True once the header or any value could not be read whole: the data is
  // truncated or unreadable and what was read must not be used.
  bool failed() const { return stream->fail(); }

  std::istream* stream; // owned

protected:
  int version = -1;
};

class BinaryDataWriter {
public:
  // Takes ownership of s.
  explicit BinaryDataWriter(std::ostream* s);
  virtual ~BinaryDataWriter();
  BinaryDataWriter(const BinaryDataWriter&) = delete;
  BinaryDataWriter& operator=(const BinaryDataWriter&) = delete;

  // The first 4 characters of tag (NUL-padded when shorter), then version.
  void writeHeader(const std::string& tag, int version);
  void writeInt(int v);
  // The value's IEEE bit pattern.
  void writeFloat(float v);

  // True once a write failed.
  bool failed() const { return stream->fail(); }

  std::ostream* stream; // owned
};

// The container in a file. A file that cannot be opened leaves the stream
// failed: every read gives 0 and headerValid is false. Only a regular file
// is opened: a FIFO or a device in its place is refused at once rather than
// waited on.
class BinaryFileReader : public BinaryDataReader {
public:
  explicit BinaryFileReader(const std::string& path);
  ~BinaryFileReader() override;

  // Why the file could not be opened ("is not a file", or the system's
  // reason); "" when it was.
  const std::string& failure() const { return mFailure; }

private:
  std::string mFailure;
};

// Writes a file as a whole or not at all, through the program's one writer
// of a user's file (platform/ReplacingFile.h): the bytes are gathered and
// go to a hidden temporary file in the target's folder, which replaces
// path when the writer is committed (at the latest when it is destroyed)
// and only when every write succeeded. Until then, and after a failure, the
// old file stays as it was. A link at path stays a link: the file it leads
// to is the one replaced, and a file replaced keeps its mode and owner.
// What path leads to must be a regular file or nothing, when the writer is
// made and when it is committed. A file that cannot be created leaves the
// stream failed; writes then have no effect.
class BinaryFileWriter : public BinaryDataWriter {
public:
  explicit BinaryFileWriter(const std::string& path);
  ~BinaryFileWriter() override;

  // Finishes the file; true when it now holds everything written. Later
  // writes have no effect.
  bool commit();
  // The system's error number of the first failure; 0 while none happened.
  int error() const { return mError; }
  // Why it failed, in words ("" while nothing failed).
  const std::string& reason() const { return mReason; }

private:
  platform::ReplacingFile mFile;
  bool mOpen = false; // created and not yet committed
  bool mWritten = false;
  int mError = 0;
  std::string mReason;
};

// The container in a resource of the plug-in bundle. Throws EResource
// ("Resource not found") when the bundle has no such resource.
class BinaryResourceReader : public BinaryDataReader {
public:
  explicit BinaryResourceReader(const std::string& name);
  ~BinaryResourceReader() override;
};
