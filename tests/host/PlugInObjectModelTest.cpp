// The object model a real-time instance publishes: what the host receives,
// and how the objects behave without a host object interface.

#include "tests/host/ProbePlugIn.h"

#include "host/CAdaptorPlugIn.h"
#include "host/CPlugInData.h"
#include "host/PlugInGlobals.h"
#include "host/services/HostCallback.h"

#include <gtest/gtest.h>

using hosttest::Probe;
using hosttest::ProbeHost;
using hosttest::ProbeOptions;

TEST(PlugInObjectModelTest, AnInstancePublishesPortsWorkerAndInstanceData) {
  ProbeOptions probe;
  probe.sideChain = true;
  ProbeHost host(simhost::HostOptions(), probe);
  simhost::Instance* in = host->createInstance();
  simhost::HostObjects& objects = host->objects();
  const simhost::PublishedPlugIn* p = objects.plugIn(in->plugInObject());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->publications, 1);
  EXPECT_EQ(p->id[0], 0x5176726Eu);
  EXPECT_EQ(p->id[3], reinterpret_cast<uintptr_t>(in));
  // Stereo in with a side chain: ports 1, 2 and the side-chain port 3.
  ASSERT_EQ(p->inputs.size(), 3u);
  ASSERT_EQ(p->outputs.size(), 2u);
  EXPECT_EQ(objects.port(p->inputs[2])->index, 3);
  EXPECT_EQ(objects.port(p->outputs[1])->index, 2);
  EXPECT_EQ(objects.port(p->outputs[1])->owner, in->plugInObject());
  ASSERT_EQ(p->workers.size(), 1u);
  const simhost::PublishedWorker* w = objects.worker(p->workers[0]);
  EXPECT_EQ(w->routine, &CEffectProcessRTAS::RenderAudioWorker);
  EXPECT_EQ(w->name, "Quorvane Probe");
  EXPECT_EQ(w->sets[1], p->inputs);
  EXPECT_EQ(w->sets[2], p->outputs);
  ASSERT_EQ(w->sets[0].size(), 1u);
  EXPECT_EQ(objects.kindOf(w->sets[0][0]), eHostObject_DataBlock);

  // The instance data block lives in the host's memory, filled by the plug-in.
  const uintptr_t* d = in->instanceData();
  EXPECT_EQ(d[eRTASInstance_Process], in->process());
  EXPECT_EQ(d[eRTASInstance_NumInputs], 2u);
  EXPECT_EQ(d[eRTASInstance_NumOutputs], 2u);
  EXPECT_EQ(d[eRTASInstance_SideChainPort], 3u);
  EXPECT_EQ(d[eRTASInstance_VariableQuantum], 0u); // the host offers none
  auto* adaptor = Probe(*in)->GetHostPlugIn();
  EXPECT_EQ(adaptor->GetDataBlock().GetHostAddress(), reinterpret_cast<uintptr_t>(d));
  EXPECT_EQ(adaptor->GetInstanceField(eRTASInstance_SideChainPort), 3u);

  // Registration order: plug-in, worker, data block, ports.
  EXPECT_EQ(objects.registeredCount(eHostObject_PlugIn), 1);
  EXPECT_EQ(objects.registeredCount(eHostObject_InputPort), 3);
  EXPECT_EQ(objects.malformedMessages(), 0);
  // Each publication is bracketed: begin, the ports, worker, data, plug-in, end.
  host->objects().clearMessages();
  adaptor->Publish();
  auto& m = host->objects().messages();
  ASSERT_EQ(m.size(), 1u + 3 + 2 + 1 + 1 + 1 + 1);
  EXPECT_EQ(m.front().words, std::vector<uintptr_t>{2});
  EXPECT_EQ(m.back().words, std::vector<uintptr_t>{3});
  EXPECT_EQ(m[6].words[0], kHostMessage_Worker);

  // Port counts may not change; the same count publishes again.
  host->objects().clearMessages();
  EXPECT_EQ(adaptor->SetNumInputs(3), 0);
  EXPECT_EQ(host->objects().messages().size(), 10u);
  EXPECT_EQ(adaptor->SetNumInputs(4), -7152);
  EXPECT_EQ(adaptor->SetNumOutputs(1), -7153);
  EXPECT_EQ(adaptor->SetNumOutputs(-1), 0);
  EXPECT_EQ(adaptor->GetFourCharCode(), 0x20202020u);

  // The side chain reaches the process as the input after the main ones.
  std::vector<float> left(32, 0.125f), right(32, 0.25f), key(32, 0.75f), outL(32), outR(32);
  const float* ins[] = {left.data(), right.data(), key.data()};
  float* outs[] = {outL.data(), outR.data()};
  host->render(*in, ins, outs, 32);
  EXPECT_EQ(Probe(*in)->fRecord.sideChain, 0.75f);
  EXPECT_EQ(outR[31], 0.75f); // the probe's right input plus a half

  // Deleting the instance unregisters everything it registered.
  host->deleteInstance(in);
  EXPECT_EQ(objects.registeredCount(), 0);
}

