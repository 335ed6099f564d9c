// Header clicks sort ascending by the clicked column: whole numbers by value,
// other text ignoring case; the sort column is kept across loads, closes and
// hidden columns.
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>

#include "ui_main_fixture.h"
#include "ui_save_support.h"

using namespace uitest;
using testsupport::PackArchive;

namespace {

// Scripted dialogs that, whenever a message box is shown (its event loop
// repaints the views), read every cell of the unit table, directly and
// through the view's model.
class CellReadingDialogs : public ScriptedDialogs {
 public:
  Program* P = nullptr;
  size_t CellsRead = 0;

  void ShowMessage(const std::string& Text) override {
    ScriptedDialogs::ShowMessage(Text);
    const RowTable& t = P->State->UnitView;
    for (int i = 0; i < t.RowCount(); ++i)
      for (int c = 0; c < t.ColumnCount(); ++c) CellsRead += t.CellView(i, c).size() > 0;
    QAbstractItemModel* model = P->MainForm->UnitView->model();
    for (int i = 0; i < model->rowCount(); ++i)
      for (int c = 0; c < model->columnCount(); ++c) CellsRead += !model->data(model->index(i, c)).toString().isEmpty();
  }
};

std::string UnitsArchive(Fixture& F, const std::string& Name, const Strings& Energy) {
  ArchiveFiles files;
  for (size_t i = 0; i < Energy.size(); ++i)
    files["units\\" + Name + std::to_string(i) + ".fbi"] = Unit(std::to_string(100 + i), {{"BuildCostEnergy", Energy[i]}});
  return F.Archive(Name + ".hpi", files);
}

}  // namespace

class SortTest : public QObject {
  Q_OBJECT

 private slots:
  void ordersOfValuesAndText() {
    // Opens Values as one column, clicks its header three times (ascending,
    // descending, ascending again), and returns the column as the view shows it.
    auto sorted = [](const Strings& Values) {
      Fixture f;
      f.Open({UnitsArchive(f, "n", Values)});
      const int col = Fixture::ColumnOf(f.S().UnitView, "BuildCostEnergy");
      // A reorder of the same rows is no model reset: the header keeps its sections.
      QSignalSpy resets(f.M().UnitView->model(), &QAbstractItemModel::modelReset);
      f.M().UnitViewColumnClick(col);
      f.M().UnitViewColumnClick(col);
      f.M().UnitViewColumnClick(col);
      QAbstractItemModel* model = f.M().UnitView->model();
      Strings shown;
      for (int i = 0; i < model->rowCount(); ++i) shown.push_back(model->data(model->index(i, col)).toString().toStdString());
      if (f.S().UnitSortColumn != col || resets.count() != 0 || !f.D.Messages.empty()) shown.push_back("<state>");
      return shown;
    };
    // The row builder keeps the blank after '=': "= 120" gives " 120", still 120.
    QCOMPARE(sorted({"100", "9", "10", "-5", "3", "$10", "15", "17", " 120", "1000", "  42", "2147483647", "-2147483648", "+7", "$FFFFFFFF"}),
             (Strings{"-2147483648", "-5", "$FFFFFFFF", "3", "+7", "9", "10", "15", "$10", "17", "  42", "100", " 120", "1000", "2147483647"}));
    // A number against a non-number compares as text.
    QCOMPARE(sorted({"3", "2147483648"}), (Strings{"2147483648", "3"}));
    QCOMPARE(sorted({"5", "42 "}), (Strings{"42 ", "5"}));
    QCOMPARE(sorted({"9a", "10"}), (Strings{"10", "9a"}));
    QCOMPARE(sorted({"abc", ""}), (Strings{"", "abc"}));
    QCOMPARE(sorted({"core", "a_", "ARM", "ab"}), (Strings{"ab", "ARM", "a_", "core"}));  // B=66 < R=82 < _=95
  }

