#pragma once

// The host interface: everything a host and a plug-in bundle exchange. Both
// sides include this header; nothing else crosses between them.
//
// A bundle exports three entry points ("NewMachOPlugIn", "CloseMachOPlugIn",
// "_PI_GetRoutineDescriptor") and three helpers ("CProcessGroupGetBundleRef",
// "CProcessGroupUseResourceFile", "CProcessGroupRestoreResourceFile"). The
// host loads the bundle, calls NewMachOPlugIn with the bundle's folder, and
// asks the routine lookup (the data word _PI_GetRoutineDescriptor holds its
// address) for one routine per call selector. Group selectors take 0 as
// their target; process selectors take the process reference that
// kGroup_NewProcess handed out.
//
// The plug-in reaches the host through the host callback procedure handed
// over with kGroup_SetHostCallback: debug text and numbers, the host object
// interface (where each real-time instance publishes its ports, worker and
// instance data), the MIDI service (buffered nodes and transport) and the
// automation service (touch, value, release of controls).
//
// Sizes: values that were 32-bit on the original host are int32_t; every
// word that may carry a pointer is uintptr_t. Statuses are negative 16-bit
// host codes in an int32_t, 0 for success. Strings handed across are
// length-prefixed (a length byte, then the characters); a buffer for a
// string of at most n characters holds n + 1 bytes. Control, chunk and port
// indices are 1-based.

#include "host/services/StemFormat.h" // EPlugIn_StemFormat: channel layouts of stems

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Entry points

using NewMachOPlugInProc = int32_t (*)(const char* bundlePath);
using CloseMachOPlugInProc = void (*)();

// One routine of the call table. target is 0 for group selectors and the
// process reference for process selectors; the words w1..w4 carry the
// selector's arguments as listed with EPlugInCallSelector (unused words are
// 0). The result is a host status.
using PlugInRoutine = int32_t (*)(uintptr_t target, uintptr_t w1, uintptr_t w2, uintptr_t w3, uintptr_t w4);

// The routine lookup: stores the routine of a selector from 0 to
// kNumPlugInCallSelectors - 1 and returns 0; any other selector gives
// kPlugInErr_NoSuchSelector and leaves routine alone.
using PlugInGetRoutineProc = int32_t (*)(int32_t selector, PlugInRoutine* routine);

using CProcessGroupGetBundleRefProc = const char* (*)();         // the bundle's folder
using CProcessGroupUseResourceFileProc = int16_t (*)();          // returns the previous current file
using CProcessGroupRestoreResourceFileProc = void (*)(int16_t);  // the file that was current before

constexpr const char* kNewMachOPlugInName = "NewMachOPlugIn";
constexpr const char* kCloseMachOPlugInName = "CloseMachOPlugIn";
constexpr const char* kGetRoutineDescriptorName = "_PI_GetRoutineDescriptor";
constexpr const char* kGetBundleRefName = "CProcessGroupGetBundleRef";
constexpr const char* kUseResourceFileName = "CProcessGroupUseResourceFile";
constexpr const char* kRestoreResourceFileName = "CProcessGroupRestoreResourceFile";

// Optional: copies the words the plug-in kept for the failure status the
// calling thread's last call returned into buffer (cut to size - 1 bytes
// and ended by a NUL) and forgets them. Returns their full length, 0 when
// there are none for that status. A host that does not look it up gets the
// bare statuses.
using PlugInTakeFailureTextProc = int32_t (*)(int32_t status, char* buffer, int32_t size);
constexpr const char* kTakeFailureTextName = "PlugInTakeFailureText";

// ---------------------------------------------------------------------------
// Status codes exchanged across the interface

