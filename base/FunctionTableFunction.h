#pragma once

// Any curve y = f(x) of one real variable, as the function tables sample it.

class FunctionTableFunction {
public:
  virtual double operator()(double x) const = 0;

protected:
  // Curves are held by value or by reference, never deleted through this
  // class.
  ~FunctionTableFunction() = default;
};
