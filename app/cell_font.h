#pragma once
// Measuring and drawing tables of a cell font: the advance of each Latin-1
// byte, the glyph of each printable ASCII byte and the kerning of their pairs.
// Making them takes a few thousand font look-ups, so every view showing cells
// in one font at one resolution shares a set, made when first needed and kept
// for the program's run.
#include <QFont>
#include <QRawFont>
#include <array>
#include <vector>

struct CellFontTables {
  std::array<int, 256> Advance{};  // per byte, in 1/64 pixel
  int MaxAdvance = 0;              // the widest of them
  qreal Ascent = 0, Descent = 0;
  // The glyph tables, made by the first view to draw glyphs (see CellGlyphs).
  bool GlyphsReady = false;
  std::array<quint32, 256> Glyph{};
  std::array<qreal, 256> GlyphAdvance{};
  std::vector<float> Kern;  // pair adjustments of printable ASCII, worked out when first met
};

// The shared tables of Font as a widget of logical resolution Dpi has it
// (the advance tables made, the glyph tables not yet).
CellFontTables& CellFontTablesOf(const QFont& Font, int Dpi);

// Makes the glyph tables of T from Raw, the raw font of Font, unless made.
void MakeCellGlyphs(CellFontTables& T, const QFont& Font, const QRawFont& Raw);

// The kerning between printable ASCII bytes A and B in Font, from T's table
// or measured and kept there.
float CellKerning(CellFontTables& T, const QFont& Font, unsigned char A, unsigned char B);
