#pragma once

// A node with several outputs rendered together. It is not a producer
// itself: consumers connect to its outputs, and pulling any one of them
// renders and stamps all of them.

#include "wave/Producer.h"

#include <cstddef>
#include <cstdint>

namespace wave {

// A fixed number of items, kept inside the owner up to four (a node's
// outputs are read every block: no separate allocation to chase).
template <class T>
class SmallList {
public:
  explicit SmallList(size_t count) : n(count), items(count <= cInline ? inlineItems : new T[count]()) {}
  ~SmallList() {
    if (items != inlineItems) delete[] items;
  }
  SmallList(const SmallList&) = delete;
  SmallList& operator=(const SmallList&) = delete;

  T& operator[](size_t i) { return items[i]; }
  const T& operator[](size_t i) const { return items[i]; }
  T* data() { return items; }
  size_t size() const { return n; }
  T* begin() { return items; }
  T* end() { return items + n; }

private:
  static constexpr size_t cInline = 4;
  size_t n;
  T* items;
  T inlineItems[cInline] = {};
};

class MultiProducer : public Component {
public:
  class Output : public Producer {
  public:
    // An output hands out one of the owner's blocks and has none of its
    // own, which would only take a page of memory per output.
    Output(Environment* env, MultiProducer* owner) : Producer(env, cNoOwnBlock), owner(owner) {}
    // Renders the owner (the block argument is not used).
    void produce(Block* block, int n, int flags) override;

    MultiProducer* owner;
  };

  MultiProducer(Environment* env, int count);
  virtual ~MultiProducer();

  MultiProducer(const MultiProducer&) = delete;
  MultiProducer& operator=(const MultiProducer&) = delete;

  // Writes the own blocks, or points entries of currentBlocks elsewhere
  // (for example at the environment's silentBlock).
  virtual void produce(Block* const* blocks, int n, int flags) = 0;
  // Zeroes every own block.
  virtual void reset();

  // Points every entry of currentBlocks at its own block, renders, then
  // hands each output its block and stamps it with the current block.
  void produceAll(int n, int flags);

  Output* getOutput(int i) const { return outputs[static_cast<size_t>(i)]; }

  int32_t count;
  SmallList<Block*> ownBlocks;
  SmallList<Output*> outputs;
  SmallList<Block*> currentBlocks;

private:
  // The first outputs and their blocks lie inside the node, beside the
  // lists that point at them: a pull reaches them without going to memory
  // of their own (most nodes are a left and right pair).
  static constexpr int cInlineOutputs = 2;
  void release(int i);
  alignas(Output) unsigned char outputSpace[cInlineOutputs][sizeof(Output)];
  alignas(Block) unsigned char blockSpace[cInlineOutputs][sizeof(Block)];
};

} // namespace wave
