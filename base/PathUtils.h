#pragma once

// Path strings. The delimiter is '/'; a stored folder path ends in '/'.

#include <string>

char getPathDelimiter();
std::string getFileName(const std::string& path);
// Text before the last '.' anywhere in the name: ".hidden" gives "".
std::string stripExtension(const std::string& name);
std::string getFileNameNoExt(const std::string& path);
// path + "/" unless empty or already ending in '/'.
std::string includeTrailingPathDelimiter(const std::string& path);
// Removes one trailing '/'.
std::string excludeTrailingPathDelimiter(const std::string& path);
bool folderExists(const std::string& path);
bool fileExists(const std::string& path);
