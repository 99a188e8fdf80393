#include "host/services/DSIUtilities.h"

#include "host/services/CDAEError.h"
#include "host/services/DSICalls.h"
#include "host/services/HostCallback.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/KeyMap.h"
#include "tests/host/services/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace zarn::test;

TEST(DSIUtilitiesTest, GainsAndDecibels) {
  EXPECT_EQ(GainToDB(0.0), -144.0);
  EXPECT_EQ(GainToDB(1e-9), -144.0);
  EXPECT_EQ(GainToDB(-1.0), -144.0);
  EXPECT_DOUBLE_EQ(GainToDB(1.0), 0.0);
  EXPECT_DOUBLE_EQ(GainToDB(10.0), 20.0);
  double half = 0.5;
  EXPECT_NEAR(GainToDB(&half), -6.0206, 1e-4);
  EXPECT_DOUBLE_EQ(DBToGain(20.0), 10.0);
  double minus6 = -6.0206;
  EXPECT_NEAR(DBToGain(&minus6), 0.5, 1e-5);
}

TEST(DSIUtilitiesTest, FixedPointCoefficients) {
  EXPECT_EQ(DoubleToDSPCoef(1.0), 0x7FFFFF);
  EXPECT_EQ(DoubleToDSPCoef(0.9999998807907104), 0x7FFFFF);
  EXPECT_EQ(DoubleToDSPCoef(-1.0), -8388608);
  EXPECT_EQ(DoubleToDSPCoef(-1.5), -8388608);
  EXPECT_EQ(DoubleToDSPCoef(0.5), 4194304);
  EXPECT_EQ(DoubleToDSPCoef(-0.75 / 8388608.0), 0); // truncated
  EXPECT_EQ(DoubleToDSPCoef(std::nan("")), 0);
  EXPECT_DOUBLE_EQ(DSPCoefToDouble(0x800000), 8388607 * 1.1920930376163766e-7);
  EXPECT_DOUBLE_EQ(DSPCoefToDouble(-0x900000), -8388607 * 1.1920930376163766e-7);
  EXPECT_DOUBLE_EQ(DSPCoefToDouble(4194304), 4194304 * 1.1920930376163766e-7);
  EXPECT_EQ(DoubleToLong(1.0), 8388607);
  EXPECT_EQ(DoubleToLong(-0.5), -4194303);
  EXPECT_EQ(DoubleToLong(1e6), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(DoubleToLong(-1e6), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(DoubleToLong(std::nan("")), 0);
  EXPECT_EQ(LongToDouble(-5), -5.0);
}

TEST(DSIUtilitiesTest, RoundedCoefficientsTieToEvenInAnyRoundingMode) {
  const double step = 1.0 / 8388608.0;
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    std::fesetround(mode);
    EXPECT_EQ(DoubleToDSPCoefRnd(2.5 * step), 2) << mode;
    EXPECT_EQ(DoubleToDSPCoefRnd(3.5 * step), 4) << mode;
    EXPECT_EQ(DoubleToDSPCoefRnd(-2.5 * step), -2) << mode;
    EXPECT_EQ(DoubleToDSPCoefRnd(-3.5 * step), -4) << mode;
    EXPECT_EQ(DoubleToDSPCoefRnd(2.6 * step), 3) << mode;
    EXPECT_EQ(DoubleToDSPCoefRnd(-2.4 * step), -2) << mode;
    EXPECT_EQ(DoubleToDSPCoefRnd(1.0), 0x7FFFFF) << mode;
    EXPECT_EQ(DoubleToDSPCoefRnd(-2.0), -8388608) << mode;
  }
  std::fesetround(FE_TONEAREST);
}

TEST(DSIUtilitiesTest, TwoDecimalTexts) {
  auto text = [](float v) {
    unsigned char s[256];
    FloatToString(v, s);
    return std::string(reinterpret_cast<char*>(s + 1), s[0]);
  };
  EXPECT_EQ(text(-1.234f), "-1.23");
  EXPECT_EQ(text(2.999f), "3.00");
  EXPECT_EQ(text(0.0f), "0.00");
  EXPECT_EQ(text(12.5f), "12.50");
  EXPECT_EQ(text(0.126f), "0.13");
  EXPECT_EQ(text(-0.001f), "-0.00");
  EXPECT_EQ(text(1e20f), "2147483647.00"); // no overflow for huge values
}

TEST(DSIUtilitiesTest, KeysFromTheKeyboardMap) {
  platform::releaseAllKeys();
  EXPECT_FALSE(IsCommandKeyDown() || IsShiftKeyDown() || IsOptionKeyDown() || IsControlKeyDown());
  platform::setKeyDown(55, true);
  EXPECT_TRUE(IsCommandKeyDown());
  EXPECT_FALSE(IsShiftKeyDown());
  platform::setKeyDown(56, true);
  platform::setKeyDown(58, true);
  platform::setKeyDown(59, true);
  EXPECT_TRUE(IsShiftKeyDown() && IsOptionKeyDown() && IsControlKeyDown());
  platform::KeyMap map;
  platform::getKeys(map);
  EXPECT_EQ(map.bytes[6], 0x80); // code 55: byte 6, bit 7
  EXPECT_EQ(map.bytes[7], 0x0D); // codes 56, 58, 59: bits 0, 2, 3
  platform::setKeyDown(55, false);
  EXPECT_FALSE(IsCommandKeyDown());
  EXPECT_TRUE(IsThisKeyDown(56));
  EXPECT_FALSE(IsThisKeyDown(128));
  EXPECT_FALSE(IsThisKeyDown(-1));
  platform::releaseAllKeys();
}

TEST(DSIUtilitiesTest, HandleChecks) {
  std::vector<std::string> messages;
  platform::setDebugOutputHandler([&](const std::string& m) { messages.push_back(m); });
  alignas(8) char block[16];
  char* master = block;
  EXPECT_TRUE(IsValidHandle(&master));
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(IsValidHandle(nullptr));
  char* nullMaster = nullptr;
  EXPECT_FALSE(IsValidHandle(&nullMaster));
  char* oddMaster = block + 1;
  EXPECT_FALSE(IsValidHandle(&oddMaster));
  alignas(8) char* masters[2] = {block, block};
  EXPECT_FALSE(IsValidHandle(reinterpret_cast<char**>(reinterpret_cast<char*>(masters) + 1)));
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0], ";printf \"IsValidHandle bad handle:%d\" rd0");
  platform::setDebugOutputHandler(nullptr);
}

