// Controls of a process as the host and the plug-in change them: touches,
// values with and without the host's automation service, and the host's
// queries.

#include "tests/host/ProbePlugIn.h"

#include "host/services/CDAEError.h"

#include <gtest/gtest.h>

using hosttest::Probe;
using hosttest::ProbeControl;
using hosttest::ProbeHost;
using simhost::AutomationEvent;

TEST(ProcessControlsTest, PlugInChangesGoThroughTheAutomationServiceAndComeBack) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  hosttest::ProbeProcess* p = Probe(*in);
  const uintptr_t ref = in->process();
  int32_t v = ProbeControl::ToControl(7, 10);

  p->TouchControl(2); // a gesture begins
  p->SetControlValue(2, v);
  EXPECT_EQ(p->GetTouchCount(2), 1);
  p->ReleaseControl(2);
  EXPECT_EQ(p->GetTouchCount(2), 0);
  // The host saw one touch, the value and one release: the set inside the
  // gesture only counted its touch.
  std::vector<AutomationEvent> expected = {{AutomationEvent::Touch, ref, 2, 0},
                                           {AutomationEvent::Value, ref, 2, v},
                                           {AutomationEvent::Release, ref, 2, 0}};
  EXPECT_EQ(host->automation(), expected);
  // The echo stored the value and applied it.
  EXPECT_EQ(host->controlValue(*in, 2), v);
  EXPECT_EQ(p->fRecord.applied, std::vector<int32_t>{2});

  // A release without a touch is ignored.
  host->clearAutomation();
  p->ReleaseControl(3);
  EXPECT_TRUE(host->automation().empty());
  EXPECT_EQ(p->GetTouchCount(3), 0);
}

TEST(ProcessControlsTest, WithoutAutomationServiceValuesApplyAtOnce) {
  simhost::HostOptions options;
  options.automationService = false;
  ProbeHost host(options);
  simhost::Instance* in = host->createInstance();
  hosttest::ProbeProcess* p = Probe(*in);
  p->TouchControl(3);
  p->SetControlValue(3, ProbeControl::ToControl(4, 10));
  p->ReleaseControl(3);
  EXPECT_TRUE(host->automation().empty());
  EXPECT_EQ(host->controlValue(*in, 3), ProbeControl::ToControl(4, 10));
  EXPECT_EQ(p->fRecord.applied, std::vector<int32_t>{3});
}

TEST(ProcessControlsTest, ControlIndicesAreCheckedAndQueriesAnswerNeutrally) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  hosttest::ProbeProcess* p = Probe(*in);
  EXPECT_EQ(host->numControls(*in), 4);
  for (int32_t bad : {0, 5, -1}) {
    try {
      p->GetControl(bad);
      FAIL() << bad;
    } catch (const CDAEError& e) {
      EXPECT_EQ(e.GetErrorCode(), -7300);
    }
    EXPECT_EQ(host->setControl(*in, bad, 0), -7300) << bad;
    EXPECT_EQ(host->touchControl(*in, bad), -7300) << bad;
    EXPECT_EQ(host->controlValue(*in, bad), 0);
    EXPECT_EQ(host->valueString(*in, bad, 0, 8), "");
    EXPECT_EQ(host->controlName(*in, bad, 8), "");
  }
  EXPECT_TRUE(p->fRecord.applied.empty());

  EXPECT_EQ(host->controlName(*in, 1, 31), "Master Bypass");
  EXPECT_EQ(host->controlName(*in, 1, 8), "Mstr Byp");
  EXPECT_EQ(host->controlName(*in, 1, 2), "By");
  EXPECT_EQ(host->valueString(*in, 2, ProbeControl::ToControl(10, 10), 2), "10");
  EXPECT_EQ(host->valueString(*in, 2, ProbeControl::ToControl(10, 10), 1), "*");
  int32_t value = 0;
  EXPECT_EQ(host->valueFromString(*in, 2, "6", value), 0);
  EXPECT_EQ(value, ProbeControl::ToControl(6, 10));
  // The control's own error comes back as the result; the value is left.
  EXPECT_EQ(host->valueFromString(*in, 2, "six", value), -7401);
  EXPECT_EQ(value, ProbeControl::ToControl(6, 10));
  EXPECT_EQ(host->valueFromString(*in, 9, "6", value), -7300);
  int32_t accepted = -1;
  EXPECT_EQ(host->callWith(kProcess_IsControlKeyValid, in->process(), 2, '5', &accepted), 0);
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(host->callWith(kProcess_IsControlKeyValid, in->process(), 2, 'x', &accepted), 0);
  EXPECT_EQ(accepted, 0);
  int32_t bypass = 0;
  host->callWith(kProcess_GetMasterBypassControl, in->process(), &bypass);
  EXPECT_EQ(bypass, 1);
}

TEST(ProcessControlsTest, HostTouchesAreCountedPerControl) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  hosttest::ProbeProcess* p = Probe(*in);
  EXPECT_EQ(host->touchControl(*in, 2), 0);
  EXPECT_EQ(host->touchControl(*in, 2), 0);
  EXPECT_EQ(p->GetTouchCount(2), 2);
  EXPECT_EQ(p->GetTouchCount(3), 0);
  host->releaseControl(*in, 2);
  host->releaseControl(*in, 2);
  host->releaseControl(*in, 2);
  EXPECT_EQ(p->GetTouchCount(2), 0);
  auto events = host->automation();
  ASSERT_EQ(events.size(), 2u); // the first touch and the last release only
  EXPECT_EQ(events[0].kind, AutomationEvent::Touch);
  EXPECT_EQ(events[1].kind, AutomationEvent::Release);
}
