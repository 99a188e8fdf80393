// The simulated DSP-card driver interface: the installed cards, their DSPs
// and the shells on them, kept as the driver's own records (which plug-ins
// may read directly) and offered through the access entries, plus the host
// port of every DSP (commands, 24-bit words, host bits) and the driver's
// client list. Which cards exist is a setting; by default there are none.

#include "tools/engine/SimEngineState.h"

#include "host/services/DSIRecords.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int16_t kParamErr = -50;
constexpr int16_t kTimeOut = -1;

struct CardSetting {
  int16_t type;
  int count;
  int32_t coreType;
};

// The host-port register block of one DSP, as old access reaches it.
struct HostPort {
  SHostPortRegisters registers; // first, so that the block's address is the port's
  size_t dsp;
  uint8_t written[32];
  int32_t latch;
};

struct Driver {
  std::vector<CardSetting> installed;
  std::vector<HostPort*> ports; // one per DSP
  std::map<int32_t, std::vector<uint8_t>> portScript;
  std::map<int32_t, size_t> portScriptRead;
  int64_t portReads = 0;
  std::vector<CardRecord*> cards;
  std::vector<DSPRecord*> dsps;
  std::set<ShellRecord*> shells;
  ShellRecord* firstShell = nullptr;
  std::vector<SDSIClientRecord*> clients;
  std::deque<int32_t> receive;
  uint32_t hostBits = 0xFFFF;
  uintptr_t cardClient[64] = {};
  uintptr_t cardClientValue[64] = {};
  uintptr_t controlLatch = 0;
  int32_t quickRead[64] = {};
};

Driver& driver() {
  static auto* d = new Driver;
  return *d;
}

bool takeWord(int32_t& w);

uint8_t readPort(SHostPortRegisters* block, int32_t offset) {
  sim::StateLock lock;
  Driver& d = driver();
  auto* port = reinterpret_cast<HostPort*>(block);
  ++d.portReads;
  if (offset < 0 || offset >= 32) return 0xFF;
  if (auto it = d.portScript.find(offset); it != d.portScript.end() && !it->second.empty()) {
    size_t& next = d.portScriptRead[offset];
    uint8_t value = it->second[std::min(next, it->second.size() - 1)];
    ++next;
    return value;
  }
  switch (offset) {
  case kHostPortStatus:
    return static_cast<uint8_t>((d.receive.empty() ? 0 : kHostPortReceiveFull) | kHostPortTransmitEmpty |
                                kHostPortTransmitterReady);
  case kHostPortCommandVector: return port->written[offset] & ~kHostPortCommandPending;
  case kHostPortDataHigh:
    if (!takeWord(port->latch)) port->latch = 0;
    return static_cast<uint8_t>(port->latch >> 16);
  case kHostPortDataMiddle: return static_cast<uint8_t>(port->latch >> 8);
  case kHostPortDataLow: return static_cast<uint8_t>(port->latch);
  default: return port->written[offset];
  }
}

void writePort(SHostPortRegisters* block, int32_t offset, uint8_t value) {
  sim::StateLock lock;
  auto* port = reinterpret_cast<HostPort*>(block);
  if (offset >= 0 && offset < 32) port->written[offset] = value;
  sim::log("HostPortWrite " + sim::num(static_cast<int64_t>(port->dsp)) + " " + sim::num(offset) + " " +
           sim::num(value));
}

void freeRecords() {
  Driver& d = driver();
  for (auto* c : d.cards) delete c;
  for (auto* p : d.dsps) delete p;
  for (auto* p : d.ports) delete p;
  d.ports.clear();
  for (auto* s : d.shells) delete s;
  for (auto* c : d.clients) delete c;
  d.cards.clear();
  d.dsps.clear();
  d.shells.clear();
  d.clients.clear();
  d.firstShell = nullptr;
}

void buildRecords() {
  Driver& d = driver();
  for (auto* c : d.cards) delete c;
  for (auto* p : d.dsps) delete p;
  for (auto* p : d.ports) delete p;
  d.ports.clear();
  d.cards.clear();
  d.dsps.clear();
  for (size_t i = 0; i < d.installed.size() && i < 64; ++i) {
    auto* card = new CardRecord{};
    card->cardType = d.installed[i].type;
    card->quickReadAddress = &d.quickRead[i];
    if (!d.cards.empty()) d.cards.back()->next = card;
    d.cards.push_back(card);
    for (int k = 0; k < d.installed[i].count; ++k) {
      auto* dsp = new DSPRecord{};
      dsp->card = card;
      dsp->indexOnCard = static_cast<int16_t>(k);
      dsp->coreType = d.installed[i].coreType;
      for (size_t b = 0; b < sizeof dsp->info.bytes; ++b)
        dsp->info.bytes[b] = static_cast<uint8_t>(d.dsps.size() * 16 + b);
      auto* port = new HostPort{{readPort, writePort}, d.dsps.size(), {}, 0};
      SHostPortRegisters* block = &port->registers;
      std::memcpy(dsp->info.bytes + kDSPInfoHostPortOffset, &block, sizeof block);
      d.ports.push_back(port);
      if (k == 0) card->firstDSP = dsp;
      if (!d.dsps.empty()) d.dsps.back()->next = dsp;
      d.dsps.push_back(dsp);
    }
  }
  if (!d.firstShell) {
    d.firstShell = new ShellRecord{};
    d.firstShell->isStandard = 1;
    d.shells.insert(d.firstShell);
  }
}

