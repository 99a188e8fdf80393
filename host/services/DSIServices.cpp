#include "host/services/DSIServices.h"

#include "host/services/CDAEError.h"
#include "host/services/DAECalls.h"
#include "host/services/DSICalls.h"

#include <atomic>
#include <cstring>

bool SPlugInUtilsGlobals::gUseNewDSI = false;

bool UseNewDSIAccess() { return SPlugInUtilsGlobals::gUseNewDSI; }

namespace {

template <class T> uintptr_t word(T* p) { return reinterpret_cast<uintptr_t>(p); }

// The card type of the DSP's card in either mode; 0 when it cannot be told.
int16_t cardTypeOf(DSPRecord* dsp) {
  int16_t type = 0;
  if (GetCardTypeFromDSP(dsp, &type) != 0) return 0;
  return type;
}

bool driverFlag(int32_t (*query)(uintptr_t, uintptr_t), DSPRecord* dsp) {
  uint8_t flag = 0;
  return query(word(dsp), word(&flag)) == 0 && flag != 0;
}

// Walks the driver's DSP list in the current mode.
template <class Predicate> bool anyDSP(Predicate predicate) {
  DSPRecord* dsp = nullptr;
  if (Call_GetDSPList(word(&dsp)) != 0) return false;
  while (dsp) {
    if (predicate(dsp)) return true;
    DSPRecord* next = nullptr;
    if (GetNextDSP(dsp, &next) != 0) return false;
    dsp = next;
  }
  return false;
}

std::atomic<bool> sServicesKnown{false};
std::atomic<uintptr_t> sServices{0};

} // namespace

int32_t InitializeDSICalls() {
  DSPRecord* first = nullptr;
  if (Call_GetDSPList(word(&first)) != 0) first = nullptr;
  if (IsCardPresent(18)) return 0;
  if (first) {
    ShellRecord* shell = nullptr;
    if (Call_DsiGetDSPShell(word(first), word(&shell)) == 0) SPlugInUtilsGlobals::gUseNewDSI = true;
  }
  return 0;
}

int32_t FreeDSICalls() { return 0; }

uintptr_t GetPlugInServices() {
  if (sServicesKnown.load(std::memory_order_acquire)) return sServices.load(std::memory_order_relaxed);
  uintptr_t answer = 0;
  if (Call_FicGestalt(kGestaltPlugInServices, &answer) != 0) return 0;
  sServices.store(answer, std::memory_order_relaxed);
  sServicesKnown.store(true, std::memory_order_release);
  return answer;
}

// ------------------------------------------------------------ DSP records

int32_t GetDSPShell(DSPRecord* dsp, ShellRecord** shell) {
  if (UseNewDSIAccess()) return Call_DsiGetDSPShell(word(dsp), word(shell));
  *shell = dsp->shell;
  return 0;
}

int32_t GetDSPInfoRecord(DSPRecord* dsp, DSPInfoRecord* info) {
  if (UseNewDSIAccess()) return Call_DsiGetDSPInfoRecord(word(dsp), word(info));
  std::memcpy(info, &dsp->info, sizeof(DSPInfoRecord));
  return 0;
}

int32_t GetDSPCoreType(DSPRecord* dsp, int32_t* coreType) {
  if (UseNewDSIAccess()) return Call_DsiGetDSPCoreType(word(dsp), word(coreType));
  *coreType = dsp->coreType;
  return 0;
}

int32_t GetDSPClient(DSPRecord* dsp, uintptr_t* client) {
  if (UseNewDSIAccess()) return Call_DsiGetDSPClient(word(dsp), word(client));
  *client = dsp->client;
  return 0;
}

int32_t GetDSPClientVal(DSPRecord* dsp, uintptr_t* value) {
  if (UseNewDSIAccess()) return Call_DsiGetDSPClientVal(word(dsp), word(value));
  *value = dsp->clientValue;
  return 0;
}

int32_t SetDSPClientVal(DSPRecord* dsp, uintptr_t value) {
  if (UseNewDSIAccess()) return Call_DsiSetDSPClientVal(word(dsp), value);
  dsp->clientValue = value;
  return 0;
}

