#include "plugin/GenericPlugin.h"

#include "wave/Input.h"
#include "wave/Producer.h"

GenericPlugin::Channel::Channel(GenericPlugin* owner) {
  owner->registerChannel(this);
  mInput = new wave::Input(owner->getEnvironment());
  mSideChainInput = new wave::Input(owner->getEnvironment());
}

GenericPlugin::Channel::~Channel() {
  delete mInput;
  delete mSideChainInput;
}

void GenericPlugin::Channel::parameterChange(int /*index*/) {}

void GenericPlugin::Channel::setInputBuffer(float* buffer, int count) { mInput->setInputBuffer(buffer, count); }

void GenericPlugin::Channel::setSideChainBuffer(float* buffer, int count) {
  mSideChainInput->setInputBuffer(buffer, count);
}

void GenericPlugin::Channel::setOutput(wave::Producer* producer) { mOutput.setInput(producer); }

const float* GenericPlugin::Channel::retrieveSamples(int n, int flags) {
  wave::Producer* producer = mOutput.input;
  if (!producer) return nullptr;
  wave::Block* block = producer->pull(n, flags);
  return block ? block->data : nullptr;
}
