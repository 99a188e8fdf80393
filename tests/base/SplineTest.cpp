#include "base/Spline.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double kPrecision = 0.0001;

// The parameter t at which coordinate `in` of the curve equals v, found
// independently of Spline::transform (the curve must be monotonic there).
double solveT(const Spline& s, double v, int in) {
  double lo = 0.0, hi = 1.0;
  const bool rising = s.getCoordinate(1.0, in) > s.getCoordinate(0.0, in);
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    if ((s.getCoordinate(mid, in) < v) == rising)
      lo = mid;
    else
      hi = mid;
  }
  return 0.5 * (lo + hi);
}

double sample(const FunctionTableFunction& f, double x) { return f(x); }

} // namespace

TEST(SplineTest, EndsOfUnitCurveMapToThemselvesWhateverTheInnerPoints) {
  const double inner[][4] = {{0.2, 0.0, 0.8, 1.0}, {0.19, 0.96, 0.5, 0.99}, {0.9, 0.1, 0.1, 0.9}, {0.0, 0.5, 1.0, 0.5}};
  for (const auto& q : inner) {
    Spline s(0, 0, q[0], q[1], q[2], q[3], 1, 1, kPrecision);
    EXPECT_NEAR(0.0, s(0.0), 1e-12);
    EXPECT_NEAR(1.0, s(1.0), 1e-12);
    EXPECT_NEAR(0.0, s.getInverse(0.0), 1e-12);
    EXPECT_NEAR(1.0, s.getInverse(1.0), 1e-12);
  }
}

TEST(SplineTest, CoefficientsReproduceTheBezierCurve) {
  Spline s(0.1, 0.2, 0.3, 0.9, 0.7, -0.4, 1.2, 0.6, kPrecision);
  for (double t = -0.5; t <= 1.5; t += 0.125) {
    const double u = 1.0 - t;
    const double x = u * u * u * 0.1 + 3 * u * u * t * 0.3 + 3 * u * t * t * 0.7 + t * t * t * 1.2;
    const double y = u * u * u * 0.2 + 3 * u * u * t * 0.9 + 3 * u * t * t * -0.4 + t * t * t * 0.6;
    EXPECT_NEAR(x, s.getX(t), 1e-12) << t;
    EXPECT_NEAR(y, s.getCoordinate(t, 1), 1e-12) << t;
  }
}

TEST(SplineTest, InsideTheSpanFollowsTheCurveWithinThePrecision) {
  Spline s(0, 0, 0.1, 0.6, 0.5, 0.95, 1, 1, kPrecision);
  for (double x = 0.01; x < 1.0; x += 0.0625) {
    const double exact = s.getY(solveT(s, x, 0));
    EXPECT_NEAR(exact, s(x), kPrecision) << x;
    EXPECT_NEAR(exact, sample(s, x), kPrecision) << x;
  }
}

TEST(SplineTest, InverseUndoesTheFunction) {
  Spline s(0, 0, 0.3, 0.05, 0.6, 0.8, 1, 1, kPrecision);
  for (double x = 0.02; x < 1.0; x += 0.07) {
    const double y = s(x);
    // Each direction is good to the precision in its own output.
    EXPECT_NEAR(x, s.getInverse(y), 3 * kPrecision) << x;
    EXPECT_NEAR(s.getX(solveT(s, y, 1)), s.getInverse(y), kPrecision) << x;
  }
}

TEST(SplineTest, FlatStartTangentExtendsFlat) {
  Spline s(0, 0, 0.2, 0, 0.8, 1, 1, 1, kPrecision);
  EXPECT_EQ(0.0, s(-0.001));
  EXPECT_EQ(0.0, s(-5.0));
  // Upwards the end tangent (1,1)-(0.8,1) is flat as well.
  EXPECT_EQ(1.0, s(3.0));
  // The inverse of a flat line is undefined; it gives the end point's x.
  EXPECT_EQ(0.0, s.getInverse(-2.0));
  EXPECT_EQ(1.0, s.getInverse(2.0));
}

TEST(SplineTest, SlopedStartTangentExtendsAlongIt) {
  Spline s(0, 0, 0.19, 0.96, 0.5, 1, 1, 1, kPrecision);
  EXPECT_NEAR(-0.96, s(-0.19), 1e-12);
  EXPECT_NEAR(-0.19, s.getInverse(-0.96), 1e-12);
}

