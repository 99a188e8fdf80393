#include "host/services/PortHelpers.h"

#include "host/services/CDAEError.h"
#include "host/services/StemFormat.h"

#include <gtest/gtest.h>

TEST(PortHelpersTest, PortsConnectAndDisconnectWithinTheirRange) {
  uintptr_t slots[3] = {0, 0, 0};
  const uintptr_t wide = 0xAB0000000001ULL;
  bool flag = true;
  EXPECT_EQ(IsPortFree(0, &flag, slots, 3), 0);
  EXPECT_FALSE(flag);
  EXPECT_EQ(IsPortFree(4, &flag, slots, 3), 0);
  EXPECT_FALSE(flag);
  EXPECT_EQ(IsPortFree(1, &flag, slots, 3), 0);
  EXPECT_TRUE(flag);
  EXPECT_EQ(IsPortConnected(0, &flag, slots, 3), -7106);
  EXPECT_EQ(IsPortConnected(4, &flag, slots, 3), -7106);

  EXPECT_EQ(ConnectInputPort(2, wide, slots, 3), 0);
  EXPECT_EQ(slots[1], wide);
  EXPECT_EQ(IsPortConnected(2, &flag, slots, 3), 0);
  EXPECT_TRUE(flag);
  EXPECT_EQ(ConnectInputPort(2, 5, slots, 3), -7100);
  EXPECT_EQ(ConnectOutputPort(2, 5, slots, 3), -7101);
  EXPECT_EQ(slots[1], wide); // an error changes nothing
  EXPECT_EQ(ConnectInputPort(0, 5, slots, 3), -7106);
  EXPECT_EQ(ConnectOutputPort(4, 5, slots, 3), -7106);

  // A null connection never conflicts: it clears the slot.
  EXPECT_EQ(ConnectInputPort(2, 0, slots, 3), 0);
  EXPECT_EQ(slots[1], 0u);
  EXPECT_EQ(DisconnectPort(2, slots, 3), -7107);
  EXPECT_EQ(ConnectOutputPort(3, 9, slots, 3), 0);
  EXPECT_EQ(DisconnectPort(3, slots, 3), 0);
  EXPECT_EQ(slots[2], 0u);
  EXPECT_EQ(DisconnectPort(-1, slots, 3), -7106);
}

TEST(PortHelpersTest, ClearingAndBounds) {
  uintptr_t inputs[2] = {1, 2}, outputs[3] = {3, 4, 5};
  ClearPortArray(inputs, outputs, 0, -1);
  EXPECT_EQ(inputs[0], 1u);
  EXPECT_EQ(outputs[0], 3u);
  ClearPortArray(inputs, outputs, 2, 3);
  for (uintptr_t s : inputs) EXPECT_EQ(s, 0u);
  for (uintptr_t s : outputs) EXPECT_EQ(s, 0u);

  const int32_t source[8] = {0, 1, 2, 3, 4, 5, -6, 7};
  SOutputBounds a{9, 9}, b{9, 9};
  SOutputBounds* records[3] = {&a, nullptr, &b};
  EXPECT_EQ(CopyOutputBounds(source, records, 3), 0);
  EXPECT_EQ(a.fFirstBound, -6);
  EXPECT_EQ(a.fSecondBound, 7);
  EXPECT_EQ(b.fSecondBound, 7);
  SOutputBounds c{9, 9};
  SOutputBounds* one[1] = {&c};
  EXPECT_EQ(CopyOutputBounds(nullptr, one, 1), 0);
  EXPECT_EQ(CopyOutputBounds(source, one, 0), 0);
  EXPECT_EQ(c.fFirstBound, 9);
}

TEST(PortHelpersTest, AudioFormats) {
  SPlugInAudioFormat f{123, 0, 0, 0, 0.0f};
  EXPECT_EQ(CEffectProcessAS::GetDefaultFormat(0, 0, &f), 0);
  EXPECT_EQ(f.fFirst, 123); // not touched
  EXPECT_EQ(f.fVersion, 1);
  EXPECT_EQ(f.fChannels, 2);
  EXPECT_EQ(f.fThird, 1);
  EXPECT_EQ(f.fSampleRate, 44100.0f);
  EXPECT_EQ(CEffectProcessAS::CheckFormat(0, 0, &f), 0);
  SPlugInAudioFormat g = f;
  g.fSampleRate = 96000.0f;
  EXPECT_EQ(CEffectProcessAS::CheckFormat(0, 0, &g), 0);
  for (auto change : {+[](SPlugInAudioFormat& x) { x.fVersion = 2; }, +[](SPlugInAudioFormat& x) { x.fChannels = 1; },
                      +[](SPlugInAudioFormat& x) { x.fThird = 0; }, +[](SPlugInAudioFormat& x) { x.fSampleRate = 0; }}) {
    SPlugInAudioFormat bad = f;
    change(bad);
    EXPECT_EQ(CEffectProcessAS::CheckFormat(0, 0, &bad), -7104);
  }
}

TEST(PortHelpersTest, StemFormats) {
  const int32_t channels[] = {1, 2, 3, 4, 4, 5, 6, 6, 7, 7, 8};
  for (int32_t f = 0; f <= 10; ++f) {
    EXPECT_EQ(SurroundFormatToNumChannels(f), channels[f]) << f;
    EXPECT_EQ(SurroundFormatHasLFE(f), f == 6 || f == 8 || f == 10) << f;
  }
  EXPECT_FALSE(SurroundFormatHasLFE(11));
  EXPECT_FALSE(SurroundFormatHasLFE(-1));
  EXPECT_FALSE(SurroundFormatHasLFE(1 << 20));
  for (int32_t f : {11, -1, 100}) {
    try {
      SurroundFormatToNumChannels(f);
      ADD_FAILURE() << f;
    } catch (const CDAEError& e) {
      EXPECT_EQ(e.GetErrorCode(), -7401);
    }
  }
}

TEST(PortHelpersTest, HostErrorsCarryTheirCode) {
  EXPECT_NO_THROW(ThrowIfDAEError(0));
  try {
    ThrowIfDAEError(-9065);
    ADD_FAILURE();
  } catch (const CDAEError& e) {
    EXPECT_EQ(e.GetErrorCode(), -9065);
  }
}