constexpr int32_t kPlugInNoErr = 0;
constexpr int32_t kPlugInErr_NoGroup = -7003;          // NewMachOPlugIn could not create the group
constexpr int32_t kPlugInErr_NoProcessGroup = -7026;   // a call needs the group and there is none
constexpr int32_t kPlugInErr_ServicesRefused = -7060;  // the host's plug-in services refuse a critical section
constexpr int32_t kPlugInErr_NoCriticalSection = -7075;
constexpr int32_t kPlugInErr_NoSuchInstance = -7126;   // not a process of this group or type
constexpr int32_t kPlugInErr_CantChangeInputs = -7152;
constexpr int32_t kPlugInErr_CantChangeOutputs = -7153;
constexpr int32_t kPlugInErr_BadChunk = -7157;         // a chunk of the wrong size or a malformed value
constexpr int32_t kPlugInErr_NoSuchControl = -7300;
constexpr int32_t kPlugInErr_Assertion = -7400;
constexpr int32_t kPlugInErr_Unexpected = -7401;       // also: an exception that is no host status
constexpr int32_t kPlugInErr_NoMemory = -9006;
constexpr int32_t kPlugInErr_NoSuchSelector = -9007;   // also: an operation the object does not offer
constexpr int32_t kPlugInErr_PortMissing = -9013;
constexpr int32_t kPlugInErr_NoHostStructure = -9060;
constexpr int32_t kPlugInErr_MIDIVersionTooOld = -9145;

// ---------------------------------------------------------------------------
// Records

// The host's plug-in id: three 32-bit values, then two pointer words.
struct SFicPlugInId {
  uint32_t fManufacturerID;
  uint32_t fProductID;
  uint32_t fPlugInID;
  uintptr_t fHostContext;
  uintptr_t fReserved;
};

// A settings chunk: a 56-byte header, then the data. fSize is the total size
// in bytes, header included. The plug-in writes fSize and the data; the host
// fills the other header fields (the chunk's id and its length-prefixed name)
// when it stores the chunk. The record is exchanged and stored byte for byte.
struct SFicPlugInChunk {
  int32_t fSize;
  int32_t fVersion;
  uint32_t fManufacturerID;
  uint32_t fProductID;
  uint32_t fPlugInID;
  uint32_t fChunkID;
  unsigned char fName[32];
};
constexpr int32_t kChunkHeaderSize = 56;
static_assert(sizeof(SFicPlugInChunk) == kChunkHeaderSize, "the chunk header is 56 bytes");

inline unsigned char* ChunkData(SFicPlugInChunk* chunk) {
  return reinterpret_cast<unsigned char*>(chunk) + kChunkHeaderSize;
}
inline const unsigned char* ChunkData(const SFicPlugInChunk* chunk) {
  return reinterpret_cast<const unsigned char*>(chunk) + kChunkHeaderSize;
}

// One MIDI event of a buffered node for the current render call: 16 bytes.
struct SMIDIRecord {
  uint32_t fSampleOffset; // within the current render call
  uint32_t fByteCount;    // valid bytes of fData
  uint8_t fData[3];       // status, first and second data byte
  uint8_t fReserved[5];
};
static_assert(sizeof(SMIDIRecord) == 16, "a MIDI record is 16 bytes");
static_assert(offsetof(SMIDIRecord, fData) == 8, "MIDI data start at byte 8");

// The information of one auxiliary output stem of an instance.
struct SAuxOutputStemInfo {
  int32_t fPresent; // non-zero when the stem exists
  EPlugIn_StemFormat fStemFormat;
};

struct SHostRect {
  int16_t top, left, bottom, right;
};
struct SHostPoint {
  int16_t v, h;
};

// Capabilities a group or process type may answer (kGroup_Gestalt,
// kGroup_ProcessTypeGestalt); an unanswered capability answers 0.
enum EPlugInGestalt : int32_t {
  ePlugInGestalt_SideChainInput = 5,    // the 1-based index of the side-chain input port
  ePlugInGestalt_AltDefaultRender = 38, // the second built-in render routine
  ePlugInGestalt_AuxOutputStems = 41,
  ePlugInGestalt_VariableQuantum = 48   // the instance can render any quantum up to the host's maximum
};

// ---------------------------------------------------------------------------
// Call selectors. Arguments are the words w1..w4 in order; "out T*" words
// point to where the answer goes; "pstr n" is a buffer for a length-prefixed
// string of at most n characters (n + 1 bytes). Unlisted numbers below
// kNumPlugInCallSelectors are reserved: their routine answers
// kPlugInErr_NoSuchSelector.

