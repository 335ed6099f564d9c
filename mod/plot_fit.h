#pragma once
// The numbers behind a plot: a least-squares line through points, how well it
// fits (R²), and which points lie furthest above and below it, by the ratio
// of each point's value to the line's value at its X. On a logarithmic axis
// the line is fitted to the logarithms, so that it is straight as drawn.
#include <cstddef>
#include <span>
#include <vector>

struct LineFit {
  bool Valid = false;     // at least two points with different X
  bool LogX = false, LogY = false;  // the axes the line was fitted on
  double Slope = 0, Intercept = 0;  // in the fitted (possibly logarithmic) coordinates
  double RSquared = 0;    // 1 - residual / total sum of squares; NaN when every Y is the same
  size_t Points = 0;

  // The line's Y (as a value, not a logarithm) at value X; NaN where the
  // line has none (X <= 0 on a logarithmic X axis).
  double At(double X) const;
};

// Fits Y = Slope × X + Intercept by least squares, on log10 of X and Y
// where LogX / LogY say. Every value must be usable on its axis (greater
// than 0 on a logarithmic one); the caller leaves the others out.
LineFit FitLine(std::span<const double> X, std::span<const double> Y, bool LogX = false, bool LogY = false);

struct Outlier {
  size_t Point;  // index into the X and Y given
  double Ratio;  // Y ÷ the line's value at X
};

struct Outliers {
  std::vector<Outlier> Above;  // ratio above 1, largest first
  std::vector<Outlier> Below;  // ratio below 1, smallest first
};

// The Count points furthest above and below Fit, by ratio. A point where the
// line's value is 0 or less (or within rounding of 0) has no ratio and is in
// neither list; points on
// the line (within rounding) are in neither either. Equal ratios keep the
// points' order.
Outliers RankOutliers(std::span<const double> X, std::span<const double> Y, const LineFit& Fit,
                      size_t Count = 10);
