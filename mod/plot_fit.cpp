#include "mod/plot_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

double Scaled(double V, bool Log) { return Log ? std::log10(V) : V; }

}  // namespace

double LineFit::At(double X) const {
  if (!Valid || (LogX && !(X > 0))) return std::numeric_limits<double>::quiet_NaN();
  const double y = Slope * Scaled(X, LogX) + Intercept;
  return LogY ? std::pow(10.0, y) : y;
}

LineFit FitLine(std::span<const double> X, std::span<const double> Y, bool LogX, bool LogY) {
  LineFit fit;
  fit.LogX = LogX;
  fit.LogY = LogY;
  const size_t n = std::min(X.size(), Y.size());
  fit.Points = n;
  if (n < 2) return fit;
  // Means first, then sums of centred products: no cancellation between
  // large sums, whatever the size of the values.
  double mx = 0, my = 0;
  for (size_t i = 0; i < n; ++i) {
    mx += Scaled(X[i], LogX);
    my += Scaled(Y[i], LogY);
  }
  mx /= static_cast<double>(n);
  my /= static_cast<double>(n);
  double sxx = 0, sxy = 0, syy = 0;
  for (size_t i = 0; i < n; ++i) {
    const double dx = Scaled(X[i], LogX) - mx, dy = Scaled(Y[i], LogY) - my;
    sxx += dx * dx;
    sxy += dx * dy;
    syy += dy * dy;
  }
  if (!(sxx > 0) || !std::isfinite(sxx) || !std::isfinite(sxy)) return fit;  // every X the same
  fit.Valid = true;
  fit.Slope = sxy / sxx;
  fit.Intercept = my - fit.Slope * mx;
  if (syy > 0) {
    double residual = 0;
    for (size_t i = 0; i < n; ++i) {
      const double r = Scaled(Y[i], LogY) - (fit.Slope * Scaled(X[i], LogX) + fit.Intercept);
      residual += r * r;
    }
    fit.RSquared = std::clamp(1.0 - residual / syy, 0.0, 1.0);
  } else {
    fit.RSquared = std::numeric_limits<double>::quiet_NaN();
  }
  return fit;
}

Outliers RankOutliers(std::span<const double> X, std::span<const double> Y, const LineFit& Fit, size_t Count) {
  Outliers out;
  if (!Fit.Valid) return out;
  constexpr double kOnTheLine = 1e-9;  // relative rounding of the fit
  const size_t n = std::min(X.size(), Y.size());
  // A line value that is only the fit's rounding away from 0 (a line through
  // the origin, at X 0) is 0: a ratio to it would be noise.
  double scale = 0;
  for (size_t i = 0; i < n; ++i) scale = std::max(scale, std::abs(Y[i]));
  for (size_t i = 0; i < n; ++i) {
    const double line = Fit.At(X[i]);
    if (!(line > kOnTheLine * scale) || !std::isfinite(line)) continue;
    const double ratio = Y[i] / line;
    if (!std::isfinite(ratio) || std::abs(ratio - 1) <= kOnTheLine) continue;
    (ratio > 1 ? out.Above : out.Below).push_back({i, ratio});
  }
  auto keep = [Count](std::vector<Outlier>& List, auto Before) {
    std::stable_sort(List.begin(), List.end(), Before);
    if (List.size() > Count) List.resize(Count);
  };
  keep(out.Above, [](const Outlier& A, const Outlier& B) { return A.Ratio > B.Ratio; });
  keep(out.Below, [](const Outlier& A, const Outlier& B) { return A.Ratio < B.Ratio; });
  return out;
}
