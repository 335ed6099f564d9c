#pragma once
// Balance figures: damage per second, cost ratios, range and builder, worked
// out per definition from the definitions loaded. Names (weapons, units) are
// matched ignoring letter case, as the game matches them, and a name stands
// for its first definition in load order.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "definitions/table_state.h"

// One figure of one definition, worked out in full: a figure that cannot be
// worked out has no value and an empty Text; its Tooltip says why.
struct Figure {
  std::string Text;             // the cell: a number (FormatFigure) or a unit name
  std::string Tooltip;          // the formula with its numbers, or why there is none
  std::optional<double> Value;  // for the numeric figures
};

// The figures of a weapon, in column order.
enum WeaponFigure { wfDamagePerSalvo, wfDps, wfEnergyPerSecond, kWeaponFigureCount };
// The figures of a unit, in column order.
enum UnitFigure { ufDps, ufDpsPer100Metal, ufHitPointsPer100Metal, ufRange, ufBuiltBy, ufBuildSeconds, kUnitFigureCount };

// The column captions of the figures. Each holds a blank, which no key of a
// table can hold (a table line loses its blanks before its "="), and says
// that the column is computed, also in a spreadsheet that shows no styling.
extern const std::array<const char*, kWeaponFigureCount> WeaponFigureCaptions;
extern const std::array<const char*, kUnitFigureCount> UnitFigureCaptions;
// Whether Caption is the caption of a figure of any table, ignoring case.
bool IsFigureCaption(std::string_view Caption);

// The figures of one definition: a unit (kUnitFigureCount of them), a weapon
// (kWeaponFigureCount) or none.
struct FigureRef {
  enum Kinds : uint8_t { kNone, kUnit, kWeapon };
  Kinds Kind = kNone;
  int Index = -1;
  explicit operator bool() const { return Kind != kNone; }
  size_t Count() const { return Kind == kUnit ? kUnitFigureCount : Kind == kWeapon ? kWeaponFigureCount : 0; }
};

// Every figure of the units and weapons loaded when it was worked out. Only
// the numbers are kept, with the keys they came from; a figure's tooltip is
// written when it is asked for, from those keys.
class BalanceFigures {
 public:
  BalanceFigures();
  ~BalanceFigures();
  BalanceFigures(BalanceFigures&&) noexcept;
  BalanceFigures& operator=(BalanceFigures&&) noexcept;

  // The figures of the unit of Entry; none when Entry is no unit computed here.
  FigureRef UnitOf(const UnPacked* Entry) const;
  // The figures of the weapon in section Section of Entry (ignoring case);
  // none when there is none.
  FigureRef WeaponOf(const UnPacked* Entry, std::string_view Section) const;

  // Figure K of Of: its number (none for a figure that cannot be worked out,
  // and for Built by), its cell text, and the whole figure with its tooltip.
  std::optional<double> Value(FigureRef Of, size_t K) const;
  std::string Text(FigureRef Of, size_t K) const;
  Figure Worked(FigureRef Of, size_t K) const;

  size_t UnitCount() const;
  size_t WeaponCount() const;

  struct Data;

 private:
  friend BalanceFigures ComputeBalanceFigures(const TableState&);
  std::unique_ptr<Data> D_;
};

// Every figure of every unit and weapon loaded, with the build menus loaded.
// A definition is loaded when the table has a row of it; definitions are
// taken in load order (the lists' order). The keys come from the rows, which
// hold each key's value as the definition has it; a weapon file with a key
// written after a nested section (after [DAMAGE], which its row does not
// reach) or with one weapon name twice is read itself.
BalanceFigures ComputeBalanceFigures(const TableState& State);
