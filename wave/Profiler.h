#pragma once

// An optional observer of the producers derived from Source: told before and
// after each of their doProduce calls. Nothing is registered by default.

namespace wave {

class Producer;

class Profiler {
public:
  virtual ~Profiler() = default;
  virtual void beginProduce() = 0;
  virtual void endProduce(Producer* producer) = 0;
};

// One process-wide profiler, null at start; null unregisters.
void registerWaveProfiler(Profiler* profiler);
Profiler* getWaveProfiler();

} // namespace wave
