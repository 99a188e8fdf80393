#include "host/DSPManagerRoutines.h"

#include "host/CDSP.h"
#include "host/CProcessGroup.h"
#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "host/services/DSIServices.h"
#include "platform/Bundle.h"

#include <array>
#include <utility>

uintptr_t gDSPDispatchWord = 0;

namespace {

using DispatcherProc = uintptr_t (*)(const SDispatchHeader*);

// The plug-in's own Dispatcher, found by name in its bundle; null when the
// bundle is unknown or does not export one.
DispatcherProc ownDispatcher() {
  const char* path = CProcessGroupGetBundleRef();
  platform::Bundle* bundle = path && *path ? platform::Bundle::open(path) : nullptr;
  if (!bundle || !bundle->loadExecutable()) return nullptr;
  return reinterpret_cast<DispatcherProc>(bundle->function("Dispatcher"));
}

uintptr_t dispatchShellEvent(int32_t kind, DSPRecord* dsp) {
  DispatcherProc dispatcher = ownDispatcher();
  if (!dispatcher) return 0;
  SDispatchShellEvent event{{1, kind}, dsp, gDSPDispatchWord};
  return dispatcher(&event.fHeader);
}

// The chip object of the record, or null with the lookup's status.
CDSP* chipOf(DSPRecord* dsp, int32_t& status) {
  uintptr_t value = 0;
  status = dsp ? GetDSPClientVal(dsp, &value) : HostStatus::kNullObject;
  return status == 0 ? reinterpret_cast<CDSP*>(value) : nullptr;
}

// The memory operations run inside the group's critical section while the
// group brackets calls with it.
struct GroupBracket {
  explicit GroupBracket(bool wanted) : group(wanted && gCriticalSectionLevel != 0 ? gProcessGroup : nullptr) {
    if (group) group->EnterCriticalSection();
  }
  ~GroupBracket() {
    if (group) group->LeaveCriticalSection();
  }
  CProcessGroup* group;
};

template <EShellOperation Operation>
int16_t routine(DSPRecord* dsp, uintptr_t a, uintptr_t b, uintptr_t c) {
  try {
    int32_t status = 0;
    CDSP* chip = chipOf(dsp, status);
    if (!chip) return static_cast<int16_t>(status);
    if constexpr (Operation == eShell_Init) {
      if (uintptr_t answer = dispatchShellEvent(kDispatchShellInit, dsp)) return static_cast<int16_t>(answer);
    }
    GroupBracket bracket(Operation <= eShell_ChangePBits);
    status = chip->ShellOperation(Operation, a, b, c);
    if constexpr (Operation == eShell_Pause) {
      if (status == 0) return static_cast<int16_t>(dispatchShellEvent(kDispatchShellPause, dsp));
    }
    return static_cast<int16_t>(status);
  } catch (const CDAEError& e) {
    // Nothing may escape into the manager.
    return static_cast<int16_t>(Operation == eShell_GetDSPCodeInfo ? -1 : e.GetErrorCode());
  } catch (...) {
    return static_cast<int16_t>(Operation == eShell_GetDSPCodeInfo ? -1 : HostStatus::kUnexpectedCase);
  }
}

template <int... I> constexpr auto makeTable(std::integer_sequence<int, I...>) {
  return std::array<DSPManagerRoutine, sizeof...(I)>{&routine<static_cast<EShellOperation>(I)>...};
}
constexpr auto kRoutines = makeTable(std::make_integer_sequence<int, eShell_OperationCount>());
static_assert(kRoutines.size() == kLastDSPManagerSelector - kFirstDSPManagerSelector + 1);

template <class F> auto withChip(DSPRecord* dsp, F f) {
  int32_t status = 0;
  CDSP* chip = chipOf(dsp, status);
  return f(chip);
}

} // namespace

uintptr_t DSPManagerRoutineTable(int16_t selector) {
  if (selector < kFirstDSPManagerSelector || selector > kLastDSPManagerSelector) return 0;
  auto routineWord = reinterpret_cast<uintptr_t>(kRoutines[static_cast<size_t>(selector - kFirstDSPManagerSelector)]);
  DispatcherProc dispatcher = ownDispatcher();
  if (!dispatcher) return routineWord;
  SDispatchRoutineLookup lookup{{1, kDispatchRoutineLookup}, selector, routineWord};
  return dispatcher(&lookup.fHeader);
}

uintptr_t Dispatcher(const SDispatchHeader* record) {
  if (!record || record->fKind != kDispatchRoutineLookup) return 0;
  return reinterpret_cast<const SDispatchRoutineLookup*>(record)->fRoutine;
}

void CDSPDoHostCommand(DSPRecord* dsp, int16_t command) {
  withChip(dsp, [&](CDSP* chip) {
    if (chip) chip->SendHostCommand(command);
    return 0;
  });
}

int32_t CDSPGetLoLong(DSPRecord* dsp) {
  return withChip(dsp, [&](CDSP* chip) {
    int32_t value = 0;
    if (chip && chip->ReceiveWord(&value) != 0) value = 0;
    return value;
  });
}

void CDSPSendLoLong(DSPRecord* dsp, int32_t value) {
  withChip(dsp, [&](CDSP* chip) {
    if (chip) chip->SendWord(value);
    return 0;
  });
}
