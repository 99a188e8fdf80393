#include "base/Preset.h"

#include "base/PathUtils.h"
#include "base/TextUtils.h"

Preset::Preset(const std::string& path) : mPath(path), mName(getFileNameNoExt(path)) {}

void Preset::setBankAndProgram(int bank, int program) {
  mBank = bank;
  mProgram = program;
  mProgramName = "(" + intToStr(bank) + "/" + intToStr(program) + ") " + mName;
}
