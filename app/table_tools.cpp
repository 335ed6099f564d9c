// The table tools: autosize, duplicate check, unit-name list, information counts
// and the unit row click.
#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "app/latin1.h"
#include "app/information_form.h"
#include "app/main_form.h"
#include "archive/ascii_case.h"
#include "definitions/row_table.h"

namespace {

// Unit table cells by column (column 0 is the caption).
constexpr int kUnitNameColumn = 1;
constexpr int kNameColumn = 2;
constexpr int kDescriptionColumn = 3;
constexpr int kSideColumn = 6;

// A cell, or "" when the row lacks it.
std::string CellOrEmpty(const RowTable& Table, int Row, int Column) {
  return std::string(Table.RowAt(Row).Cell(static_cast<size_t>(Column)));
}

}  // namespace

void TMainForm::AutosizeallColumnsClick() {
  AutosizeallColumns->setChecked(!AutosizeallColumns->isChecked());
  if (!AutosizeallColumns->isChecked()) return;
  RowTable* tables[] = {&State.UnitView, &State.WeaponView, &State.CorpseView, &State.DownloadView};
  for (RowTable* t : tables) t->BeginUpdate();
  for (RowTable* t : tables) t->FitShownColumnsToContents();
  for (RowTable* t : tables) t->EndUpdate();
}

void TMainForm::CheckfordoubleClick() {
  QWidget* page = MainPanelControl->currentWidget();
  RowTable* table = &State.UnitView;
  if (page == WeaponSheet)
    table = &State.WeaponView;
  else if (page == CorpseSheet)
    table = &State.CorpseView;
  else if (page == DownloadSheet)
    table = &State.DownloadView;
  const int column = State.SortColumnOf(*table);

  int start = 0;
  if (table->SelectedCount() >= 1 && table->RowCount() >= 1) {
    start = table->SelectedIndex();
  } else if (table->RowCount() == 0) {
    return;
  } else {
    std::string caption = column < table->ColumnCount() ? table->ColumnCaption(column) : "";
    if (!State.dialogs.AskYesNo("Start searching from the top in column" + caption)) return;
    table->Select(0);
    start = 0;
  }

  for (int i = start; i + 1 < table->RowCount(); ++i) {
    if (CellOrEmpty(*table, i, column) == CellOrEmpty(*table, i + 1, column)) {
      table->Select(i);
      table->ScrollBy((i - table->TopIndex()) * table->RowHeight());
      return;
    }
  }
  State.dialogs.ShowMessage("Done Checking");
}

void TMainForm::UnitNameListClick() {
  EditMemo->clear();
  QStringList lines;
  const RowTable& units = State.UnitView;
  for (int r = 0; r < units.RowCount(); ++r)
    lines << Latin1("Weight " + CellOrEmpty(units, r, kUnitNameColumn) + " // " +
                    CellOrEmpty(units, r, kNameColumn) + " = " +
                    CellOrEmpty(units, r, kDescriptionColumn));
  if (!lines.isEmpty()) EditMemo->setPlainText(lines.join('\n'));

  // Made while a file is on the edit page: the page keeps the table page it
  // will return to, and the file's pending edit is dropped.
  if (MainPanelControl->currentWidget() != EditSheet)
    ReturnPage = MainPanelControl->currentWidget();
  EditEntry = nullptr;

  MainPanelControl->setTabVisible(MainPanelControl->indexOf(EditSheet), true);
  ShowTableTabs(false);
  EditMemo->setEnabled(true);
  EditSave->setText("Copy");
  MainPanelControl->setCurrentWidget(EditSheet);
}

void TMainForm::InformationClick() {
  int arm = 0;
  int core = 0;
  const RowTable& units = State.UnitView;
  for (int r = 0; r < units.RowCount(); ++r) {
    std::string side = LowerAscii(CellOrEmpty(units, r, kSideColumn));
    if (side.find("arm") != std::string::npos)
      ++arm;
    else if (side.find("core") != std::string::npos)
      ++core;
  }
  InformationForm->ShowCounts(arm, core, State.WeaponView.RowCount());
  InformationForm->show();
  setEnabled(false);
}

void TMainForm::UnitViewClick() {
  const RowTable& units = State.UnitView;
  if (units.SelectedCount() != 1) return;
  Panel1->setText(Latin1(CellOrEmpty(units, units.SelectedIndex(), kUnitNameColumn)));
}
