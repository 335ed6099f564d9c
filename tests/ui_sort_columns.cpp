// Header clicks sort a table ascending by the clicked column: whole numbers by
// value (decimal, '$' hex, leading blanks), other text ignoring case; the sort
// column is kept across new rows, closes and hidden columns.
#include <QHeaderView>
#include <QSignalSpy>
#include <QTabWidget>

#include "ui_main_fixture.h"

using namespace uitest;

namespace {

// An archive of units whose BuildCostEnergy, Side and Name columns hold the
// given values (one unit each, numbered in the given order).
std::string UnitsArchive(Fixture& F, const std::string& Name, const Strings& Energy, const Strings& Side = {}) {
  ArchiveFiles files;
  for (size_t i = 0; i < Energy.size(); ++i) {
    std::map<std::string, std::string> extra{{"BuildCostEnergy", Energy[i]}};
    if (i < Side.size()) extra["Side"] = Side[i];
    files["units\\" + Name + std::to_string(i) + ".fbi"] = Unit(std::to_string(100 + i), Name + std::to_string(i), extra);
  }
  return F.Archive(Name + ".hpi", files);
}

}  // namespace

class SortTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("TA_DIR"); }

  void numbersHexBlanksAndText() {
    // Opens the values as one column of a fresh program, clicks its header and
    // returns the column top to bottom.
    auto sorted = [](const Strings& Values) {
      Fixture f;
      f.Open({UnitsArchive(f, "n", Values)});
      RowTable& t = f.S().UnitView;
      const int energy = Fixture::ColumnOf(t, "BuildCostEnergy");
      QSignalSpy resets(f.M().UnitView->model(), &QAbstractItemModel::modelReset);
      f.M().UnitViewColumnClick(energy);
      if (f.S().UnitSortColumn != energy || resets.count() != 1) return Strings{"sort state or view not updated"};
      // The model shows the core's order.
      QAbstractItemModel* model = f.M().UnitView->model();
      Strings shown;
      for (int i = 0; i < t.RowCount(); ++i) shown.push_back(model->data(model->index(i, energy)).toString().toStdString());
      if (shown != Fixture::ColumnCells(t, energy)) return Strings{"view differs from table"};
      // Clicking the same header again sorts ascending again: no flip.
      f.M().UnitViewColumnClick(energy);
      if (Fixture::ColumnCells(t, energy) != shown) return Strings{"second click changed the order"};
      return shown;
    };
    // Whole numbers by value; the row builder keeps the blank after '=', so
    // " 120" comes from "= 120" and still counts as 120.
    QCOMPARE(sorted({"100", "9", "10", "-5", "3", "$10", "15", "17", " 120", "1000", "  42", "2147483647",
                     "-2147483648", "+7", "$FFFFFFFF"}),
             (Strings{"-2147483648", "-5", "$FFFFFFFF", "3", "+7", "9", "10", "15", "$10", "17", "  42", "100",
                      " 120", "1000", "2147483647"}));
    // A number and a non-number compare as text.
    QCOMPARE(sorted({"3", "2147483648"}), (Strings{"2147483648", "3"}));
    QCOMPARE(sorted({"5", "42 "}), (Strings{"42 ", "5"}));
    QCOMPARE(sorted({"9a", "10"}), (Strings{"10", "9a"}));
    QCOMPARE(sorted({"1.5", "-"}), (Strings{"-", "1.5"}));
    QCOMPARE(sorted({"abc", ""}), (Strings{"", "abc"}));
  }

  void textIgnoresCaseAndHeaderClicksWork() {
    Fixture f;
    TMainForm& m = f.M();
    f.Open({UnitsArchive(f, "t", {"1", "2", "3", "4"}, {"core", "ARM", "a_", "ab"})});
    RowTable& t = f.S().UnitView;
    const int side = Fixture::ColumnOf(t, "Side");
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    QHeaderView* h = m.UnitView->header();
    h->setOffsetToSectionPosition(side);
    const int x = h->sectionViewportPosition(side) + h->sectionSize(side) / 2;
    QVERIFY(x > 0 && x < h->viewport()->width());
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
    QCOMPARE(f.S().UnitSortColumn, side);
    QCOMPARE(Fixture::ColumnCells(t, side), (Strings{"ab", "ARM", "a_", "core"}));  // B=66 < R=82 < _=95

    // Every table sorts by its own column and keeps its own state.
    f.Open({f.Archive("w.hpi", {{"weapons\\w.tdf", Weapons({"30", "4", "200"})}})});
    RowTable& w = f.S().WeaponView;
    QCOMPARE(Fixture::Captions(w), (Strings{"4", "30", "200"}));
    m.WeaponViewColumnClick(Fixture::ColumnOf(w, "Name"));
    QCOMPARE(Fixture::ColumnCells(w, Fixture::ColumnOf(w, "Name")), (Strings{"Gun 200", "Gun 30", "Gun 4"}));
    QCOMPARE(f.S().UnitSortColumn, side);
    m.WeaponViewColumnClick(0);
    QCOMPARE(f.S().WeaponSortColumn, 0);
    QCOMPARE(Fixture::Captions(w), (Strings{"4", "30", "200"}));
    QVERIFY(f.D.Messages.empty());
  }

  void sortColumnKeptAcrossLoadsClosesAndHiding() {
    Fixture f;
    TMainForm& m = f.M();
    AppState& s = f.S();
    f.Open({UnitsArchive(f, "a", {"50", "7"})});
    RowTable& t = s.UnitView;
    const int energy = Fixture::ColumnOf(t, "BuildCostEnergy");
    m.UnitViewColumnClick(energy);
    QCOMPARE(Fixture::ColumnCells(t, energy), (Strings{"7", "50"}));

    // The selection stays on its row when the order changes.
    t.Select(1);  // "50"
    f.Open({UnitsArchive(f, "b", {"20", "600"})});
    QCOMPARE(Fixture::ColumnCells(t, energy), (Strings{"7", "20", "50", "600"}));
    QCOMPARE(t.SelectedIndex(), 2);
    QCOMPARE(m.UnitView->selectionModel()->selectedRows().value(0).row(), 2);

    // Hidden sort column: still the sort column.
    t.SetColumnWidth(energy, 0);
    QVERIFY(m.UnitView->header()->isSectionHidden(energy));
    m.CloseAll1Click();
    QCOMPARE(s.UnitSortColumn, energy);
    f.Open({UnitsArchive(f, "c", {"900", "8", "80"})});
    QCOMPARE(Fixture::ColumnCells(t, energy), (Strings{"8", "80", "900"}));
    QCOMPARE(t.ColumnWidth(energy), 0);  // refitting leaves hidden columns hidden
    QVERIFY(m.UnitView->header()->isSectionHidden(energy));

    // Empty table and a single row: nothing to do, nothing shown.
    m.WeaponViewColumnClick(3);
    QCOMPARE(s.WeaponSortColumn, 3);
    QVERIFY(f.D.Messages.empty());
  }

  void columnIndexByCaption() {
    Fixture f;
    const RowTable& t = f.S().UnitView;
    QCOMPARE(TMainForm::ColumnIndexByCaption(t, "UnitNumber"), 0);
    QCOMPARE(TMainForm::ColumnIndexByCaption(t, "TransMaxUnits") + 1,
             TMainForm::ColumnIndexByCaption(t, "Transportmaxunits"));
    QCOMPARE(TMainForm::ColumnIndexByCaption(t, "PFileSize"), 103);
    QCOMPARE(TMainForm::ColumnIndexByCaption(t, "pfilesize"), 0);  // exact case only
    for (int c = 0; c < t.ColumnCount(); ++c) QCOMPARE(TMainForm::ColumnIndexByCaption(t, t.ColumnCaption(c)), c);
  }
};

QTEST_MAIN(SortTest)
#include "ui_sort_columns.moc"