bool knownDSP(uintptr_t w) {
  for (auto* p : driver().dsps)
    if (reinterpret_cast<uintptr_t>(p) == w) return true;
  return false;
}
bool knownCard(uintptr_t w) {
  for (auto* c : driver().cards)
    if (reinterpret_cast<uintptr_t>(c) == w) return true;
  return false;
}
int cardIndex(const CardRecord* card) {
  auto& cards = driver().cards;
  for (size_t i = 0; i < cards.size(); ++i)
    if (cards[i] == card) return static_cast<int>(i);
  return -1;
}
bool knownShell(uintptr_t w) { return driver().shells.count(reinterpret_cast<ShellRecord*>(w)) != 0; }

DSPRecord* dspOf(uintptr_t w) { return reinterpret_cast<DSPRecord*>(w); }
CardRecord* cardOf(uintptr_t w) { return reinterpret_cast<CardRecord*>(w); }
ShellRecord* shellOf(uintptr_t w) { return reinterpret_cast<ShellRecord*>(w); }
template <class T> void put(uintptr_t out, T value) {
  if (out) *reinterpret_cast<T*>(out) = value;
}

int16_t finish(const char* entry, const std::string& args, int16_t status) {
  sim::log(std::string(entry) + args);
  return sim::result<int16_t>(entry, status);
}

// The driver's answers about its own cards.
bool typeIsTDM2(int16_t t) { return t == 25 || t == 26 || t == 28 || t == 30 || t == 31; }
bool dspIsPresto(const DSPRecord* p) {
  int16_t t = p->card->cardType;
  return t == 26 || (t == 28 && p->indexOnCard < 3) || (t == 31 && p->indexOnCard <= 3);
}
int32_t driverType(int16_t t) {
  switch (t) {
  case 10: return 1072;
  case 18: return 60960;
  case 20: return 61056;
  case 21: return 61072;
  case 25: case 26: case 28: case 29: case 31: return 61120;
  default: return -1;
  }
}

// ------------------------------------------------------------------ lists

int16_t initSADriver() {
  sim::StateLock lock;
  return finish("InitSADriver", "", 0);
}

#define SIM_LIST(fn, entry, expr)                                          \
  int16_t fn(uintptr_t out) {                                              \
    sim::StateLock lock;                                                   \
    Driver& d = driver();                                                  \
    (void)d;                                                               \
    put(out, expr);                                                        \
    return finish(entry, "", 0);                                           \
  }
SIM_LIST(getClientList, "GetClientList", d.clients.empty() ? nullptr : d.clients.front())
SIM_LIST(getShellList, "GetShellList", d.firstShell)
SIM_LIST(getCardList, "GetCardList", d.cards.empty() ? nullptr : d.cards.front())
SIM_LIST(getDSPList, "GetDSPList", d.dsps.empty() ? nullptr : d.dsps.front())

// ---------------------------------------------------------- DSP and shell

int16_t resetDSP(uintptr_t dsp) {
  sim::StateLock lock;
  return finish("ResetDSP", " " + sim::word(dsp), knownDSP(dsp) ? 0 : kParamErr);
}

int16_t dsiLoadShell(uintptr_t dsp, uintptr_t shell, uintptr_t client) {
  sim::StateLock lock;
  std::string args = " " + sim::word(dsp) + " " + sim::word(shell) + " " + sim::word(client);
  // In old access the plug-in makes its shells itself, so any shell will do.
  if (!knownDSP(dsp) || !shell) return finish("DsiLoadShell", args, kParamErr);
  dspOf(dsp)->shell = shellOf(shell);
  shellOf(shell)->client = client;
  // The chip takes a copy of the program; show its text.
  if (char** code = shellOf(shell)->dspCode; code && *code) args += " program=" + std::string(*code).substr(0, 32);
  return finish("DsiLoadShell", args, 0);
}

// Memory reads answer a value made from the address, so a caller can tell
// which address was read.
#define SIM_MEMORY_READ(fn, entry, space)                                           \
  int16_t fn(uintptr_t dsp, uintptr_t address, uintptr_t out) {                     \
    sim::StateLock lock;                                                            \
    if (knownDSP(dsp)) put(out, static_cast<int32_t>((address ^ space) & 0xFFFFFF)); \
    return finish(entry, " " + sim::word(dsp) + " " + sim::word(address), knownDSP(dsp) ? 0 : kParamErr); \
  }
