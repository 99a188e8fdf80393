#pragma once

// A reference to an existing item of the file system. Here it is the item's
// absolute path; it is only ever made by resolving a path that names
// something, so an empty reference is an invalid one.

#include <string>

struct FSRef {
  std::string path; // absolute, no trailing '/' (except the root itself)
};