TEST(SplineTest, VerticalStartTangentGivesStartValue) {
  Spline s(0, 0.3, 0, 0.9, 0.5, 1, 1, 1, kPrecision);
  EXPECT_EQ(0.3, s(-0.5));
  EXPECT_EQ(0.3, s(-1e6));
}

TEST(SplineTest, RightToLeftCurveSwapsTheExtrapolators) {
  // P0 on the right, P3 on the left.
  Spline s(1, 0, 0.8, 0.1, 0.2, 0.5, 0, 1, kPrecision);
  // Below P3.x: the line through P3 and P2, slope -2.5.
  EXPECT_NEAR(3.5, s(-1.0), 1e-12);
  // Above P0.x: the line through P0 and P1, slope -0.5.
  EXPECT_NEAR(-0.5, s(2.0), 1e-12);
  EXPECT_NEAR(0.0, s(1.0), 1e-12);
  EXPECT_NEAR(1.0, s(0.0), 1e-12);
  for (double x = 0.05; x < 1.0; x += 0.1) EXPECT_NEAR(s.getY(solveT(s, x, 0)), s(x), kPrecision) << x;
}

TEST(SplineTest, FlatOutputRangeReturnsTheMidpointAtOnce) {
  // P0.y and P3.y lie closer than the precision.
  Spline s(0, 0.5, 0.3, 0.9, 0.6, 0.1, 1, 0.50005, kPrecision);
  const double mid = s.getY(0.5);
  EXPECT_EQ(mid, s(0.1));
  EXPECT_EQ(mid, s(0.5));
  EXPECT_EQ(mid, s(0.9));
  EXPECT_EQ(0.5, s(0.0));
}

TEST(SplineTest, PrecisionOfZeroOrBelowStillEnds) {
  for (double precision : {0.0, -1.0, 1e-300}) {
    Spline s(0, 0, 0.1, 0.6, 0.5, 0.95, 1, 1, precision);
    for (double x = 0.05; x < 1.0; x += 0.1) EXPECT_NEAR(s.getY(solveT(s, x, 0)), s(x), 1e-9) << x;
  }
}

TEST(SplineTest, ReinitialiseReplacesEveryField) {
  Spline s;
  EXPECT_NEAR(0.25, s(0.25), kPrecision);
  EXPECT_NEAR(-2.0, s(-2.0), 1e-12);
  s.initialize(0, 0, 0.2, 0, 0.8, 1, 1, 1, kPrecision);
  EXPECT_EQ(0.0, s(-2.0));
}

TEST(SplineExtrapolatorTest, BothDirectionsOfOneLine) {
  Spline::Extrapolator line(1.0, 2.0, 3.0, 6.0);
  EXPECT_DOUBLE_EQ(10.0, line.transform(5.0, 0));
  EXPECT_DOUBLE_EQ(5.0, line.transform(10.0, 1));
  EXPECT_DOUBLE_EQ(0.0, line.transform(0.0, 1));
}

TEST(SplineExtrapolatorTest, PointsEqualInSinglePrecisionDefineNoLine) {
  // 1e8 + 4 rounds to 1e8 as a float, although the doubles differ by 4.
  Spline::Extrapolator vertical(1e8, 2.0, 1e8 + 4.0, 5.0);
  EXPECT_EQ(2.0, vertical.transform(0.0, 0));
  EXPECT_EQ(2.0, vertical.transform(7e8, 0));
  EXPECT_NEAR(1e8 + 4.0, vertical.transform(5.0, 1), 1e-6); // the other direction is a line

  // A difference of exactly one single-precision epsilon is not enough.
  Spline::Extrapolator tight(1.0, 2.0, 1.0 + 1e-7, 5.0);
  EXPECT_EQ(2.0, tight.transform(3.0, 0));
  // Two epsilons are.
  Spline::Extrapolator steep(1.0, 2.0, 1.0 + 2.5e-7, 5.0);
  EXPECT_NEAR(2.0 + 3.0 / 2.5e-7 * 1e-7, steep.transform(1.0 + 1e-7, 0), 1e-6);
}
