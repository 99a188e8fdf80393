#pragma once

// A cubic Bezier curve through four control points P0..P3, used as a function
// y = f(x) and as its inverse x = g(y). Inside the span of the curve a value
// is found by bisection on the curve parameter; outside it the curve goes on
// along the straight line through an end point and its neighbouring control
// point. Coordinates are numbered 0 = x and 1 = y.
//
// The curve is meant to be sampled into function tables or evaluated at
// control rate: each evaluation inside the span costs about
// log2(range / precision) bisection steps.

#include "base/FunctionTableFunction.h"

class Spline : public FunctionTableFunction {
public:
  // A straight line through (x0, y0) and (x1, y1), read in both directions:
  // input 0 gives y for x, input 1 gives x for y. Along a direction in which
  // the two points do not differ (to single precision), the line is
  // undefined and gives the first point's coordinate.
  class Extrapolator {
  public:
    Extrapolator() { initialize(0.0, 0.0, 1.0, 1.0); }
    Extrapolator(double x0, double y0, double x1, double y1) { initialize(x0, y0, x1, y1); }
    void initialize(double x0, double y0, double x1, double y1);
    double transform(double v, int in) const;

  private:
    bool defined[2];
    double slope[2];
    double offset[2];
    double constant[2];
  };

  // The straight line from (0, 0) to (1, 1), with precision 0.0001.
  Spline();
  // precision: the tolerance of the inverse search in the output coordinate;
  // must be positive (0.0001 is usual).
  Spline(double x0, double y0, double x1, double y1, double x2, double y2, double x3, double y3,
         double precision);
  void initialize(double x0, double y0, double x1, double y1, double x2, double y2, double x3, double y3,
                  double precision);

  // The cubic of one coordinate at parameter t (not clamped to [0, 1]).
  double getX(double t) const { return getCoordinate(t, 0); }
  double getY(double t) const { return getCoordinate(t, 1); }
  double getCoordinate(double t, int coordinate) const {
    return ((a[coordinate] * t + b[coordinate]) * t + c[coordinate]) * t + d[coordinate];
  }

  // Coordinate out of the point of the curve whose coordinate in is v.
  double transform(double v, int in, int out) const;
  // y for x.
  double operator()(double x) const override { return transform(x, 0, 1); }
  // x for y.
  double getInverse(double y) const { return transform(y, 1, 0); }

private:
  // Power-basis coefficients: the curve is a t^3 + b t^2 + c t + d.
  double a[2], b[2], c[2], d[2];
  double p[4][2]; // control points
  double precision;
  Extrapolator startExtrapolator; // through P0 and P1
  Extrapolator endExtrapolator;   // through P3 and P2
};