  // Two cells longer than the comparison takes: every comparison with one of
  // them shows "Exception in Function ItempCompare", and meanwhile the table
  // stays whole, through a header click and through the sort after a load.
  void tableStaysWholeWhileTheSortShowsMessages() {
    CellReadingDialogs dialogs;
    std::unique_ptr<Program> p = StartUp(&dialogs);
    dialogs.P = p.get();
    QTemporaryDir dir;
    const std::string longA(70000, 'a'), longB(66000, 'B');
    ArchiveFiles files;
    for (int i = 0; i < 40; ++i)
      files["units\\U" + std::to_string(i) + ".FBI"] = Unit(std::to_string(i), {{"Description", std::string(1, char('a' + i % 26))}});
    files["units\\LONGA.FBI"] = Unit("100", {{"Description", longA}});
    files["units\\LONGB.FBI"] = Unit("101", {{"Description", longB}});
    const std::string archive = dir.filePath("long.hpi").toStdString();
    QVERIFY(PackArchive(archive, files, 0));
    RowTable& t = p->State->UnitView;
    const int col = Fixture::ColumnOf(t, "Description");
    p->MainForm->resize(900, 500);
    p->MainForm->show();

    p->MainForm->UnitViewColumnClick(col);  // an empty table: nothing compared
    QVERIFY(dialogs.Messages.empty());
    dialogs.FileChoices = {{archive}};
    p->MainForm->Open1Click();  // the row builder sorts by the description
    QCOMPARE(t.RowCount(), 42);
    const size_t afterLoad = dialogs.Messages.size();
    QVERIFY(afterLoad >= 1);
    p->MainForm->UnitViewColumnClick(Fixture::ColumnOf(t, "UnitNumber"));  // short cells: no message
    QCOMPARE(dialogs.Messages.size(), afterLoad);
    p->MainForm->UnitViewColumnClick(col);
    QVERIFY(dialogs.Messages.size() > afterLoad);
    for (const std::string& m : dialogs.Messages) QCOMPARE(m, std::string("Exception in Function ItempCompare"));
    // Every read saw whole rows: 42 captions and descriptions at least, twice.
    QVERIFY(dialogs.CellsRead >= dialogs.Messages.size() * 2 * 84);
    // Every row is still there once.
    Strings numbers = Fixture::Column(t, Fixture::ColumnOf(t, "UnitNumber"));
    std::sort(numbers.begin(), numbers.end());
    Strings expected;
    for (int i = 0; i < 40; ++i) expected.push_back(std::to_string(i));
    expected.push_back("100");
    expected.push_back("101");
    std::sort(expected.begin(), expected.end());
    QCOMPARE(numbers, expected);
  }

  void headerClickAndKeptSortColumn() {
    Fixture f;
    TMainForm& m = f.M();
    RowTable& t = f.S().UnitView;
    f.Open({UnitsArchive(f, "a", {"50", "7"})});
    const int col = Fixture::ColumnOf(t, "BuildCostEnergy");
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    QHeaderView* h = m.UnitView->header();
    h->setOffsetToSectionPosition(col);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, 5));
    QCOMPARE(f.S().UnitSortColumn, col);
    QCOMPARE(Fixture::Column(t, col), (Strings{"7", "50"}));
    t.Select(1);  // "50": the selection moves with its row
    f.Open({UnitsArchive(f, "b", {"20", "600"})});
    QCOMPARE(Fixture::Column(t, col), (Strings{"7", "20", "50", "600"}));
    QCOMPARE(m.UnitView->selectionModel()->selectedRows().value(0).row(), 2);
    t.SetColumnWidth(col, 0);  // hidden, closed, reopened: still the sort column
    m.CloseAll1Click();
    f.Open({UnitsArchive(f, "c", {"900", "8", "80"})});
    QCOMPARE(Fixture::Column(t, col), (Strings{"8", "80", "900"}));
    QVERIFY(t.ColumnWidth(col) == 0 && h->isSectionHidden(col));
    QCOMPARE(f.S().WeaponSortColumn, 0);  // each table has its own
    f.Open({f.Archive("w.hpi", {{"weapons\\w.tdf", Sections("ID", {"30", "4", "200"})}})});
    m.WeaponViewColumnClick(Fixture::ColumnOf(f.S().WeaponView, "Name"));
    QCOMPARE(Fixture::Column(f.S().WeaponView), (Strings{"200", "30", "4"}));
    QCOMPARE(TMainForm::ColumnIndexByCaption(t, "pfilesize"), 0);  // captions compare exactly
    QCOMPARE(TMainForm::ColumnIndexByCaption(t, "PFileSize"), 103);
  }
};

QTEST_MAIN(SortTest)
#include "ui_sort_columns.moc"