SIM_MEMORY_READ(sGetXWord, "SGetXWord", 0x100000)
SIM_MEMORY_READ(sGetYWord, "SGetYWord", 0x200000)
SIM_MEMORY_READ(sGetPWord, "SGetPWord", 0x300000)

#define SIM_DSP4(fn, entry)                                                          \
  int16_t fn(uintptr_t dsp, uintptr_t a, uintptr_t b, uintptr_t c) {                \
    sim::StateLock lock;                                                             \
    return finish(entry, " " + sim::word(dsp) + " " + sim::word(a) + " " + sim::word(b) + " " + sim::word(c), \
                  knownDSP(dsp) ? 0 : kParamErr);                                    \
  }
#define SIM_DSP2(fn, entry)                                                          \
  int16_t fn(uintptr_t dsp, uintptr_t a) {                                           \
    sim::StateLock lock;                                                             \
    return finish(entry, " " + sim::word(dsp) + " " + sim::word(a), knownDSP(dsp) ? 0 : kParamErr); \
  }
#define SIM_DSP1(fn, entry)                                                          \
  int16_t fn(uintptr_t dsp) {                                                        \
    sim::StateLock lock;                                                             \
    return finish(entry, " " + sim::word(dsp), knownDSP(dsp) ? 0 : kParamErr);       \
  }
SIM_DSP4(sChangeXBits, "SChangeXBits")
SIM_DSP4(sChangeYBits, "SChangeYBits")
SIM_DSP4(sChangePBits, "SChangePBits")
SIM_DSP2(sSetLeftRightBit, "SSetLeftRightBit")
SIM_DSP1(sInitShell, "SInitShell")
SIM_DSP1(sStartShell, "SStartShell")
SIM_DSP1(sPauseShell, "SPauseShell")
SIM_DSP1(sResumeShell, "SResumeShell")
SIM_DSP2(sSetInputDelay, "SSetInputDelay")
SIM_DSP2(sSetOutputDelay, "SSetOutputDelay")
SIM_DSP1(sUpdateDSPPeripheral, "SUpdateDSPPeripheral")

int16_t sExecute(uintptr_t dsp, int32_t s) {
  sim::StateLock lock;
  return finish("SExecute", " " + sim::word(dsp) + " " + sim::num(s), knownDSP(dsp) ? 0 : kParamErr);
}

int16_t sGetControlLatch(uintptr_t dsp, uintptr_t out) {
  sim::StateLock lock;
  if (knownDSP(dsp)) put(out, driver().controlLatch);
  return finish("SGetControlLatch", " " + sim::word(dsp), knownDSP(dsp) ? 0 : kParamErr);
}

int16_t sSetControlLatch(uintptr_t dsp, uintptr_t value) {
  sim::StateLock lock;
  if (knownDSP(dsp)) driver().controlLatch = value;
  return finish("SSetControlLatch", " " + sim::word(dsp) + " " + sim::word(value), knownDSP(dsp) ? 0 : kParamErr);
}

int16_t sGetDSPCodeInfo(uintptr_t dsp, int32_t s, uintptr_t out) {
  sim::StateLock lock;
  if (knownDSP(dsp)) put(out, s);
  return finish("SGetDSPCodeInfo", " " + sim::word(dsp) + " " + sim::num(s), knownDSP(dsp) ? 0 : kParamErr);
}

// --------------------------------------------------------------- messages

int16_t dsiSendMsg(uintptr_t message) {
  sim::StateLock lock;
  if (!message) return finish("DsiSendMsg", " 0x0", kParamErr);
  const auto* m = reinterpret_cast<const SDSIMessage*>(message);
  return finish("DsiSendMsg", " " + sim::word(m->client) + " " + sim::num(m->code) + " " + sim::num(m->dataSize) +
                                  " " + sim::num(m->data),
                0);
}

int16_t dsiPrintf(uintptr_t text) {
  sim::StateLock lock;
  return finish("DsiPrintf", std::string(" ") + (text ? reinterpret_cast<const char*>(text) : ""), 0);
}

// --------------------------------------------------------------- host port

int16_t dsiSendLo24of32(uintptr_t dsp, uintptr_t w, uintptr_t timeOut) {
  sim::StateLock lock;
  return finish("DsiSendLo24of32", " " + sim::word(dsp) + " " + sim::num(static_cast<int32_t>(w) & 0xFFFFFF) + " " +
                                       sim::num(static_cast<int64_t>(timeOut)),
                knownDSP(dsp) ? 0 : kParamErr);
}

