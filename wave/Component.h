#pragma once

// The two small roles every node of the signal graph is built from.

namespace wave {

class Environment;
class Producer;

// Anything that belongs to an environment.
class Component {
public:
  explicit Component(Environment* env) : env(env) {}

  Environment* env;
};

// Anything that reads one producer. The producer is not owned.
class Consumer {
public:
  void setInput(Producer* p) { input = p; }

  Producer* input = nullptr;
};

} // namespace wave
