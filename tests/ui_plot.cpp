// The Plot window over the program's unit and weapon tables: points linked to
// rows both ways (through a real click on a point, a hover and the table's
// selection), the outlier lists of a set with known residuals, logarithmic
// axes, the saved images, and the window as assistive technology reads it.
#include <QAccessible>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QListWidget>
#include <QLogValueAxis>
#include <QPushButton>
#include <QScatterSeries>
#include <QSvgRenderer>
#include <QValueAxis>
#include <QtTest>

#include "plot/plot_window.h"
#include "plot/point_layer.h"
#include "ui_main_fixture.h"

using namespace uitest;

namespace {

struct UnitValues {
  const char* Number;
  const char* Name;
  const char* Side;
  const char* Cost;    // BuildCostMetal
  const char* Damage;  // MaxDamage; "" for none
};

// Pairs at one cost, 2 × cost × (1 ± a), leave the least-squares line at
// MaxDamage = 2 × BuildCostMetal; ARMON, CORON and ARMFREE lie on it, and
// ARMNODMG has no MaxDamage.
const UnitValues kUnits[] = {
    {"1", "ARMHIGH1", "ARM", "100", "300"},  {"2", "COREL1", "CORE", "100", "100"},
    {"3", "ARMHIGH2", "ARM", "200", "480"},  {"4", "COREL2", "CORE", "200", "320"},
    {"5", "CORHIGH3", "CORE", "300", "660"}, {"6", "ARMLOW3", "ARM", "300", "540"},
    {"7", "ARMON", "ARM", "400", "800"},     {"8", "CORON", "CORE", "400", "800"},
    {"9", "ARMFREE", "ARM", "0", "0"},       {"10", "ARMNODMG", "ARM", "50", ""},
};

Strings Names(const PlotWindow& W, const std::vector<int>& Rows) {
  Strings names;
  const int name = Fixture::ColumnOf(W.Table(), "UnitName");
  for (int r : Rows) names.push_back(W.Table().Cell(r, name));
  return names;
}

}  // namespace

class PlotTest : public QObject {
  Q_OBJECT

  Fixture F;

  // The program with kUnits (and two weapon files) open, shown, and the plot
  // of the units open.
  PlotWindow* OpenPlot() {
    ArchiveFiles files;
    for (const UnitValues& u : kUnits) {
      std::map<std::string, std::string> keys = {{"UnitName", u.Name}, {"Side", u.Side}, {"BuildCostMetal", u.Cost}};
      if (*u.Damage) keys["MaxDamage"] = u.Damage;
      files["units\\" + std::string(u.Name) + ".fbi"] = Unit(u.Number, keys);
    }
    files["weapons\\guns.tdf"] = "[GUN]\r\n{\r\n\tID=1;\r\n\tRange=300;\r\n\tReloadtime=1.5;\r\n}\r\n";
    F.Open({F.Archive("units.ufo", files)});
    F.M().show();
    F.M().MainPanelControl->setCurrentWidget(F.M().UnitSheet);
    F.M().Plot1->trigger();
    const auto plots = F.M().findChildren<PlotWindow*>();
    if (plots.size() != 1) return nullptr;
    PlotWindow* w = plots.first();
    if (!QTest::qWaitForWindowExposed(w)) return nullptr;
    return w;
  }

  int RowNamed(const std::string& Name) {
    const RowTable& t = F.S().UnitView;
    const int c = F.ColumnOf(t, "UnitName");
    for (int r = 0; r < t.RowCount(); ++r)
      if (t.Cell(r, c) == Name) return r;
    return -1;
  }

  // Where the point of value Value is drawn, in the chart view's viewport,
  // as the chart places values on its axes.
  QPoint ViewportPosition(PlotWindow& W, QPointF Value) {
    QChart* chart = W.ChartView->chart();
    const QPointF at = chart->mapToPosition(Value, W.SeriesOf(0));
    return W.ChartView->mapFromScene(chart->mapToScene(at));
  }

  // The values drawn for the row of the unit named Name.
  QPointF DrawnValue(PlotWindow& W, const std::string& Name) {
    const int point = W.PointOfRow(RowNamed(Name));
    if (point < 0) return QPointF(-1, -1);
    return W.Layer()->Points()[static_cast<size_t>(point)].Value;
  }