enum EPlugInCallSelector : int32_t {
  // Group (target 0)
  kGroup_SetHostCallback = 0,        // HostCallbackProc (0 removes it)
  kGroup_GetNames = 1,               // maxLength, out pstr maxLength: the longest name variant that fits
  kGroup_GetVersion = 2,             // out uint32_t*
  kGroup_GetManufacturerName = 3,    // maxLength, out pstr maxLength
  kGroup_GetManufacturerID = 4,      // out uint32_t*
  kGroup_Gestalt = 5,                // selector, out int32_t*
  kGroup_GetNumProcessTypes = 6,     // out int32_t*
  kGroup_GetProcessTypeIDs = 7,      // type (1-based), out uint32_t* id, out uint32_t* id2, out uint32_t* category bits
  kGroup_GetProcessTypeName = 8,     // type, maxLength, out pstr maxLength
  kGroup_GetProcessTypeStems = 9,    // type, out int32_t* input, out int32_t* output, out int32_t* third
  kGroup_GetProcessTypeRates = 10,   // type, out int32_t* sample-rate support bits
  kGroup_ProcessTypeGestalt = 11,    // type, selector, out int32_t*
  kGroup_NewProcess = 12,            // type, out uintptr_t* process reference
  kGroup_DeleteProcess = 13,         // process reference
  kGroup_Idle = 14,                  // -
  kGroup_GetNumAuxOutputStems = 15,  // type, instance id, out int32_t*
  kGroup_GetAuxOutputStemInfo = 16,  // type, instance id, stem (1-based), out SAuxOutputStemInfo*

  // Process (target = the process reference)
  kProcess_GetInstanceID = 32,       // out int32_t*
  kProcess_GetNumAudioInputs = 33,   // out int16_t*
  kProcess_GetNumAudioOutputs = 34,  // out int16_t*
  kProcess_SetSampleRate = 35,       // rate (samples per second)
  kProcess_GetSampleRate = 36,       // out int32_t*
  kProcess_ConnectInput = 37,        // port (1-based), connection (the port's float buffer)
  kProcess_ConnectOutput = 38,       // port, connection
  kProcess_DisconnectInput = 39,     // port
  kProcess_DisconnectOutput = 40,    // port
  kProcess_CreateHostPlugIn = 41,    // const SFicPlugInId*: build and publish the real-time instance
  kProcess_Idle = 42,                // -

  kProcess_GetNumControls = 48,          // out int32_t*
  kProcess_GetMasterBypassControl = 49,  // out int32_t* (0: none)
  kProcess_GetControlID = 50,            // index, out uint32_t*
  kProcess_GetControlName = 51,          // index, maxLength, out pstr maxLength
  kProcess_GetControlNumSteps = 52,      // index, out int32_t*
  kProcess_GetControlValue = 53,         // index, out int32_t*
  kProcess_UpdateControlValue = 54,      // index, value: the host stored a new value
  kProcess_GetControlDefaultValue = 55,  // index, out int32_t*
  kProcess_GetControlValueString = 56,   // index, value, maxLength, out pstr maxLength
  kProcess_GetControlValueFromString = 57, // index, const pstr text, out int32_t* value
  kProcess_IsControlKeyValid = 58,       // index, key, out int32_t* (0 or 1)
  kProcess_GetControlType = 59,          // index, out int32_t* (0 discrete, 1 continuous)
  kProcess_IsControlAutomatable = 60,    // index, out int32_t*
  kProcess_TouchControl = 61,            // index (a control surface grabbed it)
  kProcess_ReleaseControl = 62,          // index

  kProcess_GetNumChunks = 64,        // out int32_t*
  kProcess_GetChunkID = 65,          // chunk (1-based), out uint32_t*
  kProcess_GetChunkName = 66,        // id, maxLength, out pstr maxLength
  kProcess_GetChunkSize = 67,        // id, out int32_t* total size, header included
  kProcess_GetChunk = 68,            // id, SFicPlugInChunk* of the size asked before
  kProcess_SetChunk = 69,            // id, const SFicPlugInChunk*

