#include "tools/render/WavReader.h"

#include <sndfile.h>

namespace renderio {

bool WavReader::read(const std::string& path, WavData& out) {
  out = WavData{};
  mError.clear();
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    mError = path + ": " + sf_strerror(nullptr);
    return false;
  }
  if (info.channels < 1 || info.frames < 0 || info.frames > kMaxSamples / info.channels) {
    sf_close(file);
    mError = path + ": too many samples to read";
    return false;
  }
  out.sampleRate = info.samplerate;
  out.channels = info.channels;
  out.frames = info.frames;
  switch (info.format & SF_FORMAT_SUBMASK) {
  case SF_FORMAT_FLOAT: out.isFloat = true; out.bitsPerSample = 32; break;
  case SF_FORMAT_PCM_S8:
  case SF_FORMAT_PCM_U8: out.bitsPerSample = 8; break;
  case SF_FORMAT_PCM_16: out.bitsPerSample = 16; break;
  case SF_FORMAT_PCM_24: out.bitsPerSample = 24; break;
  case SF_FORMAT_PCM_32: out.bitsPerSample = 32; break;
  default: break;
  }
  out.samples.assign(size_t(info.frames) * size_t(info.channels), 0.0f);
  sf_count_t got = sf_readf_float(file, out.samples.data(), info.frames);
  sf_close(file);
  if (got != info.frames) {
    mError = path + ": read " + std::to_string(got) + " of " + std::to_string(info.frames) + " frames";
    out = WavData{};
    return false;
  }
  return true;
}

} // namespace renderio