 private slots:
  void cleanup() {
    qDeleteAll(F.M().findChildren<PlotWindow*>());
    F.M().CloseAll1Click();
  }

  void pointsAndRowsAreLinkedBothWays() {
    PlotWindow* w = OpenPlot();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Plot - Units"));
    QCOMPARE(w->XAxis->currentText(), QStringLiteral("BuildCostMetal"));
    QCOMPARE(w->YAxis->currentText(), QStringLiteral("MaxDamage"));
    // Two Sides, two series, in the legend with their counts.
    QVERIFY(w->SeriesOf(0) && w->SeriesOf(1) && !w->SeriesOf(2));
    QCOMPARE(w->SeriesOf(0)->name(), QStringLiteral("ARM (5)"));
    QCOMPARE(w->SeriesOf(1)->name(), QStringLiteral("CORE (4)"));
    QCOMPARE(w->LeftOutLabel->text(), QStringLiteral("9 points of 10 rows; 1 left out: 1 without a number in X or Y."));

    // Every row with both values is drawn at its own values.
    for (const UnitValues& u : kUnits)
      if (*u.Damage) QCOMPARE(DrawnValue(*w, u.Name), QPointF(std::stod(u.Cost), std::stod(u.Damage)));
    QCOMPARE(w->PointOfRow(RowNamed("ARMNODMG")), -1);

    // Table to plot: the selected row's point, and only it, is marked.
    F.S().UnitView.Select(RowNamed("COREL2"));
    QCOMPARE(w->MarkedRows(), std::vector<int>{RowNamed("COREL2")});
    auto marked = [&] {
      std::vector<QPointF> values;
      for (const PointLayer::Point& p : w->Layer()->Points())
        if (p.Marked) values.push_back(p.Value);
      return values;
    };
    QCOMPARE(marked(), std::vector<QPointF>{QPointF(200, 320)});

    // A sort reorders the rows; the link follows.
    F.M().UnitViewColumnClick(F.ColumnOf(F.S().UnitView, "MaxDamage"));
    QCOMPARE(F.S().UnitView.Cell(0, F.ColumnOf(F.S().UnitView, "UnitName")), std::string("ARMNODMG"));
    F.S().UnitView.Select(RowNamed("ARMHIGH2"));
    QCOMPARE(marked(), std::vector<QPointF>{QPointF(200, 480)});
    QCOMPARE(DrawnValue(*w, "COREL1"), QPointF(100, 100));

    // Plot to table: a click on CORHIGH3's point selects its row.
    const QPoint click = ViewportPosition(*w, QPointF(300, 660));
    QTest::mouseClick(w->ChartView->viewport(), Qt::LeftButton, {}, click);
    QCOMPARE(F.S().UnitView.SelectedIndex(), RowNamed("CORHIGH3"));
    QCOMPARE(marked(), std::vector<QPointF>{QPointF(300, 660)});
    QCOMPARE(F.M().Panel1->text(), QStringLiteral("CORHIGH3"));  // as a click in the table shows it
    // A click beside every point changes nothing.
    QTest::mouseClick(w->ChartView->viewport(), Qt::LeftButton, {}, ViewportPosition(*w, QPointF(250, 100)));
    QCOMPARE(F.S().UnitView.SelectedIndex(), RowNamed("CORHIGH3"));

    // Hovering names the row and both values.
    // (A move without a button, as the window system sends it: QTest's
    // mouseMove does not reach an offscreen view.)
    auto moveTo = [&](QPoint At) {
      QWidget* viewport = w->ChartView->viewport();
      QMouseEvent move(QEvent::MouseMove, At, viewport->mapToGlobal(At), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(viewport, &move);
    };
    moveTo(click + QPoint(0, 30));
    QCOMPARE(w->HoverText(), QString());
    moveTo(click);
    QCOMPARE(w->HoverText(), QStringLiteral("CORHIGH3 (5)\nBuildCostMetal: 300\nMaxDamage: 660"));
    moveTo(click + QPoint(0, 30));
    QCOMPARE(w->HoverText(), QString());
    // Two rows at one place are both named.
    QCOMPARE(w->PointText(QPointF(400, 800)), QStringLiteral("ARMON (7), CORON (8)\nBuildCostMetal: 400\nMaxDamage: 800"));
  }

  void outlierListsNameTheRowsFurthestFromTheLine() {
    PlotWindow* w = OpenPlot();
    QVERIFY(w);
    QCOMPARE(w->FitLabel->text(), QStringLiteral("Least-squares line: MaxDamage = 2 × BuildCostMetal + 0\nR² = 0.9396"));
    QVERIFY(w->FitSeries());
    QCOMPARE(w->FitSeries()->count(), 2);
    QCOMPARE(Names(*w, w->AboveRows()), (Strings{"ARMHIGH1", "ARMHIGH2", "CORHIGH3"}));
    QCOMPARE(Names(*w, w->BelowRows()), (Strings{"COREL1", "COREL2", "ARMLOW3"}));
    QCOMPARE(w->Above->item(0)->text(), QStringLiteral("ARMHIGH1 (1): 1.5 × the line"));
    QCOMPARE(w->Below->item(1)->text(), QStringLiteral("COREL2 (4): 0.8 × the line"));

    // A double click on an outlier selects its row, after a sort too.
    F.M().UnitViewColumnClick(F.ColumnOf(F.S().UnitView, "UnitName"));
    QCOMPARE(Names(*w, w->BelowRows()), (Strings{"COREL1", "COREL2", "ARMLOW3"}));
    QListWidgetItem* item = w->Below->item(2);
    const QPoint centre = w->Below->visualItemRect(item).center();
    QTest::mouseClick(w->Below->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(w->Below->viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(F.S().UnitView.SelectedIndex(), RowNamed("ARMLOW3"));
  }

  void logarithmicAxesLeaveOutValuesOfZeroOrLess() {
    PlotWindow* w = OpenPlot();
    QVERIFY(w);
    w->LogX->setChecked(true);
    QVERIFY(qobject_cast<QLogValueAxis*>(w->ChartView->chart()->axes(Qt::Horizontal).value(0)));
    QVERIFY(qobject_cast<QValueAxis*>(w->ChartView->chart()->axes(Qt::Vertical).value(0)));
    QCOMPARE(w->LeftOutLabel->text(),
             QStringLiteral("8 points of 10 rows; 2 left out: 1 without a number in X or Y, 1 with a value of 0 or "
                            "less on a logarithmic axis."));
    QCOMPARE(w->Points().Points.size(), size_t{8});
    // Fitted on log X: the line is straight as drawn, and its text says so.
    QVERIFY(w->FitLabel->text().startsWith(QStringLiteral("Least-squares line: MaxDamage = ")));
    QVERIFY(w->FitLabel->text().contains(QStringLiteral("× log BuildCostMetal")));
    w->LogY->setChecked(true);
    QVERIFY(qobject_cast<QLogValueAxis*>(w->ChartView->chart()->axes(Qt::Vertical).value(0)));
    QVERIFY(w->FitLabel->text().startsWith(QStringLiteral("Least-squares line: log MaxDamage = ")));
    // The points keep their rows: ARMFREE (0, 0) has none now.
    QCOMPARE(w->PointOfRow(RowNamed("ARMFREE")), -1);
    QCOMPARE(DrawnValue(*w, "ARMLOW3"), QPointF(300, 540));
    // A click on a point of the logarithmic plot finds its row.
    QTest::mouseClick(w->ChartView->viewport(), Qt::LeftButton, {}, ViewportPosition(*w, QPointF(300, 540)));
    QCOMPARE(F.S().UnitView.SelectedIndex(), RowNamed("ARMLOW3"));
  }

  void otherTablesAreGroupedByArchive() {
    QVERIFY(OpenPlot());
    F.M().MainPanelControl->setCurrentWidget(F.M().WeaponSheet);
    F.M().Plot1->trigger();
    PlotWindow* weapons = nullptr;
    for (PlotWindow* p : F.M().findChildren<PlotWindow*>())
      if (p->View() == F.M().WeaponView) weapons = p;
    QVERIFY(weapons);
    QCOMPARE(weapons->windowTitle(), QStringLiteral("Plot - Weapons"));
    QCOMPARE(weapons->SeriesOf(0)->name(), QStringLiteral("units.ufo (1)"));
    // Asked again for the same table, the open plot comes forward.
    F.M().Plot1->trigger();
    QCOMPARE(F.M().findChildren<PlotWindow*>().size(), qsizetype{2});
  }

  void saveImageWritesPngAndSvg() {
    PlotWindow* w = OpenPlot();
    QVERIFY(w);
    const std::string png = F.Path("plot.png"), svg = F.Path("plot.SVG");
    F.D.SaveChoices = {png, svg, F.Path("missing/plot.png"), ""};
    for (int i = 0; i < 4; ++i) w->SaveImage->click();
    QCOMPARE(F.D.SaveTitles.size(), size_t{4});
    QImage image;
    QVERIFY(image.load(QString::fromStdString(png), "PNG"));
    QCOMPARE(image.size(), w->ChartView->size() * w->ChartView->devicePixelRatio());
    QFile svgFile(QString::fromStdString(svg));
    QVERIFY(svgFile.open(QIODevice::ReadOnly));
    const QByteArray svgBytes = svgFile.readAll();
    QVERIFY(svgBytes.contains("<svg"));
    QVERIFY(QSvgRenderer(svgBytes).isValid());
    // A place that cannot be written is said so, and nothing is left behind.
    QCOMPARE(F.D.Messages, Strings{"The image could not be written to " + F.Path("missing/plot.png") + "."});
    QVERIFY(!QFile::exists(QString::fromStdString(F.Path("missing"))));
    QCOMPARE(QDir(F.Dir.path()).entryList(QDir::Files | QDir::Hidden).size(), qsizetype{3});  // archive, png, svg
  }

  // Another pair of columns redraws the axes and the legend, in the same
  // window: only the new axes are to be seen (the old ones at once, not
  // once Qt deletes them in its event loop), each Side's entry gives its new
  // count and is left out without points, and the line comes and goes.
  void eachPairOfColumnsHasItsOwnAxesAndLegend() {
    ArchiveFiles files;
    files["units\\a1.fbi"] = Unit("1", {{"UnitName", "A1"}, {"Side", "ARM"}, {"BuildCostMetal", "100"},
                                        {"MaxDamage", "200"}, {"WorkerTime", "7"}});
    files["units\\a2.fbi"] =
        Unit("2", {{"UnitName", "A2"}, {"Side", "ARM"}, {"BuildCostMetal", "200"}, {"MaxDamage", "500"}});
    files["units\\c1.fbi"] = Unit("3", {{"UnitName", "C1"}, {"Side", "CORE"}, {"BuildCostMetal", "150"}});
    files["units\\c2.fbi"] = Unit("4", {{"UnitName", "C2"}, {"Side", "CORE"}, {"BuildCostMetal", "300"}});
    F.Open({F.Archive("sides.ufo", files)});
    F.M().show();
    F.M().MainPanelControl->setCurrentWidget(F.M().UnitSheet);
    F.M().Plot1->trigger();
    const auto plots = F.M().findChildren<PlotWindow*>();
    QCOMPARE(plots.size(), qsizetype{1});
    PlotWindow* w = plots.first();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QChart* chart = w->ChartView->chart();

    auto shownTexts = [&] {
      QStringList texts;
      for (QGraphicsItem* item : chart->scene()->items())
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible())
          texts << text->toPlainText();
      return texts;
    };
    auto legend = [&] {
      QStringList entries;
      for (QLegendMarker* m : chart->legend()->markers())
        if (m->isVisible()) entries << m->label();
      return entries;
    };
    const QString line = QStringLiteral("Least squares, R² = 1");
    QCOMPARE(w->YAxis->currentText(), QStringLiteral("MaxDamage"));
    QCOMPARE(legend(), (QStringList{"ARM (2)", line}));  // CORE has no MaxDamage
    QVERIFY(shownTexts().contains(QStringLiteral("MaxDamage")));

    w->YAxis->setCurrentIndex(w->YAxis->findText(QStringLiteral("UnitNumber")));
    QVERIFY(w->FitSeries());
    QCOMPARE(legend(), (QStringList{"ARM (2)", "CORE (2)", QString::fromUtf8("Least squares, R² = 0.6914")}));  // 275² ÷ (21875 × 5)
    QVERIFY(shownTexts().contains(QStringLiteral("UnitNumber")));
    QVERIFY(shownTexts().contains(QStringLiteral("BuildCostMetal")));
    QVERIFY(!shownTexts().contains(QStringLiteral("MaxDamage")));
    QCOMPARE(chart->axes(Qt::Vertical).size(), qsizetype{1});

    // One point: no line, nor its entry.
    w->YAxis->setCurrentIndex(w->YAxis->findText(QStringLiteral("WorkerTime")));
    QVERIFY(!w->FitSeries());
    QCOMPARE(chart->series().size(), qsizetype{2});
    QCOMPARE(legend(), (QStringList{"ARM (1)"}));

    // The line again, after the Sides in the legend, and the logarithmic axis.
    w->YAxis->setCurrentIndex(w->YAxis->findText(QStringLiteral("MaxDamage")));
    w->LogY->setChecked(true);
    QVERIFY(w->FitSeries());
    QCOMPARE(chart->series().constLast(), w->FitSeries());
    QCOMPARE(legend(), (QStringList{"ARM (2)", line}));
    QVERIFY(qobject_cast<QLogValueAxis*>(chart->axes(Qt::Vertical).value(0)));
    QCOMPARE(chart->axes(Qt::Vertical).size(), qsizetype{1});
    QCOMPARE(chart->axes(Qt::Horizontal).size(), qsizetype{1});
    // Every series is placed by the axes shown.
    for (QAbstractSeries* series : chart->series()) QCOMPARE(series->attachedAxes().size(), qsizetype{2});
  }

  // With accessibility active, as when a screen reader listens: the controls
  // carry their labels' names, the outlier lists are lists of their rows,
  // and the keyboard reaches a row through them.
  void readAndUsedWithAScreenReader() {
    QAccessible::setActive(true);
    PlotWindow* w = OpenPlot();
    QVERIFY(w);
    auto name = [](QWidget* W) { return QAccessible::queryAccessibleInterface(W)->text(QAccessible::Name); };
    // A combo box reads as its choice, labelled by its label.
    auto labelOf = [](QWidget* W) {
      QString text;
      for (const auto& [other, relation] : QAccessible::queryAccessibleInterface(W)->relations(QAccessible::Label))
        text += other->text(QAccessible::Name);
      return text;
    };
    QCOMPARE(name(w->XAxis), QStringLiteral("BuildCostMetal"));
    QCOMPARE(labelOf(w->XAxis), QStringLiteral("X axis:"));
    QCOMPARE(labelOf(w->YAxis), QStringLiteral("Y axis:"));
    QCOMPARE(name(w->LogX), QStringLiteral("Logarithmic X"));
    QCOMPARE(name(w->SaveImage), QString::fromUtf8("Save Image…"));
    QCOMPARE(name(w->ChartView), QStringLiteral("Plot"));
    QVERIFY(QAccessible::queryAccessibleInterface(w->ChartView)
                ->text(QAccessible::Description)
                .contains(QStringLiteral("9 points of 10 rows")));
    for (QListWidget* list : {w->Above, w->Below}) {
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(list);
      QCOMPARE(a->role(), QAccessible::List);
      QCOMPARE(a->childCount(), 3);
      QCOMPARE(a->child(0)->role(), QAccessible::ListItem);
      QCOMPARE(a->child(0)->text(QAccessible::Name), list->item(0)->text());
    }
    QCOMPARE(name(w->Above), QStringLiteral("Most above the line"));
    QCOMPARE(name(w->Below), QStringLiteral("Most below the line"));

    // Keyboard only: to the list of those above, down to the second, Enter.
    w->activateWindow();
    w->Above->setFocus();
    QTest::keyClick(w->Above, Qt::Key_Home);
    QTest::keyClick(w->Above, Qt::Key_Down);
    QTest::keyClick(w->Above, Qt::Key_Return);
    QCOMPARE(F.S().UnitView.SelectedIndex(), RowNamed("ARMHIGH2"));
    QAccessible::setActive(false);
  }
};

QTEST_MAIN(PlotTest)
#include "ui_plot.moc"
