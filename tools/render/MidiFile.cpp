#include "tools/render/MidiFile.h"

#include "tools/render/SmallFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace renderio {

namespace {

// Rates beyond this are surely a mistake, and keep sample positions exact.
constexpr double kMaxSampleRate = 10e6;

bool validRate(double rate) { return rate > 0.0 && rate <= kMaxSampleRate; }

std::string hexByte(unsigned b) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", b & 0xFFu);
  return text;
}

uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

struct TempoChange {
  int64_t tick;
  uint32_t microsPerQuarter;
};
struct MeterChange {
  int64_t tick;
  int32_t numerator;
  int32_t denominator;
};

// Reads the events of one track chunk: data[begin, end) of the whole file,
// so that reasons name offsets in the file.
class TrackReader {
public:
  TrackReader(const uint8_t* data, size_t begin, size_t end, uint16_t track)
      : mData(data), mPos(begin), mEnd(end), mTrack(track) {}

  bool read(std::vector<MidiEvent>& events, std::vector<TempoChange>& tempos, std::vector<MeterChange>& meters);
  const std::string& error() const { return mError; }
  int64_t endTick() const { return mTick; }

private:
  bool fail(const std::string& reason, size_t at) {
    mError = "track " + std::to_string(mTrack + 1) + ": " + reason + " (byte " + std::to_string(at) + ")";
    return false;
  }
  bool readNumber(uint32_t& value);
  bool readLength(uint32_t& length, const char* what);

  const uint8_t* mData;
  size_t mPos;
  size_t mEnd;
  uint16_t mTrack;
  int64_t mTick = 0;
  std::string mError;
};

// A variable-length number: at most four bytes of seven bits, the high bit
// set on all but the last.
bool TrackReader::readNumber(uint32_t& value) {
  size_t start = mPos;
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (mPos >= mEnd) return fail("variable-length number runs past the end of the track", start);
    uint8_t b = mData[mPos++];
    value = (value << 7) | (b & 0x7Fu);
    if (!(b & 0x80)) return true;
  }
  return fail("unterminated variable-length number (more than four bytes)", start);
}

bool TrackReader::readLength(uint32_t& length, const char* what) {
  size_t start = mPos;
  if (!readNumber(length)) return false;
  if (length > mEnd - mPos)
    return fail(std::string(what) + " of " + std::to_string(length) + " bytes runs past the end of the track", start);
  return true;
}

bool TrackReader::read(std::vector<MidiEvent>& events, std::vector<TempoChange>& tempos,
                       std::vector<MeterChange>& meters) {
  uint8_t running = 0;
  while (mPos < mEnd) {
    uint32_t delta = 0;
    if (!readNumber(delta)) return false;
    mTick += delta;
    if (mPos >= mEnd) return fail("delta time without an event", mPos);
    size_t at = mPos;
    uint8_t b = mData[mPos];

    if (b == 0xFF) {
      ++mPos;
      if (mPos >= mEnd) return fail("meta event without a type", at);
      uint8_t type = mData[mPos++];
      uint32_t length = 0;
      if (!readLength(length, "meta event")) return false;
      const uint8_t* body = mData + mPos;
      mPos += length;
      if (type == 0x2F) return true; // end of track: anything after it is not part of the song
      if (type == 0x51) {
        if (length != 3) return fail("set tempo event of " + std::to_string(length) + " bytes (3 expected)", at);
        uint32_t micros = (uint32_t(body[0]) << 16) | (uint32_t(body[1]) << 8) | body[2];
        if (micros == 0) return fail("set tempo event with a tempo of zero", at);
        tempos.push_back({mTick, micros});
      } else if (type == 0x58) {
        if (length != 4) return fail("time signature event of " + std::to_string(length) + " bytes (4 expected)", at);
        if (body[0] == 0 || body[1] > 6)
          return fail("time signature " + std::to_string(body[0]) + "/2^" + std::to_string(body[1]) + " out of range",
                      at);
        meters.push_back({mTick, body[0], int32_t(1) << body[1]});
      }
      continue;
    }
    if (b == 0xF0 || b == 0xF7) {
      ++mPos;
      uint32_t length = 0;
      if (!readLength(length, "system exclusive event")) return false;
      mPos += length;
      continue;
    }
    if (b >= 0xF1) return fail("status byte " + hexByte(b) + " is not allowed in a MIDI file", at);

    uint8_t status;
    if (b & 0x80) {
      status = b;
      running = b;
      ++mPos;
    } else {
      if (!running) return fail("data byte " + hexByte(b) + " without a running status", at);
      status = running;
    }
    uint8_t kind = status & 0xF0;
    int count = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
    uint8_t data[2] = {0, 0};
    for (int i = 0; i < count; ++i) {
      if (mPos >= mEnd) return fail("channel event runs past the end of the track", at);
      uint8_t d = mData[mPos];
      if (d & 0x80) return fail("status byte " + hexByte(d) + " where a data byte was expected", mPos);
      data[i] = d;
      ++mPos;
    }
    MidiEvent e;
    e.tick = mTick;
    e.status = status;
    e.data1 = data[0];
    e.data2 = data[1];
    e.track = mTrack;
    if (kind == 0x90 && e.data2 == 0) {
      e.status = static_cast<uint8_t>(0x80 | (status & 0x0F));
      e.data2 = 64;
    }
    events.push_back(e);
  }
  // A track without its end-of-track event ends after its last event.
  return true;
}

} // namespace

