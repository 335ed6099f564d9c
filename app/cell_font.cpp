#include "app/cell_font.h"

#include <QFontMetricsF>
#include <QString>
#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <utility>

CellFontTables& CellFontTablesOf(const QFont& Font, int Dpi) {
  // A handful of fonts at most in a run; a deque keeps the tables' addresses.
  static std::deque<std::pair<std::pair<QFont, int>, CellFontTables>> made;
  for (auto& [key, tables] : made)
    if (key.second == Dpi && key.first == Font) return tables;
  CellFontTables& t = made.emplace_back(std::make_pair(Font, Dpi), CellFontTables{}).second;
  const QFontMetricsF fm(Font);
  for (int b = 0; b < 256; ++b) t.Advance[b] = static_cast<int>(std::lround(fm.horizontalAdvance(QChar(b)) * 64.0));
  t.MaxAdvance = *std::max_element(t.Advance.begin(), t.Advance.end());
  t.Ascent = fm.ascent();
  t.Descent = fm.descent();
  return t;
}

void MakeCellGlyphs(CellFontTables& T, const QFont& Font, const QRawFont& Raw) {
  if (T.GlyphsReady) return;
  for (int b = 0x20; b <= 0x7e; ++b) {
    const QList<quint32> g = Raw.glyphIndexesForString(QString(QChar(b)));
    T.Glyph[b] = g.isEmpty() ? 0 : g.first();
  }
  const QFontMetricsF fm(Font);
  for (int b = 0x20; b <= 0x7e; ++b) T.GlyphAdvance[b] = fm.horizontalAdvance(QChar(b));
  T.Kern.assign(95 * 95, std::numeric_limits<float>::quiet_NaN());
  T.GlyphsReady = true;
}

float CellKerning(CellFontTables& T, const QFont& Font, unsigned char A, unsigned char B) {
  float& kern = T.Kern[static_cast<size_t>((A - 0x20) * 95 + (B - 0x20))];
  if (std::isnan(kern)) {
    const QChar pair[2] = {QChar(A), QChar(B)};
    kern = static_cast<float>(QFontMetricsF(Font).horizontalAdvance(QString(pair, 2)) - T.GlyphAdvance[A] -
                              T.GlyphAdvance[B]);
  }
  return kern;
}
