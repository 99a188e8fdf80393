// The adapter's host controls and the value exchange between host, plug-in
// and editor gestures, in-process.

#include "host/services/CDAEError.h"
#include "platform/Alerts.h"
#include "tests/host/bridge/BridgeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

using namespace bridgetest;
using simhost::AutomationEvent;

namespace {

constexpr int32_t kMin = -2147483647 - 1;
constexpr int32_t kMax = 2147483647;

std::vector<AutomationEvent> GestureOf(uintptr_t process, int32_t control, int32_t value) {
  return {{AutomationEvent::Touch, process, control, 0},
          {AutomationEvent::Value, process, control, value},
          {AutomationEvent::Release, process, control, 0}};
}

} // namespace

TEST(DigiPluginAdapterTest, ControlsMirrorTheParameters) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  // Four parameters: the bypass and one control each.
  ASSERT_EQ(h->numControls(*in), 5);

  EXPECT_EQ(h->controlID(*in, kBypass), 0x62797061u); // 'bypa'
  EXPECT_EQ(h->controlName(*in, kBypass, 31), "Master Bypass");
  EXPECT_EQ(h->controlName(*in, kBypass, 8), "Mstr Byp");
  EXPECT_EQ(h->controlName(*in, kBypass, 4), "MBYP");
  EXPECT_EQ(h->controlName(*in, kBypass, 3), "Byp");
  EXPECT_EQ(h->controlValue(*in, kBypass), kMin);
  EXPECT_EQ(h->valueString(*in, kBypass, kMin, 8), "Off");
  EXPECT_EQ(h->valueString(*in, kBypass, kMax, 8), "On");

  // Parameter i is control i + 2, its identifier the index itself.
  const char* names[] = {"Level", "Mode", "Offset", "Octave"};
  for (int32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(h->controlID(*in, i + 2), static_cast<uint32_t>(i));
    EXPECT_EQ(h->controlName(*in, i + 2, 31), names[i]);
  }

  int32_t type = -1, steps = 0, def = 0;
  ASSERT_EQ(h->callWith(kProcess_GetControlType, in->process(), kLevel, &type), 0);
  EXPECT_EQ(type, 1);
  ASSERT_EQ(h->callWith(kProcess_GetControlNumSteps, in->process(), kLevel, &steps), 0);
  EXPECT_EQ(steps, 1001); // 0 to 1 in steps of 0.001
  ASSERT_EQ(h->callWith(kProcess_GetControlDefaultValue, in->process(), kLevel, &def), 0);
  EXPECT_EQ(def, ContinuousControl(0.5, 0, 1));
  EXPECT_EQ(h->controlValue(*in, kLevel), ContinuousControl(0.5, 0, 1));
  // One decimal; no small prefixes.
  EXPECT_EQ(h->valueString(*in, kLevel, ContinuousControl(0.5, 0, 1), 8), "0.5");

  ASSERT_EQ(h->callWith(kProcess_GetControlType, in->process(), kMode, &type), 0);
  EXPECT_EQ(type, 0);
  ASSERT_EQ(h->callWith(kProcess_GetControlNumSteps, in->process(), kMode, &steps), 0);
  EXPECT_EQ(steps, 4);
  const char* modes[] = {"Flat", "Ramp", "Alternate", "Steps"};
  for (int32_t p = 0; p < 4; ++p) EXPECT_EQ(h->valueString(*in, kMode, ListControl(p, 4), 31), modes[p]);

  // A list whose minimum is below 0: one text per value, the default at the
  // position of the current value.
  ASSERT_EQ(h->callWith(kProcess_GetControlNumSteps, in->process(), kOctave, &steps), 0);
  EXPECT_EQ(steps, 5);
  EXPECT_EQ(h->valueString(*in, kOctave, ListControl(0, 5), 31), "-2");
  EXPECT_EQ(h->valueString(*in, kOctave, ListControl(4, 5), 31), "2");
  EXPECT_EQ(h->controlValue(*in, kOctave), ListControl(2, 5));
}