int16_t dsiSendLo24of32Check(uintptr_t dsp, uintptr_t count, uintptr_t buffer, uintptr_t timeOut) {
  sim::StateLock lock;
  std::string args = " " + sim::word(dsp) + " " + sim::num(static_cast<int64_t>(count));
  const auto* words = reinterpret_cast<const int32_t*>(buffer);
  for (uintptr_t i = 0; words && i < count; ++i) args += " " + sim::num(words[i] & 0xFFFFFF);
  args += " " + sim::num(static_cast<int64_t>(timeOut));
  return finish("DsiSendLo24of32Check", args, knownDSP(dsp) ? 0 : kParamErr);
}

// Words the DSP hands over come from the "receive" setting, sign-extended
// from 24 bits; an empty queue times out.
bool takeWord(int32_t& w) {
  auto& q = driver().receive;
  if (q.empty()) return false;
  w = q.front() & 0xFFFFFF;
  if (w & 0x800000) w -= 0x1000000;
  q.pop_front();
  return true;
}

int16_t dsiGetLo24ofS32(uintptr_t dsp, uintptr_t out, uintptr_t timeOut) {
  sim::StateLock lock;
  std::string args = " " + sim::word(dsp) + " " + sim::num(static_cast<int64_t>(timeOut));
  if (!knownDSP(dsp)) return finish("DsiGetLo24ofS32", args, kParamErr);
  int32_t w;
  if (!takeWord(w)) return finish("DsiGetLo24ofS32", args, kTimeOut);
  put(out, w);
  return finish("DsiGetLo24ofS32", args, 0);
}

int16_t dsiGetLo24ofS32Check(uintptr_t dsp, uintptr_t count, uintptr_t buffer, uintptr_t timeOut) {
  sim::StateLock lock;
  std::string args = " " + sim::word(dsp) + " " + sim::num(static_cast<int64_t>(count)) + " " +
                     sim::num(static_cast<int64_t>(timeOut));
  if (!knownDSP(dsp)) return finish("DsiGetLo24ofS32Check", args, kParamErr);
  auto* words = reinterpret_cast<int32_t*>(buffer);
  for (uintptr_t i = 0; i < count; ++i) {
    int32_t w;
    if (!takeWord(w)) return finish("DsiGetLo24ofS32Check", args, kTimeOut);
    if (words) words[i] = w;
  }
  return finish("DsiGetLo24ofS32Check", args, 0);
}

int16_t dsiDoHostCommand(uintptr_t dsp, int32_t command, uintptr_t timeOut) {
  sim::StateLock lock;
  return finish("DsiDoHostCommand", " " + sim::word(dsp) + " " + sim::num(command) + " " +
                                        sim::num(static_cast<int64_t>(timeOut)),
                knownDSP(dsp) ? 0 : kParamErr);
}

int16_t dsiSetHostBit(uintptr_t dsp, uintptr_t bit, uint32_t value) {
  sim::StateLock lock;
  std::string args = " " + sim::word(dsp) + " " + sim::num(static_cast<int64_t>(bit)) + " " + sim::num(value);
  if (!knownDSP(dsp) || bit > 31) return finish("DsiSetHostBit", args, kParamErr);
  if (value) driver().hostBits |= 1u << bit;
  else driver().hostBits &= ~(1u << bit);
  return finish("DsiSetHostBit", args, 0);
}

int16_t dsiGetHostBit(uintptr_t dsp, uintptr_t bit, uintptr_t out) {
  sim::StateLock lock;
  std::string args = " " + sim::word(dsp) + " " + sim::num(static_cast<int64_t>(bit));
  if (!knownDSP(dsp) || bit > 31) return finish("DsiGetHostBit", args, kParamErr);
  put<uint8_t>(out, (driver().hostBits >> bit) & 1);
  return finish("DsiGetHostBit", args, 0);
}

// The simulated port never changes by itself: a bit that does not have the
// wanted value times out at once.
int16_t dsiWaitHostBit(uintptr_t dsp, uintptr_t bit, uint32_t value, uintptr_t timeOut) {
  sim::StateLock lock;
  std::string args = " " + sim::word(dsp) + " " + sim::num(static_cast<int64_t>(bit)) + " " + sim::num(value) +
                     " " + sim::num(static_cast<int64_t>(timeOut));
  if (!knownDSP(dsp) || bit > 31) return finish("DsiWaitHostBit", args, kParamErr);
  bool set = (driver().hostBits >> bit) & 1;
  return finish("DsiWaitHostBit", args, set == (value != 0) ? 0 : kTimeOut);
}

int16_t dsiDoHostCommandOnEmptyHostPort(uintptr_t dsp, uintptr_t command, uintptr_t timeOut) {
  sim::StateLock lock;
  return finish("DsiDoHostCommandOnEmptyHostPort", " " + sim::word(dsp) + " " +
                                                       sim::num(static_cast<int32_t>(command)) + " " +
                                                       sim::num(static_cast<int64_t>(timeOut)),
                knownDSP(dsp) ? 0 : kParamErr);
}

