#include "base/PosixFileEnumerator.h"

#include <sys/stat.h>

PosixFileEnumerator::PosixFileEnumerator(const std::string& pattern, FileEnumerator::Type type)
    : mType(type) {
  const std::string::size_type d = pattern.rfind('/');
  const std::string::size_type e = pattern.rfind('.');
  // Without a '/', the whole pattern serves as folder and as mask.
  mFolder = d == std::string::npos ? pattern : pattern.substr(0, d);
  const std::string::size_type maskStart = d == std::string::npos ? 0 : d + 1;
  if (e != std::string::npos && (d == std::string::npos || e > d)) {
    mMaskBase = pattern.substr(maskStart, e - maskStart);
    mMaskExtension = pattern.substr(e);
  } else {
    mMaskBase = pattern.substr(maskStart);
    mMaskExtension = ".*";
  }
  // A folder that does not exist, or cannot be read, yields no entries.
  mIterator = opendir(mFolder.c_str());
}

PosixFileEnumerator::~PosixFileEnumerator() {
  if (mIterator) closedir(mIterator);
}

bool PosixFileEnumerator::findNext() {
  while (mIterator) {
    if (!readEntry()) {
      // The pass is over (or reading failed): every later call is false too.
      closedir(mIterator);
      mIterator = nullptr;
      break;
    }
    if (matches()) return true;
  }
  return false;
}

std::string PosixFileEnumerator::getFileName() { return mName; }

bool PosixFileEnumerator::readEntry() {
  const dirent* entry = readdir(mIterator);
  if (!entry) return false;
  // File names are UTF-8 here, as everywhere else in the program's paths, so
  // the name needs no conversion.
  mName = entry->d_name;
  mIsFolder = false;
  mIsOther = false;
  // Hidden names never match; they need no look-up.
  if (mName.empty() || mName[0] == '.') return true;
  // A symbolic link counts as what it points to, so a folder linked into the
  // preset library is listed as a folder (a walk down the tree keeps link
  // loops in check itself: see PresetFolder). A link that points nowhere
  // counts as a file. An entry removed since the folder
  // was read is passed over, and so is what is neither a folder nor a
  // regular file (a FIFO, a device, a socket) unless asked for: opening it
  // to read could wait for ever.
  const std::string path = mFolder + "/" + mName;
  struct stat info;
  if (stat(path.c_str(), &info) == 0) {
    mIsFolder = S_ISDIR(info.st_mode);
    mIsOther = !mIsFolder && !S_ISREG(info.st_mode);
  } else if (lstat(path.c_str(), &info) != 0) {
    mName.clear();
  }
  return true;
}

bool PosixFileEnumerator::matches() const {
  if (mName.empty() || mName[0] == '.') return false;
  if (mIsFolder != (mType == FileEnumerator::folders)) return false;
  if (mIsOther && mType != FileEnumerator::notFolders) return false;
  const std::string::size_type k = mName.rfind('.');
  if (k != std::string::npos) {
    const std::string candidate = (mMaskBase != "*" ? mMaskBase : mName.substr(0, k)) +
                                  (mMaskExtension != ".*" ? mMaskExtension : mName.substr(k));
    return candidate == mName;
  }
  return mMaskExtension == ".*" && (mMaskBase == "*" || mMaskBase == mName);
}

FileEnumerator* createFileEnumerator(const std::string& pattern, FileEnumerator::Type type) {
  return new PosixFileEnumerator(pattern, type);
}
