#pragma once

// Opening a file that anyone may have put where the program expects one:
// a preset, the controller map, the table cache, a resource, a settings
// file. A FIFO there would make a plain open wait for a writer that never
// comes, and a device could be read for ever; both would hang the thread
// that opens it, which may be the render thread. So the file is opened
// without waiting, checked to be a regular file, and only then read, with
// blocking reads as usual.
//
// Thread: any; nothing here is shared.

#include "platform/FileDescriptor.h"

#include <istream>
#include <memory>
#include <streambuf>
#include <string>

namespace platform {

// The reason given for something that is no regular file.
constexpr const char* cNotAFile = "is not a file";

// A descriptor open for reading on the regular file at path (links
// followed), or none with errno and reason, when given, set to the system's
// reason or to cNotAFile.
FileDescriptor openRegularFile(const std::string& path, std::string* reason = nullptr);

// An input stream over a regular file; the stream is failed (every read
// gives nothing) when openRegularFile refused the path.
std::unique_ptr<std::istream> newRegularFileStream(const std::string& path, std::string* reason = nullptr);

// The stream buffer behind newRegularFileStream: reads and seeks on a
// descriptor it owns.
class DescriptorBuffer : public std::streambuf {
public:
  // Nothing can be read when fd holds no descriptor.
  explicit DescriptorBuffer(FileDescriptor fd);
  bool isOpen() const { return static_cast<bool>(mFd); }
  DescriptorBuffer(const DescriptorBuffer&) = delete;
  DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

protected:
  int_type underflow() override;
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

private:
  FileDescriptor mFd;
  char mBuffer[8192];
};

} // namespace platform