  kProcess_GetNumMeters = 80,                // out int32_t*
  kProcess_GetMetersAndClipIndicators = 81,  // out int32_t* values, out uint8_t* clips (one per meter)
  kProcess_GetMeterValue = 82,               // meter (1-based), out int32_t*
  kProcess_GetClipState = 83,                // meter, out int32_t*
  kProcess_ClearClipState = 84,              // -
  kProcess_GetMeterOrientation = 85,         // meter, out int32_t*
  kProcess_GetNumMetersOfType = 86,          // type character, out int32_t*
  kProcess_GetMeterIndexByType = 87,         // type character, n, out int32_t*

  kProcess_CreateView = 96,          // out uintptr_t* view (0: the plug-in draws no host view)
  kProcess_SetViewPort = 97,         // window port (0 closes the editor)
  kProcess_GetViewRect = 98,         // out SHostRect*
  kProcess_ChooseControl = 99,       // h, v, out int32_t* control index (0: none)

  kNumPlugInCallSelectors = 172
};

// ---------------------------------------------------------------------------
// The host callback procedure: called as (selector, 0, argument); returns a
// 16-bit status (0 success).

using HostCallbackProc = int16_t (*)(int32_t selector, uintptr_t reserved, uintptr_t argument);

enum EHostCallbackSelector : int32_t {
  kHostCallback_DebugText = 8,            // argument: a length-prefixed string
  kHostCallback_DebugNumber = 9,          // argument: the number
  kHostCallback_Idle = 16,                // argument: 0; lets the host run pending work
  kHostCallback_GetObjectInterface = 18,  // argument: SHostObjectInterface** to fill
  kHostCallback_GetMIDIService = 19,      // argument: SHostMIDIService** to fill
  kHostCallback_GetAutomationService = 20 // argument: SHostAutomationService** to fill
};

// ---------------------------------------------------------------------------
// The host object interface. Every object of a real-time instance registers
// with its kind when built and unregisters when destroyed; publishing sends
// the engine description messages, flat lists of words.

enum EHostObjectKind : int8_t {
  eHostObject_PlugIn = 3,
  eHostObject_InputPort = 4,
  eHostObject_OutputPort = 5,
  eHostObject_Worker = 7,
  eHostObject_DataBlock = 8
};

// Description messages (first word):
//   bracket     {2} begins a publication, {3} ends it (sent for the plug-in)
//   port        {1, plug-in, port index}
//   worker      {6, render routine, 4, then for each of its four sets (data
//               blocks, input ports, output ports, other) the member count and
//               the members, then the name (const char*), then the flags word}
//   data block  {1, data type, size in bytes, address of the block's host
//               address word: the host may store the address of a block of
//               its own there, which the plug-in then fills}
//   plug-in     {1, the five id words, input count and the inputs, output
//               count and the outputs, worker count and the workers}
constexpr uintptr_t kHostMessage_Describe = 1;
constexpr uintptr_t kHostMessage_BeginPublish = 2;
constexpr uintptr_t kHostMessage_EndPublish = 3;
constexpr uintptr_t kHostMessage_Worker = 6;

struct SPlugInBuffer {
  uint32_t fCount;
  const uintptr_t* fWords;
};

struct SHostObjectInterface {
  int32_t (*RegisterHostObject)(SHostObjectInterface* self, uintptr_t object, int8_t kind);
  int32_t (*UnregisterHostObject)(SHostObjectInterface* self, uintptr_t object);
  int32_t (*DescribeHostObject)(SHostObjectInterface* self, uintptr_t object, const SPlugInBuffer* message);
};

// The instance data block that a real-time instance publishes (data type 0):
// seven words, in this order.
enum ERTASInstanceField : int32_t {
  eRTASInstance_Process = 0,        // the process object
  eRTASInstance_Inputs = 1,         // address of the input connection words (uintptr_t[inputs])
  eRTASInstance_Outputs = 2,        // address of the output connection words
  eRTASInstance_NumInputs = 3,      // input ports, auxiliary stems included
  eRTASInstance_NumOutputs = 4,
  eRTASInstance_SideChainPort = 5,  // 1-based index of the side-chain input port, or 0
  eRTASInstance_VariableQuantum = 6,// non-zero: any quantum up to the host's maximum
  eRTASInstance_NumFields = 7
};