namespace {

struct Call {
  int32_t selector;
  uintptr_t reserved;
  std::string text;
  intptr_t number;
};
std::vector<Call> sCalls;

int16_t recordingCallback(int32_t selector, uintptr_t reserved, uintptr_t argument) {
  Call c{selector, reserved, "", 0};
  if (selector == kHostCallbackDebugText) {
    auto* p = reinterpret_cast<const unsigned char*>(argument);
    c.text.assign(reinterpret_cast<const char*>(p + 1), p[0]);
  } else {
    c.number = static_cast<intptr_t>(argument);
  }
  sCalls.push_back(c);
  return 0;
}

} // namespace

TEST(DSIUtilitiesTest, DebugOutputGoesToTheHostCallback) {
  sCalls.clear();
  SetHostCallback(nullptr);
  CPlusDebugString("nobody listens");
  CPlusDebugLong(1);
  EXPECT_TRUE(sCalls.empty());

  SetHostCallback(recordingCallback);
  CPlusDebugString("voice stolen");
  CPlusDebugLong(-5);
  std::string longText(1000, 'q');
  CPlusDebugString(longText.c_str()); // cut to what the host's string holds
  SetHostCallback(nullptr);
  ASSERT_EQ(sCalls.size(), 3u);
  EXPECT_EQ(sCalls[0].selector, 8);
  EXPECT_EQ(sCalls[0].reserved, 0u);
  EXPECT_EQ(sCalls[0].text, "voice stolen");
  EXPECT_EQ(sCalls[1].selector, 9);
  EXPECT_EQ(sCalls[1].number, -5);
  EXPECT_EQ(sCalls[2].text, std::string(255, 'q'));
}