TEST(PlugInObjectModelTest, AnInstrumentPublishesItsOwnInputAndOutputCounts) {
  ProbeOptions probe;
  probe.configureType = [](CEffectType& type) {
    type.DefineStemFormats(ePlugIn_StemFormat_Mono, ePlugIn_StemFormat_Stereo, ePlugIn_StemFormat_Mono);
  };
  ProbeHost host(simhost::HostOptions(), probe);
  simhost::Instance* in = host->createInstance();
  int16_t inputs = 0, outputs = 0;
  Probe(*in)->GetNumAudioInputs(&inputs);
  Probe(*in)->GetNumAudioOutputs(&outputs);
  EXPECT_EQ(inputs, 1);
  EXPECT_EQ(outputs, 2);
  const simhost::PublishedPlugIn* p = host->objects().plugIn(in->plugInObject());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->inputs.size(), 1u);
  EXPECT_EQ(p->outputs.size(), 2u);
  host->deleteInstance(in);
}

TEST(PlugInObjectModelTest, WithoutTheHostObjectInterfaceNothingIsSentAndAllSucceeds) {
  simhost::HostOptions options;
  options.objectInterface = false;
  ProbeHost host(options);
  uintptr_t process = 0;
  ASSERT_EQ(host->callWith(kGroup_NewProcess, 0, 1, &process), 0);
  SFicPlugInId id{1, 2, 3, 0, 0};
  EXPECT_EQ(host->callWith(kProcess_CreateHostPlugIn, process, &id), 0);
  auto* p = dynamic_cast<CEffectProcessRTAS*>(CProcess::FromHostReference(process));
  ASSERT_NE(p->GetHostPlugIn(), nullptr);
  EXPECT_EQ(p->GetHostPlugIn()->GetNumInputs(), 2);
  EXPECT_EQ(host->objects().registeredCount(), 0);
  EXPECT_TRUE(host->objects().messages().empty());
  // The failed request is remembered: selector 18 was asked once only.
  EXPECT_EQ(p->GetHostPlugIn()->Publish(), 0);
  auto selectors = host->callbackSelectors();
  EXPECT_EQ(std::count(selectors.begin(), selectors.end(), kHostCallback_GetObjectInterface), 1);
  // The plug-in object's defaults need the engine's structure, which there is not.
  EXPECT_THROW(p->GetHostPlugIn()->GetInput(9), int16_t);
  EXPECT_EQ(host->callWith(kGroup_DeleteProcess, 0, process), 0);
}

TEST(PlugInObjectModelTest, DataBlockFieldsAndEmptyBlocks) {
  SetHostCallback(nullptr);
  S_RTASP_CustomDataAdmin empty;
  try {
    empty.GetUnsigned(0);
    FAIL();
  } catch (int16_t code) {
    EXPECT_EQ(code, -9060);
  }
  S_RTASP_CustomDataAdmin block;
  CUnsignedField a, b;
  EXPECT_EQ(b.GetOffset(), static_cast<int32_t>(sizeof(uintptr_t)));
  a.Set(~uintptr_t(0));
  b.Set(42);
  EXPECT_EQ(a.Get(), ~uintptr_t(0));
  EXPECT_EQ(b.Get(), 42u);
  EXPECT_EQ(block.GetSize(), static_cast<int32_t>(2 * sizeof(uintptr_t)));
  int32_t offset = block.DeclareDouble();
  block.SetDouble(offset, 2.5);
  EXPECT_EQ(block.GetDouble(offset), 2.5);
  // 8-bit fields are not stored.
  int32_t byte = block.Declare8Bit();
  block.Set8Bit(byte, 7);
  EXPECT_EQ(block.Get8Bit(byte), 0);
}

TEST(PlugInObjectModelTest, BaseSetKeepsOrderAndUniqueness) {
  int x, y, z;
  CBaseSet s, t;
  EXPECT_TRUE(s.AddMember(&x));
  EXPECT_FALSE(s.AddMember(&x));
  EXPECT_FALSE(s.AddMember(nullptr));
  s.AddMember(&y);
  t.AddMember(&z);
  t.AddMember(&x);
  s.UnionWith(t);
  ASSERT_EQ(s.GetNumMembers(), 3);
  EXPECT_EQ(s.GetMemberN(1), &x);
  EXPECT_EQ(s.GetMemberN(3), &z);
  EXPECT_EQ(s.GetMemberN(0), nullptr);
  EXPECT_EQ(s.GetMemberN(4), nullptr);
  EXPECT_TRUE(s.RemoveMember(&y));
  EXPECT_FALSE(s.RemoveMember(&y));
  EXPECT_EQ(s.GetMemberN(2), &z);
}

TEST(PlugInObjectModelTest, TheWorkerPointsTheOutputsAtSilenceForAProcessTheRealTimeThreadDoesNotRender) {
  CProcess plain; // a process of no real-time kind
  alignas(16) float out0[32] = {}, out1[32] = {};
  const uintptr_t inputSlots[2] = {0, 0};
  const uintptr_t outputSlots[2] = {reinterpret_cast<uintptr_t>(out0), reinterpret_cast<uintptr_t>(out1)};
  const uintptr_t data[eRTASInstance_NumFields] = {plain.GetHostReference(),
                                                   reinterpret_cast<uintptr_t>(inputSlots),
                                                   reinterpret_cast<uintptr_t>(outputSlots), 2, 2, 0, 0};
  alignas(16) const float silence[32] = {};
  const float* results[2] = {out0, out1};
  SRTASRenderCall call{data, 32, silence, results};
  CEffectProcessRTAS::RenderAudioWorker(&call);
  EXPECT_EQ(results[0], silence);
  EXPECT_EQ(results[1], silence);
}