int16_t dsiDoHostCommandWithDataList(uintptr_t dsp, uintptr_t command, uint32_t sendFirst, uintptr_t receiveCount,
                                     uintptr_t receiveBuffer, uintptr_t sendCount, uintptr_t sendBuffer) {
  sim::StateLock lock;
  std::string args = " " + sim::word(dsp) + " " + sim::num(static_cast<int32_t>(command)) + " " + sim::num(sendFirst) +
                     " " + sim::num(static_cast<int64_t>(receiveCount)) + " " +
                     sim::num(static_cast<int64_t>(sendCount));
  if (!knownDSP(dsp)) return finish("DsiDoHostCommandWithDataList", args, kParamErr);
  const auto* out = reinterpret_cast<const int32_t*>(sendBuffer);
  for (uintptr_t i = 0; out && i < sendCount; ++i) args += " " + sim::num(out[i] & 0xFFFFFF);
  auto* in = reinterpret_cast<int32_t*>(receiveBuffer);
  for (uintptr_t i = 0; i < receiveCount; ++i) {
    int32_t w;
    if (!takeWord(w)) return finish("DsiDoHostCommandWithDataList", args, kTimeOut);
    if (in) in[i] = w;
  }
  return finish("DsiDoHostCommandWithDataList", args, 0);
}

// ------------------------------------------------------------ card queries

#define SIM_CARD_QUERY(fn, entry, type, expr)                                      \
  int16_t fn(uintptr_t card, uintptr_t out) {                                      \
    sim::StateLock lock;                                                           \
    if (!knownCard(card)) return finish(entry, " " + sim::word(card), kParamErr);  \
    CardRecord* c = cardOf(card);                                                  \
    (void)c;                                                                       \
    put<type>(out, expr);                                                          \
    return finish(entry, " " + sim::word(card), 0);                                \
  }
SIM_CARD_QUERY(dsiGetNextCard, "DsiGetNextCard", CardRecord*, c->next)
SIM_CARD_QUERY(dsiGetCardClientVal, "DsiGetCardClientVal", uintptr_t, driver().cardClientValue[cardIndex(c)])
SIM_CARD_QUERY(dsiGetCardType, "DsiGetCardType", int16_t, c->cardType)
SIM_CARD_QUERY(dsiGetFirstDSPOnCard, "DsiGetFirstDSPOnCard", DSPRecord*, c->firstDSP)
SIM_CARD_QUERY(dsiGetNumDSPsOnCard, "DsiGetNumDSPsOnCard", int16_t,
               static_cast<int16_t>(driver().installed[static_cast<size_t>(cardIndex(c))].count))
SIM_CARD_QUERY(dsiIsCardTDM2, "DsiIsCardTDM2", uint8_t, typeIsTDM2(c->cardType))

// The next card after card (the first for 0) that has a client, null when none.
int16_t dsiGetNextCardClient(uintptr_t card, uintptr_t out) {
  sim::StateLock lock;
  auto& cards = driver().cards;
  size_t from = 0;
  if (card) {
    if (!knownCard(card)) return finish("DsiGetNextCardClient", " " + sim::word(card), kParamErr);
    from = static_cast<size_t>(cardIndex(cardOf(card))) + 1;
  }
  CardRecord* found = nullptr;
  for (size_t i = from; i < cards.size() && !found; ++i)
    if (driver().cardClient[i]) found = cards[i];
  put(out, found);
  return finish("DsiGetNextCardClient", " " + sim::word(card), 0);
}

int16_t dsiSetCardClient(uintptr_t card, uintptr_t client) {
  sim::StateLock lock;
  if (!knownCard(card)) return finish("DsiSetCardClient", " " + sim::word(card), kParamErr);
  driver().cardClient[cardIndex(cardOf(card))] = client;
  return finish("DsiSetCardClient", " " + sim::word(card) + " " + sim::word(client), 0);
}

int16_t dsiSetCardClientVal(uintptr_t card, uintptr_t value) {
  sim::StateLock lock;
  if (!knownCard(card)) return finish("DsiSetCardClientVal", " " + sim::word(card), kParamErr);
  driver().cardClientValue[cardIndex(cardOf(card))] = value;
  return finish("DsiSetCardClientVal", " " + sim::word(card) + " " + sim::word(value), 0);
}

// ------------------------------------------------------------- DSP queries

#define SIM_DSP_QUERY(fn, entry, type, expr)                                      \
  int16_t fn(uintptr_t dsp, uintptr_t out) {                                      \
    sim::StateLock lock;                                                          \
    if (!knownDSP(dsp)) return finish(entry, " " + sim::word(dsp), kParamErr);    \
    DSPRecord* p = dspOf(dsp);                                                    \
    put<type>(out, expr);                                                         \
    return finish(entry, " " + sim::word(dsp), 0);                                \
  }