// A product that starts with a sound of its own (a user's start preset)
// shows that sound in the host's controls from the start: a control left at
// the declared default would show, automate and save a value that does not
// play.
TEST(DigiPluginAdapterTest, ControlsStartAtTheValuesTheProductStartsWith) {
  const std::string path = WritePreset("Start Sound", 0.8f, BridgeTestProduct::Alternate, -0.25f, 1);
  ASSERT_GE(ProgramNumberOf("Start Sound"), 0);
  {
    ProductOptions options;
    options.startPreset = "Start Sound";
    InProcessHost h(options);
    simhost::Instance* in = h->createInstance();
    ASSERT_EQ(Product(*in)->mode.getValue(), 2.0f);
    EXPECT_EQ(h->controlValue(*in, kLevel), ContinuousControl(0.8f, 0, 1));
    EXPECT_EQ(h->controlValue(*in, kMode), ListControl(2, 4));
    EXPECT_EQ(h->controlValue(*in, kOffset), ContinuousControl(-0.25, -1, 1));
    // Octave 1 is the fourth of -2..2.
    EXPECT_EQ(h->controlValue(*in, kOctave), ListControl(3, 5));
  }
  std::remove(path.c_str());
}

TEST(DigiPluginAdapterTest, HostChangesReachTheParametersWithoutEcho) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  ASSERT_NE(p, nullptr);

  ASSERT_EQ(h->setControl(*in, kLevel, ContinuousControl(0.25, 0, 1)), 0);
  EXPECT_FLOAT_EQ(p->level.getValue(), 0.25f);
  ASSERT_EQ(h->setControl(*in, kMode, ListControl(2, 4)), 0);
  EXPECT_EQ(p->mode.getValue(), 2.0f);
  // A list position counts from the parameter's minimum.
  ASSERT_EQ(h->setControl(*in, kOctave, ListControl(0, 5)), 0);
  EXPECT_EQ(p->octave.getValue(), -2.0f);
  ASSERT_EQ(h->setControl(*in, kOffset, ContinuousControl(-1.0, -1, 1)), 0);
  EXPECT_EQ(p->offset.getValue(), -1.0f);

  // Only the host's own values are in its log: the plug-in did not send
  // them back.
  for (const AutomationEvent& e : h->automation()) EXPECT_EQ(e.kind, AutomationEvent::Value);
  EXPECT_EQ(h->automation().size(), 4u);
  EXPECT_FALSE(Adapter(*in)->HasPendingControlChanges());

  // Controls the adapter does not know change nothing.
  Adapter(*in)->UpdateControlValueInAlgorithm(0);
  Adapter(*in)->UpdateControlValueInAlgorithm(6);
  EXPECT_FLOAT_EQ(p->level.getValue(), 0.25f);
  EXPECT_EQ(p->mode.getValue(), 2.0f);
  EXPECT_EQ(h->setControl(*in, 6, 0), kPlugInErr_NoSuchControl);
}

TEST(DigiPluginAdapterTest, ThePluginsOwnChangesGoToTheHostAsGestures) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  h->clearAutomation();

  p->level.setValue(0.75f, 0);
  p->mode.setValue(3.0f, 0);
  p->octave.setValue(1.0f, 0);
  std::vector<AutomationEvent> expected = GestureOf(in->process(), kLevel, ContinuousControl(0.75, 0, 1));
  for (const auto& more : {GestureOf(in->process(), kMode, ListControl(3, 4)),
                           GestureOf(in->process(), kOctave, ListControl(3, 5))})
    expected.insert(expected.end(), more.begin(), more.end());
  EXPECT_EQ(h->automation(), expected);
  // The host echoed the values; the plug-in keeps them.
  EXPECT_EQ(h->controlValue(*in, kMode), ListControl(3, 4));
  EXPECT_FLOAT_EQ(p->level.getValue(), 0.75f);
  EXPECT_EQ(p->octave.getValue(), 1.0f);
  for (int32_t k = 1; k <= 5; ++k) EXPECT_EQ(Adapter(*in)->GetTouchCount(k), 0) << k;

  // All parameters: every control once, in index order.
  h->clearAutomation();
  Adapter(*in)->pluginParameterChange(-1);
  std::vector<AutomationEvent> log = h->automation();
  ASSERT_EQ(log.size(), 12u);
  for (int32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(log[static_cast<size_t>(3 * i)].control, i + 2);
    EXPECT_EQ(log[static_cast<size_t>(3 * i + 1)].kind, AutomationEvent::Value);
  }
  // Indices that name no parameter (MIDI-only ones among them) are ignored.
  h->clearAutomation();
  Adapter(*in)->pluginParameterChange(4);
  Adapter(*in)->pluginParameterChange(0x100000);
  Adapter(*in)->pluginParameterChange(-2);
  EXPECT_TRUE(h->automation().empty());
}

