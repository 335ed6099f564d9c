#pragma once
// The "Plot" window: one point per row of a table, X and Y chosen among its
// numeric columns, each axis linear or logarithmic, points coloured by group
// with a legend, a least-squares line with its R², and beside the plot the
// rows most above and most below that line. Selection is linked both ways
// with the table's view. The numbers come from the core (mod/plot_*); this
// window only shows them.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "mod/plot_data.h"
#include "mod/plot_fit.h"

class Dialogs;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class ReportView;
class RowTable;
class QAbstractAxis;
class QChart;
class QChartView;
class QScatterSeries;
class QLineSeries;
class PointLayer;

class PlotWindow : public QWidget {
  Q_OBJECT

 public:
  // Plots the rows of View's table. Reveal brings the table to the front
  // after the plot selected one of its rows.
  PlotWindow(ReportView& View, Dialogs& D, std::function<void()> Reveal, QWidget* Parent = nullptr);
  ~PlotWindow() override;

  ReportView* View() const { return View_; }
  const RowTable& Table() const { return Table_; }

  // ---- controls
  QComboBox* XAxis = nullptr;
  QComboBox* YAxis = nullptr;
  QCheckBox* LogX = nullptr;
  QCheckBox* LogY = nullptr;
  QChartView* ChartView = nullptr;
  QLabel* FitLabel = nullptr;      // the line and its R²
  QLabel* LeftOutLabel = nullptr;  // how many points there are and how many rows are left out, and why
  QListWidget* Above = nullptr;    // "Most above the line"
  QListWidget* Below = nullptr;    // "Most below the line"
  QPushButton* SaveImage = nullptr;

  // ---- what is drawn
  const PlotSet& Points() const { return Set_; }
  const LineFit& Fit() const { return Fit_; }
  // The legend's entry of group G (as in Points().Groups): a series without
  // points in the group's colour; the points are drawn by Layer().
  QScatterSeries* SeriesOf(int Group) const;
  QLineSeries* FitSeries() const { return FitSeries_; }  // none when there is no line
  PointLayer* Layer() const { return Layer_; }
  // The point of table row Row (an index into Points().Points); -1 when the
  // row has none.
  int PointOfRow(int Row) const;
  // The rows whose points are marked as selected, in row order.
  const std::vector<int>& MarkedRows() const { return Marked_; }
  // The text shown while the mouse is over the point at Value: the caption of
  // every row drawn there and both values.
  QString PointText(const QPointF& Value) const;
  QString HoverText() const { return HoverText_; }
  // The table rows listed in Above and Below, in their order.
  std::vector<int> AboveRows() const;
  std::vector<int> BelowRows() const;

  // Reads the table again: columns, rows, values. Keeps the chosen columns
  // where they still exist.
  void Reload();
  // Selects row Row in the table and shows it there.
  void SelectRow(int Row);
  // Writes the plot as SVG when Path ends in .svg, else as PNG; false (and
  // a message) when it could not be written.
  bool SaveImageTo(const std::string& Path);
  void SaveImageClick();

 protected:
  void showEvent(QShowEvent* E) override;

 private:
  void BuildControls();
  void LayOutChart();
  // A new axis along Orientation, of the kind Log asks for, titled Title,
  // in place of the chart's old one.
  QAbstractAxis* NewAxis(Qt::Orientation Orientation, bool Log, const QString& Title);
  void FillColumnChoices();
  void Replot();
  void PointHovered(int Point);
  void ShowTableSelection();
  void FillOutliers(QListWidget* List, const std::vector<Outlier>& Found, const std::vector<int>& Rows);
  void OutlierActivated(QListWidgetItem* Item);
  void UpdateTitle();

  QPointer<ReportView> View_;
  const RowTable& Table_;
  Dialogs& Dialogs_;
  std::function<void()> Reveal_;

  QChart* Chart_ = nullptr;
  std::vector<QScatterSeries*> Series_;    // one per group, for the legend
  QLineSeries* FitSeries_ = nullptr;
  PointLayer* Layer_ = nullptr;
  std::vector<int> Numeric_;               // the table's numeric columns
  PlotSet Set_;
  LineFit Fit_;
  std::vector<int> PointOfRow_;                  // per table row: index into Set_.Points, or -1
  std::vector<int> Marked_;                      // rows whose points are marked as selected
  QString HoverText_;
};
