#pragma once

// The flat directory listing behind FileEnumerator.
//
// The pattern is a folder and a mask, "folder/mask". The mask is a base and
// an extension split at its last '.'; a base of "*" stands for any base and
// an extension of ".*" (also the extension of a mask without a dot) for any
// extension or none. There is no other wildcard: a '*' inside a longer base
// is an ordinary character, and names are compared case-sensitively. Names
// that begin with '.' are never listed, nor is what is neither a folder nor
// a regular file (FIFOs, devices, sockets) but to a caller that asks for
// it (notFolders). Entries come in the file system's own order.

#include "base/PlatformServices.h"

#include <dirent.h>
#include <string>

class PosixFileEnumerator : public FileEnumerator {
public:
  PosixFileEnumerator(const std::string& pattern, FileEnumerator::Type type);
  ~PosixFileEnumerator() override;
  PosixFileEnumerator(const PosixFileEnumerator&) = delete;
  PosixFileEnumerator& operator=(const PosixFileEnumerator&) = delete;

  bool findNext() override;
  // The current entry's name without folder; "" before the first findNext.
  std::string getFileName() override;

private:
  bool readEntry();
  bool matches() const;

  std::string mFolder;
  FileEnumerator::Type mType;
  std::string mMaskExtension; // with its dot, or ".*"
  std::string mName;
  bool mIsFolder = false;
  bool mIsOther = false; // neither a folder nor a regular file
  DIR* mIterator = nullptr; // null when the folder could not be opened or the pass ended
  std::string mMaskBase;
};