// What the host hands the worker's render routine for one render call, on
// its real-time thread. The routine points outputs[k] at the buffer it wrote
// for output port k + 1 (the port's connection), or at silence when it could
// not render.
struct SRTASRenderCall {
  const uintptr_t* fInstanceData; // eRTASInstance_NumFields words
  int32_t fSampleCount;
  const float* fSilence;          // at least fSampleCount zeros
  const float** fOutputs;         // one entry per output port
};
using RTASRenderRoutine = void (*)(SRTASRenderCall* call);

// ---------------------------------------------------------------------------
// The host MIDI service. A process logs in (negotiating the interface
// version), creates nodes, and reads the transport. Before every render call
// the host fills each buffered input node's buffer with the events of that
// call; the plug-in reads it on the render thread. The transport queries are
// made on the render thread too.

constexpr int32_t kMIDIInterfaceVersionMax = 7;       // the newest version the plug-in knows
constexpr int32_t kMIDIInterfaceVersionTransport = 4; // transport queries need at least this

enum EMIDINodeType : int32_t { eMIDINode_BufferedInput = 0 };

struct SHostMIDINodeBuffer {
  const SMIDIRecord* fRecords;
  int32_t fCount;
};

struct SHostMIDIService {
  int32_t (*LogIn)(SHostMIDIService* self, uintptr_t process, int32_t wantedVersion, int32_t* version,
                   uintptr_t* session);
  int32_t (*LogOut)(SHostMIDIService* self, uintptr_t session);
  // A node of the session; identity is the host's name for it (stored in the
  // "MIDI Connection Data" chunk), buffer the host's record of its events.
  int32_t (*NewNode)(SHostMIDIService* self, uintptr_t session, int32_t nodeType, const char* name,
                     uint32_t channels, uint8_t flags, uint32_t* identity, const SHostMIDINodeBuffer** buffer);
  int32_t (*DeleteNode)(SHostMIDIService* self, uintptr_t session, uint32_t identity);
  // Gives a node back the identity it had when its connections were saved.
  int32_t (*RestoreNodeIdentity)(SHostMIDIService* self, uintptr_t session, uint32_t identity,
                                 uint32_t savedIdentity);
  int32_t (*GetSampleLocation)(SHostMIDIService* self, uintptr_t session, int64_t* location);
  int32_t (*GetTempo)(SHostMIDIService* self, uintptr_t session, double* beatsPerMinute);
  int32_t (*GetMeter)(SHostMIDIService* self, uintptr_t session, int32_t* numerator, int32_t* denominator);
  // bars and beats count from 1; ticks within the beat, 960000 per quarter note.
  int32_t (*GetBarBeatPosition)(SHostMIDIService* self, uintptr_t session, int32_t* bars, int32_t* beats,
                                int64_t* ticks, int64_t location);
};

// ---------------------------------------------------------------------------
// The plug-in services object the host engine hands out (its answer to the
// capability "pisi"): whether the plug-in may create a host critical section
// (an answer below 1 refuses).

struct SHostPlugInServices {
  int32_t (*MayCreateCriticalSection)(SHostPlugInServices* self);
};

// ---------------------------------------------------------------------------
// The host automation service: a value the plug-in changes itself goes to
// the host between a touch and a release; the host records it and echoes it
// back with kProcess_UpdateControlValue.

struct SHostAutomationService {
  int32_t (*TouchControl)(SHostAutomationService* self, uintptr_t process, int32_t controlIndex);
  int32_t (*SetControlValue)(SHostAutomationService* self, uintptr_t process, int32_t controlIndex, int32_t value);
  int32_t (*ReleaseControl)(SHostAutomationService* self, uintptr_t process, int32_t controlIndex);
};