MidiFile::MidiFile() = default;

void MidiFile::clear() {
  mFormat = 0;
  mTrackCount = 0;
  mEvents.clear();
  mTempoMap = TempoMap();
  mLengthTicks = 0;
  mLengthSeconds = 0.0;
}

bool MidiFile::fail(std::string reason) {
  clear();
  mError = std::move(reason);
  return false;
}

bool MidiFile::read(const std::string& path, double sampleRate) {
  std::string bytes, error;
  if (!readSmallFile(path, kMaxFileBytes, "a MIDI file", bytes, error)) return fail(error);
  if (!parse(bytes, sampleRate)) {
    mError = path + ": " + mError;
    return false;
  }
  return true;
}

bool MidiFile::parse(const void* input, size_t size, double sampleRate) {
  const uint8_t* data = static_cast<const uint8_t*>(input);
  mError.clear();
  clear();
  if (!validRate(sampleRate)) return fail("sample rate must be above 0 and at most 10 MHz");
  if (size > kMaxFileBytes) return fail("too large for a MIDI file (" + std::to_string(size) + " bytes)");
  if (size < 4 || std::memcmp(data, "MThd", 4) != 0) return fail("not a MIDI file (no MThd header)");
  if (size < 14) return fail("header chunk cut short");
  uint32_t headerLength = be32(data + 4);
  if (headerLength < 6) return fail("header chunk of " + std::to_string(headerLength) + " bytes (6 expected)");
  if (headerLength > size - 8) return fail("header chunk length runs past the end of the file");
  int format = be16(data + 8);
  int tracks = be16(data + 10);
  uint16_t division = be16(data + 12);
  if (format == 2) return fail("format 2 (independent sequences) is not supported");
  if (format > 2) return fail("unknown MIDI file format " + std::to_string(format));
  if (tracks == 0) return fail("the header announces no tracks");
  if (format == 0 && tracks != 1) return fail("format 0 file with " + std::to_string(tracks) + " tracks");
  if (division & 0x8000) return fail("SMPTE time division is not supported (only ticks per quarter note)");
  if (division == 0) return fail("division of zero ticks per quarter note");

  std::vector<MidiEvent> events;
  std::vector<TempoChange> tempos;
  std::vector<MeterChange> meters;
  int64_t endTick = 0;
  size_t pos = 8 + size_t(headerLength);
  int found = 0;
  while (found < tracks) {
    if (pos >= size)
      return fail("file ends after " + std::to_string(found) + " of " + std::to_string(tracks) + " tracks");
    if (size - pos < 8) return fail("chunk header cut short (byte " + std::to_string(pos) + ")");
    uint32_t length = be32(data + pos + 4);
    if (length > size - pos - 8)
      return fail("chunk of " + std::to_string(length) + " bytes runs past the end of the file (byte " +
                  std::to_string(pos) + ")");
    // Chunks of other types are skipped, as the format asks of readers.
    if (std::memcmp(data + pos, "MTrk", 4) == 0) {
      TrackReader reader(data, pos + 8, pos + 8 + length, static_cast<uint16_t>(found));
      if (!reader.read(events, tempos, meters)) return fail(reader.error());
      endTick = std::max(endTick, reader.endTick());
      ++found;
    }
    pos += 8 + size_t(length);
  }

  // Merge the tracks; a stable sort keeps simultaneous events in file order.
  auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
  std::stable_sort(events.begin(), events.end(), byTick);
  std::stable_sort(tempos.begin(), tempos.end(), byTick);
  std::stable_sort(meters.begin(), meters.end(), byTick);

  TempoMap map(division);
  for (const TempoChange& t : tempos) map.addTempo(t.tick, t.microsPerQuarter);
  for (const MeterChange& m : meters) map.addMeter(m.tick, m.numerator, m.denominator);
  if (!events.empty()) endTick = std::max(endTick, events.back().tick);
  double lengthSeconds = map.secondsAtTick(endTick);
  if (lengthSeconds > kMaxSeconds)
    return fail("song lasts " + std::to_string(static_cast<long long>(lengthSeconds)) + " seconds (at most " +
                std::to_string(static_cast<long long>(kMaxSeconds)) + ")");
  for (MidiEvent& e : events) e.seconds = map.secondsAtTick(e.tick);

  mFormat = format;
  mTrackCount = tracks;
  mEvents = std::move(events);
  mTempoMap = std::move(map);
  mLengthTicks = endTick;
  mLengthSeconds = lengthSeconds;
  setSampleRate(sampleRate);
  return true;
}

void MidiFile::setSampleRate(double sampleRate) {
  if (!validRate(sampleRate)) return;
  mSampleRate = sampleRate;
  for (MidiEvent& e : mEvents) e.sample = std::llround(e.seconds * sampleRate);
}

int64_t MidiFile::lengthSamples() const { return std::llround(mLengthSeconds * mSampleRate); }

} // namespace renderio