int32_t GetNextDSP(DSPRecord* dsp, DSPRecord** next) {
  if (UseNewDSIAccess()) return Call_DsiGetNextDSP(word(dsp), word(next));
  *next = dsp->next;
  return 0;
}

int32_t GetCardTypeFromDSP(DSPRecord* dsp, int16_t* cardType) {
  if (UseNewDSIAccess()) return Call_DsiGetCardTypeFromDSP(word(dsp), word(cardType));
  *cardType = dsp->card->cardType;
  return 0;
}

// ----------------------------------------------------------- card records

int32_t GetNextCard(CardRecord* card, CardRecord** next) {
  if (UseNewDSIAccess()) return Call_DsiGetNextCard(word(card), word(next));
  *next = card->next;
  return 0;
}

int32_t GetCardTypeFromCard(CardRecord* card, int16_t* cardType) {
  if (UseNewDSIAccess()) return Call_DsiGetCardType(word(card), word(cardType));
  *cardType = card->cardType;
  return 0;
}

int32_t GetFirstDSPOnCard(CardRecord* card, DSPRecord** first) {
  if (UseNewDSIAccess()) return Call_DsiGetFirstDSPOnCard(word(card), word(first));
  *first = card->firstDSP;
  return 0;
}

int32_t GetCardQuickReadAddrFromDSP(DSPRecord* dsp, void** address) {
  if (UseNewDSIAccess()) {
    *address = nullptr;
    return 0;
  }
  *address = dsp->card->quickReadAddress;
  return 0;
}

// ---------------------------------------------------------- shell records

int32_t GetShellClient(ShellRecord* shell, uintptr_t* client) {
  if (UseNewDSIAccess()) return Call_DsiGetShellClient(word(shell), word(client));
  *client = shell->client;
  return 0;
}

int32_t GetShellClientVal(ShellRecord* shell, uintptr_t* value) {
  if (UseNewDSIAccess()) return Call_DsiGetShellClientVal(word(shell), word(value));
  *value = shell->clientValue;
  return 0;
}

int32_t SetShellID(ShellRecord* shell, int32_t id) {
  if (UseNewDSIAccess()) return Call_DsiSetShellID(word(shell), static_cast<uintptr_t>(static_cast<intptr_t>(id)));
  shell->shellID = id;
  return 0;
}

int32_t GetShellID(ShellRecord* shell, int32_t* id) {
  if (UseNewDSIAccess()) return Call_DsiGetShellID(word(shell), word(id));
  *id = shell->shellID;
  return 0;
}

int32_t SetShellIsStandard(ShellRecord* shell, uint8_t isStandard) {
  if (UseNewDSIAccess()) return Call_DsiSetShellIsStandard(word(shell), isStandard);
  shell->isStandard = isStandard;
  return 0;
}

int32_t SetShellMaxLocation(ShellRecord* shell, int32_t location) {
  if (UseNewDSIAccess())
    return Call_DsiSetShellMaxLocation(word(shell), static_cast<uintptr_t>(static_cast<intptr_t>(location)));
  shell->maxLocation = location;
  return 0;
}

int32_t SetShellDSPCode(ShellRecord* shell, char** code) {
  if (UseNewDSIAccess()) return Call_DsiSetShellDSPCode(word(shell), word(code));
  shell->dspCode = code;
  return 0;
}

int32_t SetShellHostCodeHandler(ShellRecord* shell, DSIHostCodeHandler handler) {
  if (UseNewDSIAccess()) return Call_DsiSetShellHostCodeHandler(word(shell), reinterpret_cast<uintptr_t>(handler));
  shell->hostCodeHandler = handler;
  return 0;
}

int32_t CreateShell(ShellRecord** shell) {
  if (UseNewDSIAccess()) return Call_DsiCreateShell(word(shell));
  *shell = new ShellRecord{};
  return 0;
}

int32_t DestroyShell(ShellRecord* shell) {
  if (UseNewDSIAccess()) return Call_DsiDestroyShell(word(shell));
  delete shell;
  return 0;
}

