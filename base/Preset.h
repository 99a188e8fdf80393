#pragma once

// One preset file of a preset library. The preset knows only where its file
// is and, once the library has numbered it, its MIDI bank and program; what
// the file holds is the business of whoever loads it.

#include <string>

class Preset {
public:
  // name = the file name without folder and extension; not yet numbered.
  explicit Preset(const std::string& path);

  const std::string& getPath() const { return mPath; }
  const std::string& getName() const { return mName; }
  // Empty until numbered, then "(bank/program) name".
  const std::string& getProgramName() const { return mProgramName; }
  // -1 until numbered.
  int getBank() const { return mBank; }
  int getProgram() const { return mProgram; }

  void setBankAndProgram(int bank, int program);

private:
  std::string mPath;
  std::string mName;
  std::string mProgramName;
  int mBank = -1;
  int mProgram = -1;
};