SIM_DSP_QUERY(dsiIsDSP321, "DsiIsDSP321", uint8_t, (p->coreType & kDSPCoreType321) != 0)
SIM_DSP_QUERY(dsiIsPresto, "DsiIsPresto", uint8_t, dspIsPresto(p))
SIM_DSP_QUERY(dsiIsTDM2, "DsiIsTDM2", uint8_t, typeIsTDM2(p->card->cardType))
SIM_DSP_QUERY(dsiGetCardTypeFromDSP, "DsiGetCardTypeFromDSP", int16_t, p->card->cardType)
SIM_DSP_QUERY(dsiDSPToDriverType, "DsiDSPToDriverType", int32_t, driverType(p->card->cardType))
SIM_DSP_QUERY(dsiGetNextDSP, "DsiGetNextDSP", DSPRecord*, p->next)
SIM_DSP_QUERY(dsiGetDSPClient, "DsiGetDSPClient", uintptr_t, p->client)
SIM_DSP_QUERY(dsiGetDSPClientVal, "DsiGetDSPClientVal", uintptr_t, p->clientValue)
SIM_DSP_QUERY(dsiGetDSPShell, "DsiGetDSPShell", ShellRecord*, p->shell)
SIM_DSP_QUERY(dsiGetDSPInfoRecord, "DsiGetDSPInfoRecord", DSPInfoRecord, p->info)
SIM_DSP_QUERY(dsiGetDSPCoreType, "DsiGetDSPCoreType", int32_t, p->coreType)
SIM_DSP_QUERY(dsiGetDSPCardIndex, "DsiGetDSPCardIndex", int16_t, p->indexOnCard)

int16_t dsiSetDSPClientVal(uintptr_t dsp, uintptr_t value) {
  sim::StateLock lock;
  if (!knownDSP(dsp)) return finish("DsiSetDSPClientVal", " " + sim::word(dsp), kParamErr);
  dspOf(dsp)->clientValue = value;
  return finish("DsiSetDSPClientVal", " " + sim::word(dsp) + " " + sim::word(value), 0);
}

// ----------------------------------------------------------------- shells

int16_t dsiCreateShell(uintptr_t out) {
  sim::StateLock lock;
  auto* s = new ShellRecord{};
  driver().shells.insert(s);
  put(out, s);
  return finish("DsiCreateShell", " -> " + sim::word(reinterpret_cast<uintptr_t>(s)), 0);
}

int16_t dsiDestroyShell(uintptr_t shell) {
  sim::StateLock lock;
  if (!knownShell(shell) || shellOf(shell) == driver().firstShell)
    return finish("DsiDestroyShell", " " + sim::word(shell), kParamErr);
  driver().shells.erase(shellOf(shell));
  delete shellOf(shell);
  return finish("DsiDestroyShell", " " + sim::word(shell), 0);
}

#define SIM_SHELL_GET(fn, entry, type, field)                                      \
  int16_t fn(uintptr_t shell, uintptr_t out) {                                     \
    sim::StateLock lock;                                                           \
    if (!knownShell(shell)) return finish(entry, " " + sim::word(shell), kParamErr); \
    put<type>(out, shellOf(shell)->field);                                         \
    return finish(entry, " " + sim::word(shell), 0);                               \
  }
#define SIM_SHELL_SET(fn, entry, argType, type, field)                             \
  int16_t fn(uintptr_t shell, argType value) {                                     \
    sim::StateLock lock;                                                           \
    std::string args = " " + sim::word(shell) + " " + sim::word(static_cast<uintptr_t>(value)); \
    if (!knownShell(shell)) return finish(entry, args, kParamErr);                 \
    shellOf(shell)->field = (type)(value);                                         \
    return finish(entry, args, 0);                                                 \
  }
SIM_SHELL_GET(dsiGetShellClient, "DsiGetShellClient", uintptr_t, client)
SIM_SHELL_GET(dsiGetShellClientVal, "DsiGetShellClientVal", uintptr_t, clientValue)
SIM_SHELL_GET(dsiGetShellID, "DsiGetShellID", int32_t, shellID)
SIM_SHELL_SET(dsiSetShellID, "DsiSetShellID", uintptr_t, int32_t, shellID)
SIM_SHELL_SET(dsiSetShellIsStandard, "DsiSetShellIsStandard", uint32_t, uint8_t, isStandard)
SIM_SHELL_SET(dsiSetShellMaxLocation, "DsiSetShellMaxLocation", uintptr_t, int32_t, maxLocation)
SIM_SHELL_SET(dsiSetShellDSPCode, "DsiSetShellDSPCode", uintptr_t, char**, dspCode)
SIM_SHELL_SET(dsiSetShellHostCodeHandler, "DsiSetShellHostCodeHandler", uintptr_t, DSIHostCodeHandler,
              hostCodeHandler)