TEST(DigiPluginAdapterTest, WithoutAutomationTheValueIsStoredAndApplied) {
  simhost::HostOptions options;
  options.automationService = false;
  InProcessHost h(ProductOptions(), options);
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  p->mode.setValue(1.0f, 0);
  EXPECT_EQ(h->controlValue(*in, kMode), ListControl(1, 4));
  Adapter(*in)->controlChange(0, 0.125f);
  EXPECT_EQ(h->controlValue(*in, kLevel), ContinuousControl(0.125, 0, 1));
  EXPECT_FLOAT_EQ(p->level.getValue(), 0.125f);
  EXPECT_TRUE(h->automation().empty());
}

TEST(DigiPluginAdapterTest, EditorGesturesNestTouchesAndReleases) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  DigiPluginAdapter* a = Adapter(*in);
  h->clearAutomation();

  a->startControlChange(0);
  a->startControlChange(0); // a linked control of the same gesture
  EXPECT_EQ(a->GetTouchCount(kLevel), 2);
  a->controlChange(0, 0.3f);
  a->controlChange(0, 0.35f);
  a->endControlChange(0);
  EXPECT_EQ(a->GetTouchCount(kLevel), 1);
  a->endControlChange(0);
  EXPECT_EQ(a->GetTouchCount(kLevel), 0);

  const uintptr_t pr = in->process();
  std::vector<AutomationEvent> expected = {{AutomationEvent::Touch, pr, kLevel, 0},
                                           {AutomationEvent::Value, pr, kLevel, ContinuousControl(0.3f, 0, 1)},
                                           {AutomationEvent::Value, pr, kLevel, ContinuousControl(0.35f, 0, 1)},
                                           {AutomationEvent::Release, pr, kLevel, 0}};
  EXPECT_EQ(h->automation(), expected);
  EXPECT_NEAR(Product(*in)->level.getValue(), 0.35f, 1e-6f);

  // Indexed values are list positions counted from the minimum.
  a->controlChange(3, -1.0f);
  EXPECT_EQ(h->controlValue(*in, kOctave), ListControl(1, 5));
  EXPECT_EQ(Product(*in)->octave.getValue(), -1.0f);

  try {
    a->controlChange(4, 0.0f);
    ADD_FAILURE() << "a parameter without control";
  } catch (const CDAEError& e) {
    EXPECT_EQ(e.GetErrorCode(), kPlugInErr_NoSuchControl);
  }
  // An action changes nothing the host sees.
  const int32_t before = h->controlValue(*in, kOctave);
  a->processInterfaceAction(1);
  EXPECT_EQ(h->controlValue(*in, kOctave), before);
}

TEST(DigiPluginAdapterTest, BypassResetsOnTheNextRenderCallOnly) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  Render(h.host(), *in, 64);
  const int before = p->resets.load();

  ASSERT_EQ(h->setControl(*in, kBypass, kMax), 0);
  EXPECT_TRUE(Adapter(*in)->IsBypassed());
  // Not on the main thread beside a render call: at the start of the next.
  EXPECT_EQ(p->resets.load(), before);
  Render(h.host(), *in, 64); // two render calls
  EXPECT_EQ(p->resets.load(), before + 1);
  EXPECT_EQ(p->resetThread.load(), std::hash<std::thread::id>()(std::this_thread::get_id()));

  // Staying on asks again; switching off does not.
  ASSERT_EQ(h->setControl(*in, kBypass, kMax), 0);
  Render(h.host(), *in, 32);
  EXPECT_EQ(p->resets.load(), before + 2);
  ASSERT_EQ(h->setControl(*in, kBypass, kMin), 0);
  EXPECT_FALSE(Adapter(*in)->IsBypassed());
  Render(h.host(), *in, 64);
  EXPECT_EQ(p->resets.load(), before + 2);
}