TEST(DSIUtilitiesTest, PrintfToTheDriverIsBounded) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    ASSERT_EQ(Call_InitSADriver(), 0);
    driver.clearLog();
    EXPECT_EQ(PlugInPrintf("voice %d at %s", 3, "C4"), 0);
    std::string wide(1000, 'w');
    EXPECT_EQ(PlugInPrintf("%s%s", wide.c_str(), wide.c_str()), 0);
    EXPECT_EQ(driver.log(), "DsiPrintf voice 3 at C4\nDsiPrintf " + std::string(255, 'w') + "\n");
  });
}

TEST(DSIUtilitiesTest, ProgressGoesToTheClientsThatTakeIt) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    driver.configure("clients=PrgL:1,abcd:1,PrgL:0,PrgL:1");
    ASSERT_EQ(Call_InitSADriver(), 0);
    SDSIClientRecord* first = nullptr;
    ASSERT_EQ(Call_GetClientList(reinterpret_cast<uintptr_t>(&first)), 0);
    char a[32], b[32];
    std::snprintf(a, sizeof a, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(first)));
    std::snprintf(b, sizeof b, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(first->next->next->next)));
    const std::string both = std::string("DsiSendMsg ") + a + " 1002 4 -3\nDsiSendMsg " + b + " 1002 4 -3\n";

    driver.clearLog();
    EXPECT_EQ(SendProgressMessage(-3), 0);
    EXPECT_EQ(driver.log(), "GetClientList\n" + both);
    // The driver's -1 counts as delivered.
    driver.clearLog();
    driver.configure("result.DsiSendMsg=0xFFFF");
    EXPECT_EQ(SendProgressMessage(-3), 0);
    EXPECT_EQ(driver.log(), "GetClientList\n" + both);
    // Any other failure stops at once.
    driver.clearLog();
    driver.configure("result.DsiSendMsg=-7");
    EXPECT_EQ(SendProgressMessage(-3), -7);
    EXPECT_EQ(driver.log(), std::string("GetClientList\nDsiSendMsg ") + a + " 1002 4 -3\n");
  });
}

TEST(DSIUtilitiesTest, BusyWaitLastsAtLeastTheDelay) {
  int64_t start = platform::microseconds();
  MicrosecondDelay(3000);
  EXPECT_GE(platform::microseconds() - start, 3000);
  start = platform::microseconds();
  MicrosecondDelay(0);
  MicrosecondDelay(-10);
  EXPECT_GE(platform::microseconds(), start);
}

TEST(DSIUtilitiesTest, BitStrings) {
  EXPECT_EQ(binary2string(5, 4), "0101");
  EXPECT_EQ(binary2string(5, 2), "01");
  EXPECT_EQ(binary2string(5, 0), "");
  EXPECT_EQ(binary2string(0xFFFFFFFFu, 40), std::string(32, '1'));
  EXPECT_EQ(binary2string(0x80000000u, 32), "1" + std::string(31, '0'));
  EXPECT_EQ(string2binary("0101"), 5u);
  EXPECT_EQ(string2binary(""), 0u);
  EXPECT_EQ(string2binary(binary2string(0xA5C3u, 16).c_str()), 0xA5C3u);
  for (const char* bad : {"012", "1 0", "x"}) {
    try {
      string2binary(bad);
      ADD_FAILURE() << bad;
    } catch (const CDAEError& e) {
      EXPECT_EQ(e.GetErrorCode(), -7401);
    }
  }
}
