#pragma once

// The preset-name chunk: the record a host keeps of which preset an
// instance holds, and the one place that tells a host what a program change
// did. The plug-in's adapter writes and reads it; a host that chooses
// presets by name reads it too, so both sides take its layout from here.
//
// The data after the host's chunk header, each field NUL-padded:
//   name     64 bytes: the preset's name; a name of 64 bytes or more fills
//            the field without a terminator, and restoring reads at most 63
//   path   1024 bytes: the preset's path below the library's root, or all
//            NUL when it needs more room (a shortened path names another
//            file)
//   refused 1024 bytes: while a host probes (below), the path of the
//            preset file the last program change could not load, in the
//            form of the path field
//   reason  256 bytes: why it could not be loaded, in the plug-in's words
//   library 1024 bytes: while a host probes (below), the folder the
//            plug-in reads its library from, as it reads it; all NUL
//            otherwise (a saved state carries no user's folder) or when
//            it needs more room
// Readers that know only the name read the first 64 bytes; a record of the
// name alone, or of the name and the path (both saved by earlier versions),
// restores as before.
//
// Probing: a host that sets the chunk kProbeID (a header alone; the
// plug-in lists no such chunk, so no host keeps it in a state) asks to be
// told, through this record, of the preset files its program changes meet
// that cannot be loaded. The request also clears the name and the path,
// so that a program change that loads nothing leaves them empty. The
// plug-in then keeps the refusal here instead of alerting the user, and
// the host says what it was asked about; and it tells the host its
// library's folder, so that a host names the folder the plug-in really
// reads (a stored preference may have moved it from the default). Each
// program change of a library shows, after it, either a preset's name, or
// a refusal, or neither: then the library has no preset at that number,
// and has ended. Only that call starts a probe: a record set back (a
// state the host restores) ends one, whatever it holds, so a file can
// never have the plug-in write the user's folder into the states saved
// after it.

#include "host/HostInterface.h"

#include <cstdint>

namespace presetchunk {

inline constexpr uint32_t kID = 0x51565072; // 'QVPr'
inline constexpr const char* kName = "Quorvane Preset Name";
inline constexpr int32_t kNameSize = 64;
inline constexpr int32_t kPathSize = 1024;
inline constexpr int32_t kRefusedPathSize = 1024;
inline constexpr int32_t kReasonSize = 256;
inline constexpr int32_t kLibrarySize = 1024;

// Offsets within the data, after the chunk header.
inline constexpr int32_t kPathOffset = kNameSize;
inline constexpr int32_t kRefusedPathOffset = kPathOffset + kPathSize;
inline constexpr int32_t kReasonOffset = kRefusedPathOffset + kRefusedPathSize;
inline constexpr int32_t kLibraryOffset = kReasonOffset + kReasonSize;
inline constexpr int32_t kDataSize = kLibraryOffset + kLibrarySize;

// Whole records: the smallest one read (the name alone, 120 bytes) and the
// one written.
inline constexpr int32_t kNameRecordSize = kChunkHeaderSize + kNameSize;
inline constexpr int32_t kRecordSize = kChunkHeaderSize + kDataSize;

inline constexpr uint32_t kProbeID = 0x51565071; // 'QVPq'

// The name field of a record that names no preset: earlier versions' probe
// set it, and states saved while they probed carry it. Restored, it names
// no preset.
inline constexpr const char* kNoPresetName = "/";

} // namespace presetchunk