SIM_SHELL_GET(dsiShellDSPCodeIsNULL, "DsiShellDSPCodeIsNULL", uint8_t, dspCode == nullptr)

} // namespace

SIM_ENTRY(InitSADriver, initSADriver)
SIM_ENTRY(GetClientList, getClientList)
SIM_ENTRY(GetShellList, getShellList)
SIM_ENTRY(GetCardList, getCardList)
SIM_ENTRY(GetDSPList, getDSPList)
SIM_ENTRY(ResetDSP, resetDSP)
SIM_ENTRY(DsiLoadShell, dsiLoadShell)
SIM_ENTRY(SGetXWord, sGetXWord)
SIM_ENTRY(SGetYWord, sGetYWord)
SIM_ENTRY(SGetPWord, sGetPWord)
SIM_ENTRY(SChangeXBits, sChangeXBits)
SIM_ENTRY(SChangeYBits, sChangeYBits)
SIM_ENTRY(SChangePBits, sChangePBits)
SIM_ENTRY(SExecute, sExecute)
SIM_ENTRY(SSetLeftRightBit, sSetLeftRightBit)
SIM_ENTRY(SGetControlLatch, sGetControlLatch)
SIM_ENTRY(SSetControlLatch, sSetControlLatch)
SIM_ENTRY(SInitShell, sInitShell)
SIM_ENTRY(SStartShell, sStartShell)
SIM_ENTRY(SPauseShell, sPauseShell)
SIM_ENTRY(SResumeShell, sResumeShell)
SIM_ENTRY(SSetInputDelay, sSetInputDelay)
SIM_ENTRY(SSetOutputDelay, sSetOutputDelay)
SIM_ENTRY(SUpdateDSPPeripheral, sUpdateDSPPeripheral)
SIM_ENTRY(SGetDSPCodeInfo, sGetDSPCodeInfo)
SIM_ENTRY(DsiSendMsg, dsiSendMsg)
SIM_ENTRY(DsiPrintf, dsiPrintf)
SIM_ENTRY(DsiSendLo24of32, dsiSendLo24of32)
SIM_ENTRY(DsiSendLo24of32Check, dsiSendLo24of32Check)
SIM_ENTRY(DsiGetLo24ofS32, dsiGetLo24ofS32)
SIM_ENTRY(DsiGetLo24ofS32Check, dsiGetLo24ofS32Check)
SIM_ENTRY(DsiDoHostCommand, dsiDoHostCommand)
SIM_ENTRY(DsiSetHostBit, dsiSetHostBit)
SIM_ENTRY(DsiGetHostBit, dsiGetHostBit)
SIM_ENTRY(DsiWaitHostBit, dsiWaitHostBit)
SIM_ENTRY(DsiGetNextCard, dsiGetNextCard)
SIM_ENTRY(DsiGetNextCardClient, dsiGetNextCardClient)
SIM_ENTRY(DsiSetCardClient, dsiSetCardClient)
SIM_ENTRY(DsiGetCardClientVal, dsiGetCardClientVal)
SIM_ENTRY(DsiSetCardClientVal, dsiSetCardClientVal)
SIM_ENTRY(DsiGetCardType, dsiGetCardType)
SIM_ENTRY(DsiGetFirstDSPOnCard, dsiGetFirstDSPOnCard)
SIM_ENTRY(DsiGetNumDSPsOnCard, dsiGetNumDSPsOnCard)
SIM_ENTRY(DsiIsCardTDM2, dsiIsCardTDM2)
SIM_ENTRY(DsiIsDSP321, dsiIsDSP321)
SIM_ENTRY(DsiIsPresto, dsiIsPresto)
SIM_ENTRY(DsiIsTDM2, dsiIsTDM2)
SIM_ENTRY(DsiGetCardTypeFromDSP, dsiGetCardTypeFromDSP)
SIM_ENTRY(DsiDSPToDriverType, dsiDSPToDriverType)
SIM_ENTRY(DsiGetNextDSP, dsiGetNextDSP)
SIM_ENTRY(DsiGetDSPClient, dsiGetDSPClient)
SIM_ENTRY(DsiGetDSPClientVal, dsiGetDSPClientVal)
SIM_ENTRY(DsiSetDSPClientVal, dsiSetDSPClientVal)
SIM_ENTRY(DsiGetDSPShell, dsiGetDSPShell)
SIM_ENTRY(DsiGetDSPInfoRecord, dsiGetDSPInfoRecord)
SIM_ENTRY(DsiGetDSPCoreType, dsiGetDSPCoreType)
SIM_ENTRY(DsiCreateShell, dsiCreateShell)
SIM_ENTRY(DsiDestroyShell, dsiDestroyShell)
SIM_ENTRY(DsiGetShellClient, dsiGetShellClient)
SIM_ENTRY(DsiGetShellClientVal, dsiGetShellClientVal)
SIM_ENTRY(DsiSetShellID, dsiSetShellID)
SIM_ENTRY(DsiGetShellID, dsiGetShellID)
SIM_ENTRY(DsiSetShellIsStandard, dsiSetShellIsStandard)
SIM_ENTRY(DsiSetShellMaxLocation, dsiSetShellMaxLocation)
SIM_ENTRY(DsiSetShellDSPCode, dsiSetShellDSPCode)
SIM_ENTRY(DsiShellDSPCodeIsNULL, dsiShellDSPCodeIsNULL)
SIM_ENTRY(DsiSetShellHostCodeHandler, dsiSetShellHostCodeHandler)
SIM_ENTRY(DsiGetDSPCardIndex, dsiGetDSPCardIndex)
SIM_ENTRY(DsiDoHostCommandOnEmptyHostPort, dsiDoHostCommandOnEmptyHostPort)
SIM_ENTRY(DsiDoHostCommandWithDataList, dsiDoHostCommandWithDataList)

