#pragma once
// Balance figures: damage per second, cost ratios, range and builder, worked
// out per definition from the definitions loaded. Names (weapons, units) are
// matched ignoring letter case, as the game matches them, and a name stands
// for its first definition in load order.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "definitions/table_state.h"

// One figure of one definition. A figure that cannot be worked out has no
// value and an empty Text; its Tooltip says why.
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

using WeaponFigures = std::array<Figure, kWeaponFigureCount>;
using UnitFigures = std::array<Figure, kUnitFigureCount>;

class BalanceFigures {
 public:
  // The figures of the unit of Entry; null when Entry is no unit computed here.
  const UnitFigures* UnitOf(const UnPacked* Entry) const;
  // The figures of the weapon in section Section of Entry (ignoring case);
  // null when there is none.
  const WeaponFigures* WeaponOf(const UnPacked* Entry, std::string_view Section) const;

  size_t UnitCount() const { return Units_.size(); }
  size_t WeaponCount() const { return WeaponCount_; }

 private:
  friend BalanceFigures ComputeBalanceFigures(const TableState&);
  std::unordered_map<const UnPacked*, UnitFigures> Units_;
  // Per file: its weapons' folded section names and figures, in file order.
  std::unordered_map<const UnPacked*, std::vector<std::pair<std::string, WeaponFigures>>> Weapons_;
  size_t WeaponCount_ = 0;
};

// Every figure of every unit and weapon loaded, with the build menus loaded.
// A definition is loaded when the table has a row of it; definitions are
// taken in load order (the lists' order). The keys come from the rows, which
// hold each key's value as the definition has it; a weapon file with a key
// written after a nested section (after [DAMAGE], which its row does not
// reach) or with one weapon name twice is read itself.
BalanceFigures ComputeBalanceFigures(const TableState& State);