TEST(DigiPluginAdapterTest, ChangesMadeWhileRenderingWaitForTheMainThread) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  DigiRTASPluginAdapter* a = Adapter(*in);
  Render(h.host(), *in, 32);
  h->clearAutomation();

  // MIDI learn: the next controller moves Level, inside the render call.
  p->learnMidi(0);
  h->queueMidi(*in, 3, 0xB0, 7, 127);
  Render(h.host(), *in, 32);
  EXPECT_EQ(p->level.getValue(), 1.0f);
  EXPECT_TRUE(h->automation().empty());
  EXPECT_TRUE(a->HasPendingControlChanges());

  // A second move before the host idles: handed over once, as it is now.
  h->queueMidi(*in, 3, 0xB0, 7, 0);
  Render(h.host(), *in, 32);
  EXPECT_EQ(p->level.getValue(), 0.0f);
  h->idle();
  EXPECT_EQ(h->automation(), GestureOf(in->process(), kLevel, kMin));
  EXPECT_FALSE(a->HasPendingControlChanges());
  EXPECT_EQ(h->controlValue(*in, kLevel), kMin);

  // A change on another thread waits as well.
  h->clearAutomation();
  std::thread([&] { p->mode.setValue(2.0f, 0); }).join();
  EXPECT_TRUE(h->automation().empty());
  h->idle();
  EXPECT_EQ(h->automation(), GestureOf(in->process(), kMode, ListControl(2, 4)));
}

TEST(DigiPluginAdapterTest, AProgramChangeWhileRenderingReachesEveryControl) {
  const std::string path = WritePreset("Program Bright", 0.8f, BridgeTestProduct::Ramp, 0.25f, 1);
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  const int program = ProgramNumberOf("Program Bright");
  ASSERT_GE(program, 0);
  h->clearAutomation();

  h->queueMidi(*in, 0, 0xC0, static_cast<uint8_t>(program));
  Render(h.host(), *in, 32);
  EXPECT_FLOAT_EQ(p->level.getValue(), 0.8f);
  EXPECT_EQ(p->mode.getValue(), 1.0f);
  EXPECT_TRUE(h->automation().empty());

  h->idle();
  std::vector<AutomationEvent> log = h->automation();
  ASSERT_EQ(log.size(), 12u);
  EXPECT_EQ(log[1], (AutomationEvent{AutomationEvent::Value, in->process(), kLevel, ContinuousControl(0.8f, 0, 1)}));
  EXPECT_EQ(log[4], (AutomationEvent{AutomationEvent::Value, in->process(), kMode, ListControl(1, 4)}));
  EXPECT_EQ(log[7], (AutomationEvent{AutomationEvent::Value, in->process(), kOffset, ContinuousControl(0.25, -1, 1)}));
  EXPECT_EQ(log[10], (AutomationEvent{AutomationEvent::Value, in->process(), kOctave, ListControl(3, 5)}));
  // The host's controls now hold what the plug-in holds.
  EXPECT_EQ(h->controlValue(*in, kOctave), ListControl(3, 5));
  std::remove(path.c_str());
}

// A damaged preset that a program change met on the render thread is
// reported to the user at the host's next idle time, on the main thread;
// the sound plays on as it was.
TEST(DigiPluginAdapterTest, APresetThatFailedWhileRenderingIsReportedAtIdleTime) {
  const std::string path = WritePreset("Idle Cut", 0.9f, BridgeTestProduct::Steps, 0.5f, 2);
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 3);
  const int program = ProgramNumberOf("Idle Cut");
  ASSERT_GE(program, 0);
  std::vector<std::string> alerts;
  std::vector<std::thread::id> alertThreads;
  platform::setAlertHandler([&](const std::string& m) {
    alerts.push_back(m);
    alertThreads.push_back(std::this_thread::get_id());
  });
  {
    InProcessHost h;
    simhost::Instance* in = h->createInstance();
    h->queueMidi(*in, 0, 0xC0, static_cast<uint8_t>(program));
    std::thread([&] { Render(h.host(), *in, 32); }).join();
    EXPECT_TRUE(alerts.empty());
    EXPECT_FLOAT_EQ(Product(*in)->level.getValue(), 0.5f);
    h->idle();
  }
  platform::setAlertHandler(nullptr);
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alertThreads[0], std::this_thread::get_id());
  EXPECT_NE(alerts[0].find("\"Idle Cut\" could not be loaded"), std::string::npos) << alerts[0];
  std::remove(path.c_str());
}