int32_t ShellDSPCodeIsNULL(ShellRecord* shell, bool* isNull) {
  if (UseNewDSIAccess()) {
    uint8_t flag = 0;
    int32_t status = Call_DsiShellDSPCodeIsNULL(word(shell), word(&flag));
    if (status == 0) *isNull = flag != 0;
    return status;
  }
  *isNull = shell->dspCode == nullptr;
  return 0;
}

// --------------------------------------------------------- card questions

bool IsDSP321(DSPRecord* dsp) {
  if (UseNewDSIAccess()) return driverFlag(Call_DsiIsDSP321, dsp);
  return (dsp->coreType & kDSPCoreType321) != 0;
}

bool IsSRAMCore(DSPRecord* dsp) {
  int32_t coreType = 0;
  return GetDSPCoreType(dsp, &coreType) == 0 && (coreType & kDSPCoreTypeSRAM) != 0;
}

int16_t GetDSPCardIndex(DSPRecord* dsp) {
  if (UseNewDSIAccess()) {
    int16_t index = -1;
    return Call_DsiGetDSPCardIndex(word(dsp), word(&index)) == 0 ? index : -1;
  }
  return dsp->indexOnCard;
}

bool IsTDM2(DSPRecord* dsp) {
  if (UseNewDSIAccess()) return driverFlag(Call_DsiIsTDM2, dsp);
  int16_t t = dsp->card->cardType;
  return t == 25 || t == 26 || t == 28 || t == 30 || t == 31;
}

bool IsPresto(DSPRecord* dsp) {
  if (UseNewDSIAccess()) return driverFlag(Call_DsiIsPresto, dsp);
  int16_t t = dsp->card->cardType;
  int16_t index = dsp->indexOnCard;
  return t == 26 || (t == 28 && index < 3) || (t == 31 && index <= 3);
}

bool IsGershwin(DSPRecord* dsp) {
  int16_t t = cardTypeOf(dsp);
  return t == 25 || t == 26 || t == 28 || t == 31;
}

bool IsSatchmoMaria(DSPRecord* dsp) {
  int16_t t = cardTypeOf(dsp);
  return t == 20 || t == 21;
}

bool IsSatchmo(DSPRecord* dsp) { return cardTypeOf(dsp) == 21; }

bool IsMerle(DSPRecord* dsp) { return cardTypeOf(dsp) == 18; }

bool IsDSP563xx(DSPRecord* dsp) { return IsSatchmoMaria(dsp) || IsTDM2(dsp); }

int32_t DSPToDriverType(DSPRecord* dsp, int32_t* driverType) {
  if (UseNewDSIAccess()) return Call_DsiDSPToDriverType(word(dsp), word(driverType));
  switch (dsp->card->cardType) {
  case 10: *driverType = 1072; break;
  case 18: *driverType = 60960; break;
  case 20: *driverType = 61056; break;
  case 21: *driverType = 61072; break;
  case 25: case 26: case 28: case 29: case 31: *driverType = 61120; break;
  default: *driverType = -1; break;
  }
  return 0;
}

bool IsCardPresent(int16_t cardType) {
  ThrowIfDAEError(Call_InitSADriver());
  CardRecord* card = nullptr;
  if (Call_GetCardList(word(&card)) != 0) card = nullptr;
  if (cardType == 29) return TDM2IsPresent();
  while (card) {
    int16_t type = 0;
    if (GetCardTypeFromCard(card, &type) == 0 && type == cardType) return true;
    CardRecord* next = nullptr;
    if (GetNextCard(card, &next) != 0) return false;
    card = next;
  }
  return false;
}

bool G3IsPresent() { return IsCardPresent(31); }
bool G2IsPresent() { return IsCardPresent(28); }
bool AM3IsPresent() { return IsCardPresent(15); }
bool Digi001IsPresent() { return IsCardPresent(22); }

bool TDMIsPresent() {
  for (int16_t type : {20, 21, 26, 28, 31, 29})
    if (IsCardPresent(type)) return true;
  return false;
}

bool TDM2IsPresent() { return anyDSP(IsTDM2); }
bool DSP321IsPresent() { return anyDSP(IsDSP321); }