namespace sim {

const char* environmentVariable() { return "ZARN_SIM_CARD_DRIVER"; }

void resetLibrary() {
  Driver& d = driver();
  freeRecords();
  d.installed.clear();
  d.receive.clear();
  d.hostBits = 0xFFFF;
  d.controlLatch = 0;
  d.portScript.clear();
  d.portScriptRead.clear();
  d.portReads = 0;
  for (auto& c : d.cardClient) c = 0;
  for (auto& c : d.cardClientValue) c = 0;
  buildRecords();
}

namespace {

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(sep, start);
    if (end == std::string::npos) end = s.size();
    if (end > start) parts.push_back(s.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

} // namespace

bool configureLibrary(const std::string& key, const std::string& value) {
  Driver& d = driver();
  if (key == "cards") {
    std::vector<CardSetting> installed;
    for (const std::string& item : split(value, ',')) {
      std::vector<std::string> f = split(item, ':');
      int64_t type, count, core = 0;
      if (f.size() < 2 || f.size() > 3 || !parseNumber(f[0], type) || !parseNumber(f[1], count) ||
          (f.size() == 3 && !parseNumber(f[2], core)) || count < 0 || count > 64)
        return false;
      installed.push_back({static_cast<int16_t>(type), static_cast<int>(count), static_cast<int32_t>(core)});
    }
    if (installed.size() > 64) return false;
    d.installed = installed;
    buildRecords();
    return true;
  }
  if (key == "clients") {
    for (auto* c : d.clients) delete c;
    d.clients.clear();
    for (const std::string& item : split(value, ',')) {
      std::vector<std::string> f = split(item, ':');
      int64_t handler;
      if (f.size() != 2 || f[0].size() != 4 || !parseNumber(f[1], handler)) return false;
      auto* c = new SDSIClientRecord{};
      for (char ch : f[0]) c->signature = (c->signature << 8) | static_cast<unsigned char>(ch);
      c->progressHandler = static_cast<uintptr_t>(handler);
      if (!d.clients.empty()) d.clients.back()->next = c;
      d.clients.push_back(c);
    }
    return true;
  }
  if (key == "receive") {
    d.receive.clear();
    for (const std::string& item : split(value, ',')) {
      int64_t w;
      if (!parseNumber(item, w)) return false;
      d.receive.push_back(static_cast<int32_t>(w));
    }
    return true;
  }
  if (key.rfind("port.", 0) == 0) {
    int64_t offset;
    if (!parseNumber(key.substr(5), offset) || offset < 0 || offset >= 32) return false;
    std::vector<uint8_t> script;
    for (const std::string& item : split(value, ',')) {
      int64_t v;
      if (!parseNumber(item, v)) return false;
      script.push_back(static_cast<uint8_t>(v));
    }
    d.portScript[static_cast<int32_t>(offset)] = script;
    d.portScriptRead[static_cast<int32_t>(offset)] = 0;
    return true;
  }
  if (key == "hostbits") {
    int64_t v;
    if (!parseNumber(value, v)) return false;
    d.hostBits = static_cast<uint32_t>(v);
    return true;
  }
  return false;
}

int64_t libraryState(const std::string& name) {
  Driver& d = driver();
  if (name == "cards") return static_cast<int64_t>(d.cards.size());
  if (name == "dsps") return static_cast<int64_t>(d.dsps.size());
  if (name == "shells") return static_cast<int64_t>(d.shells.size());
  if (name == "portReads") return d.portReads;
  return 0;
}

} // namespace sim
