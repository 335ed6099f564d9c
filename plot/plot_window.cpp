#include "plot/plot_window.h"

#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QGraphicsLayout>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QLogValueAxis>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QScatterSeries>
#include <QSignalBlocker>
#include <QSplitter>
#include <QSvgGenerator>
#include <QToolTip>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "app/latin1.h"
#include "app/report_view.h"
#include "archive/ascii_case.h"
#include "archive/dialogs.h"
#include "mod/cell_text.h"
#include "plot/point_layer.h"

namespace {

// Ten colours told apart also by most people with a colour vision
// deficiency (the "Tableau 10" set); "Other" is grey.
const QColor kGroupColours[] = {
    QColor(0x4e, 0x79, 0xa7), QColor(0xe1, 0x57, 0x59), QColor(0x59, 0xa1, 0x4f), QColor(0xf2, 0x8e, 0x2b),
    QColor(0xb0, 0x7a, 0xa1), QColor(0x76, 0xb7, 0xb2), QColor(0xed, 0xc9, 0x48), QColor(0x9c, 0x75, 0x5f),
    QColor(0xff, 0x9d, 0xa7), QColor(0x79, 0x70, 0x6e),
};
const QColor kOtherColour(0xba, 0xb0, 0xac);
constexpr int kListWidth = 230;

QString Number(double V) { return QString::number(V, 'g', 4); }

// The range an axis shows around values from Low to High, with some room.
void SetRange(QAbstractAxis* Axis, double Low, double High, bool Log) {
  if (Log) {
    if (!(Low > 0)) Low = High = 1;
    // A logarithmic axis is labelled at powers of 10 only: a range of less
    // than two decades reaches out to whole ones, so that several are labelled.
    double low = Low / 1.25, high = High * 1.25;
    if (std::log10(high / low) < 2) {
      low = std::pow(10.0, std::floor(std::log10(Low)));
      high = std::pow(10.0, std::ceil(std::log10(High)));
      if (high <= Low * 1.05) high *= 10;  // the highest value exactly a power of 10
      if (low >= High / 1.05) low /= 10;
    }
    Axis->setRange(low, high);
    return;
  }
  double room = (High - Low) * 0.05;
  if (!(room > 0)) room = std::max(1.0, std::abs(Low) * 0.1);
  // Values of 0 and more (costs, hit points) start at 0, not below it.
  const double low = Low >= 0 ? std::max(0.0, Low - room) : Low - room;
  auto* value = static_cast<QValueAxis*>(Axis);
  value->setRange(low, High + room);
  value->applyNiceNumbers();
}

QAbstractAxis* MakeAxis(bool Log, const QString& Title) {
  QAbstractAxis* axis;
  if (Log) {
    auto* log = new QLogValueAxis;
    log->setBase(10);
    log->setLabelFormat(QStringLiteral("%g"));
    log->setMinorTickCount(-1);  // the minor ticks of every decade
    axis = log;
  } else {
    auto* value = new QValueAxis;
    value->setLabelFormat(QStringLiteral("%g"));
    axis = value;
  }
  axis->setTitleText(Title);
  return axis;
}

}  // namespace

PlotWindow::PlotWindow(ReportView& View, Dialogs& D, std::function<void()> Reveal, QWidget* Parent)
    : QWidget(Parent, Qt::Window), View_(&View), Table_(View.Table()), Dialogs_(D), Reveal_(std::move(Reveal)) {
  setObjectName("PlotWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  BuildControls();
  connect(&View, &ReportView::TableReloaded, this, [this] { Reload(); });
  connect(View.selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { ShowTableSelection(); });
  Reload();
  resize(1000, 620);
}

PlotWindow::~PlotWindow() = default;

void PlotWindow::showEvent(QShowEvent* E) {
  QWidget::showEvent(E);
  // Anything the scene has yet to polish is polished first, so that the
  // layout that follows is the last.
  QCoreApplication::sendPostedEvents(Chart_->scene(), QEvent::MetaCall);
  LayOutChart();
}

void PlotWindow::LayOutChart() {
  // Qt Charts lays a chart out when its layout requests come round in the
  // event loop, which can be after the window's next paint: the chart would
  // be painted twice, first as it was before. Laid out here, the chart is
  // finished for that paint. A hidden window is laid out when it is shown.
  if (!isVisible()) return;
  if (QGraphicsLayout* legend = Chart_->legend()->layout()) legend->activate();
  if (QGraphicsLayout* chart = Chart_->layout()) chart->activate();
  // So are the labels of new text, from the line's label up to the window,
  // rather than in a paint of their own after that one.
  for (QWidget* w = FitLabel->parentWidget(); w; w = w == this ? nullptr : w->parentWidget())
    QCoreApplication::sendPostedEvents(w, QEvent::LayoutRequest);
}

void PlotWindow::BuildControls() {
  auto* top = new QHBoxLayout;
  auto axisChoice = [&](const char* Caption, const char* Name, QComboBox*& Combo, const char* LogCaption,
                        const char* LogName, QCheckBox*& Log) {
    auto* label = new QLabel(QString::fromUtf8(Caption), this);
    Combo = new QComboBox(this);
    Combo->setObjectName(Name);
    // Wide enough for the usual captions without measuring every one of a
    // hundred columns; the list that drops down shows them whole.
    Combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Combo->setMinimumContentsLength(16);
    label->setBuddy(Combo);
    Log = new QCheckBox(QString::fromUtf8(LogCaption), this);
    Log->setObjectName(LogName);
    top->addWidget(label);
    top->addWidget(Combo);
    top->addWidget(Log);
    top->addSpacing(16);
    connect(Combo, &QComboBox::currentIndexChanged, this, [this] { Replot(); });
    connect(Log, &QCheckBox::toggled, this, [this] { Replot(); });
  };
  axisChoice("&X axis:", "XAxis", XAxis, "Logarithmic &X", "LogX", LogX);
  axisChoice("&Y axis:", "YAxis", YAxis, "Logarithmic &Y", "LogY", LogY);
  top->addStretch(1);
  SaveImage = new QPushButton(QString::fromUtf8("&Save Image…"), this);
  SaveImage->setObjectName("SaveImage");
  connect(SaveImage, &QPushButton::clicked, this, [this] { SaveImageClick(); });
  top->addWidget(SaveImage);

  Chart_ = new QChart;
  Chart_->legend()->setAlignment(Qt::AlignBottom);
  Chart_->setAnimationOptions(QChart::NoAnimation);
  ChartView = new QChartView(Chart_, this);
  ChartView->setObjectName("ChartView");
  ChartView->setRenderHint(QPainter::Antialiasing);
  // Hovering a point shows what it is: the view hears the mouse without a button held.
  ChartView->viewport()->setMouseTracking(true);
  ChartView->setAccessibleName(QStringLiteral("Plot"));
  Layer_ = new PointLayer(Chart_);
  // The scene polishes the chart and its legend later, in the event loop,
  // and polishing changes their sizes: the chart laid out when the window is
  // shown would be laid out again. Polished now, while it is empty, it is not.
  QCoreApplication::sendPostedEvents(ChartView->scene(), QEvent::MetaCall);
  Layer_->Hovered = [this](int Point) { PointHovered(Point); };
  Layer_->Clicked = [this](int Point) {
    if (Point >= 0 && static_cast<size_t>(Point) < Set_.Points.size()) SelectRow(Set_.Points[static_cast<size_t>(Point)].Row);
  };

  auto* side = new QWidget(this);
  auto* sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  FitLabel = new QLabel(side);
  FitLabel->setObjectName("FitLabel");
  FitLabel->setWordWrap(true);
  FitLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  sideLayout->addWidget(FitLabel);
  auto list = [&](const char* Caption, const char* Name, QListWidget*& List) {
    const QString caption = QString::fromUtf8(Caption);
    auto* label = new QLabel(caption, side);
    List = new QListWidget(side);
    List->setObjectName(Name);
    // Item views tell no label relation: the list carries the label's name.
    List->setAccessibleName(QString(caption).remove('&'));
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    label->setBuddy(List);
    sideLayout->addWidget(label);
    sideLayout->addWidget(List, 1);
    // A double click, or Enter, selects the row in the table.
    connect(List, &QListWidget::itemActivated, this, [this](QListWidgetItem* Item) { OutlierActivated(Item); });
  };
  list("Most &above the line", "Above", Above);
  list("Most &below the line", "Below", Below);
  side->setMinimumWidth(kListWidth);

  auto* splitter = new QSplitter(this);
  splitter->addWidget(ChartView);
  splitter->addWidget(side);
  splitter->setStretchFactor(0, 1);
  splitter->setChildrenCollapsible(false);

  LeftOutLabel = new QLabel(this);
  LeftOutLabel->setObjectName("LeftOutLabel");
  LeftOutLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(splitter, 1);
  layout->addWidget(LeftOutLabel);

  setTabOrder(XAxis, LogX);
  setTabOrder(LogX, YAxis);
  setTabOrder(YAxis, LogY);
  setTabOrder(LogY, SaveImage);
  setTabOrder(SaveImage, ChartView);
  setTabOrder(ChartView, Above);
  setTabOrder(Above, Below);
}

void PlotWindow::Reload() {
  FillColumnChoices();
  Replot();
}

void PlotWindow::FillColumnChoices() {
  const RowTableGrid grid(Table_);
  const QString keepX = XAxis->currentText(), keepY = YAxis->currentText();
  const bool first = XAxis->count() == 0;
  Numeric_ = NumericColumns(grid);
  const QSignalBlocker quietX(XAxis), quietY(YAxis);
  XAxis->clear();
  YAxis->clear();
  for (int c : Numeric_) {
    const QString caption = Latin1(grid.Caption(c));
    XAxis->addItem(caption, c);
    YAxis->addItem(caption, c);
  }
  const AxisChoice start = DefaultAxes(grid, Numeric_);
  auto choose = [&](QComboBox* Combo, const QString& Keep, int Default) {
    int i = first ? -1 : Combo->findText(Keep, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (i < 0) i = Combo->findData(Default);
    Combo->setCurrentIndex(std::max(i, Combo->count() > 0 ? 0 : -1));
  };
  choose(XAxis, keepX, start.X);
  choose(YAxis, keepY, start.Y);
}

void PlotWindow::Replot() {
  const RowTableGrid grid(Table_);
  const int xColumn = XAxis->currentData().isValid() ? XAxis->currentData().toInt() : -1;
  const int yColumn = YAxis->currentData().isValid() ? YAxis->currentData().toInt() : -1;
  const bool logX = LogX->isChecked(), logY = LogY->isChecked();
  const bool usable = xColumn >= 0 && yColumn >= 0 && xColumn < grid.Columns() && yColumn < grid.Columns();

  Set_ = usable ? CollectPoints(grid, xColumn, yColumn, logX, logY) : PlotSet{};
  std::vector<double> xs, ys;
  xs.reserve(Set_.Points.size());
  ys.reserve(Set_.Points.size());
  for (const PlotPoint& p : Set_.Points) {
    xs.push_back(p.X);
    ys.push_back(p.Y);
  }
  Fit_ = FitLine(xs, ys, logX, logY);
  const Outliers outliers = RankOutliers(xs, ys, Fit_);

  // Where each row is drawn.
  PointOfRow_.assign(static_cast<size_t>(grid.Rows()), -1);
  for (size_t i = 0; i < Set_.Points.size(); ++i) PointOfRow_[static_cast<size_t>(Set_.Points[i].Row)] = static_cast<int>(i);

  // The axes of the chosen kind, one series per group, the line. The series
  // are kept while the groups are the same: each new one costs Qt Charts
  // graphics items and the legend an entry anew.
  const QString xName = usable ? Latin1(grid.Caption(xColumn)) : QString();
  const QString yName = usable ? Latin1(grid.Caption(yColumn)) : QString();
  QAbstractAxis* axisX = NewAxis(Qt::Horizontal, logX, xName);
  QAbstractAxis* axisY = NewAxis(Qt::Vertical, logY, yName);

  double xLow = 0, xHigh = 0, yLow = 0, yHigh = 0;
  if (!xs.empty()) {
    const auto [xMin, xMax] = std::minmax_element(xs.begin(), xs.end());
    const auto [yMin, yMax] = std::minmax_element(ys.begin(), ys.end());
    xLow = *xMin, xHigh = *xMax, yLow = *yMin, yHigh = *yMax;
  }
  // One series per group, without points, for its entry in the legend; the
  // points are drawn by the layer, in the group's colour. The line comes
  // after the groups in the legend.
  if (Series_.size() != Set_.Groups.size()) {
    for (QAbstractSeries* series : Chart_->series()) series->hide();  // gone from the picture at once
    Chart_->removeAllSeries();
    Series_.clear();
    FitSeries_ = nullptr;
    for (size_t g = 0; g < Set_.Groups.size(); ++g) {
      auto* series = new QScatterSeries;
      series->setMarkerShape(QScatterSeries::MarkerShapeCircle);
      series->setMarkerSize(PointLayer::kSize);
      series->setBorderColor(Qt::transparent);
      Chart_->addSeries(series);
      series->attachAxis(axisX);
      series->attachAxis(axisY);
      Series_.push_back(series);
    }
  }
  std::vector<QImage> markers;
  for (size_t g = 0; g < Set_.Groups.size(); ++g) {
    QScatterSeries* series = Series_[g];
    series->setName(Latin1(Set_.Groups[g].Label) + QStringLiteral(" (%1)").arg(Set_.Groups[g].Points));
    const bool other = Set_.Groups[g].Label == "Other" && g + 1 == Set_.Groups.size() && g + 1 == kMaxGroups;
    const QColor colour = other ? kOtherColour : kGroupColours[g % std::size(kGroupColours)];
    series->setColor(colour);
    markers.push_back(PointLayer::Marker(colour, PointLayer::kSize));
    // A group without points in this pair of columns keeps its colour but
    // takes no room in the legend.
    for (QLegendMarker* m : Chart_->legend()->markers(series)) m->setVisible(Set_.Groups[g].Points > 0);
  }
  if (FitSeries_ && !Fit_.Valid) {
    FitSeries_->hide();
    Chart_->removeSeries(FitSeries_);
    delete FitSeries_;
    FitSeries_ = nullptr;
  }
  if (Fit_.Valid) {
    const bool made = !FitSeries_;
    if (made) {
      FitSeries_ = new QLineSeries;
      QPen pen(QColor(0x30, 0x30, 0x30));
      pen.setWidthF(1.5);
      FitSeries_->setPen(pen);
    }
    const QString r2 = std::isnan(Fit_.RSquared) ? QStringLiteral("undefined") : Number(Fit_.RSquared);
    FitSeries_->setName(QStringLiteral("Least squares, R² = ") + r2);
    FitSeries_->replace(QList<QPointF>{{xLow, Fit_.At(xLow)}, {xHigh, Fit_.At(xHigh)}});
    if (made) {
      Chart_->addSeries(FitSeries_);
      FitSeries_->attachAxis(axisX);
      FitSeries_->attachAxis(axisY);
    }
  }
  SetRange(axisX, xLow, xHigh, logX);
  SetRange(axisY, yLow, yHigh, logY);
  std::vector<PointLayer::Point> drawn;
  drawn.reserve(Set_.Points.size());
  for (const PlotPoint& p : Set_.Points) drawn.push_back({QPointF(p.X, p.Y), p.Group});
  QAbstractSeries* reference = FitSeries_ ? static_cast<QAbstractSeries*>(FitSeries_)
                               : Series_.empty() ? nullptr
                                                 : Series_.front();
  Layer_->SetPoints(std::move(drawn), std::move(markers), reference);

  // The line in words, and what is left out.
  QString fit;
  if (!usable) {
    fit = QStringLiteral("This table has no column of numbers.");
  } else if (!Fit_.Valid) {
    fit = QStringLiteral("No line: it needs two points with different X values.");
  } else {
    const QString lx = logX ? QStringLiteral("log ") : QString(), ly = logY ? QStringLiteral("log ") : QString();
    // An intercept that is only rounding (a line through the origin) reads as 0.
    const double scale = std::max({1.0, std::abs(Fit_.Slope * (logX ? std::log10(xHigh) : xHigh)),
                                   std::abs(logY ? std::log10(yHigh) : yHigh)});
    const double intercept = std::abs(Fit_.Intercept) < 1e-9 * scale ? 0.0 : Fit_.Intercept;
    fit = QStringLiteral("Least-squares line: %1%2 = %3 × %4%5 %6 %7\nR² = %8")
              .arg(ly, yName, Number(Fit_.Slope), lx, xName, intercept < 0 ? QStringLiteral("−") : QStringLiteral("+"),
                   Number(std::abs(intercept)),
                   std::isnan(Fit_.RSquared) ? QStringLiteral("undefined (every Y value is the same)")
                                             : Number(Fit_.RSquared));
  }
  FitLabel->setText(fit);
  QString counts = QStringLiteral("%1 points of %2 rows").arg(Set_.Points.size()).arg(Set_.Rows);
  const int leftOut = Set_.NotNumber + Set_.NotPositive;
  if (leftOut > 0) {
    QStringList why;
    if (Set_.NotNumber > 0) why << QStringLiteral("%1 without a number in X or Y").arg(Set_.NotNumber);
    if (Set_.NotPositive > 0)
      why << QStringLiteral("%1 with a value of 0 or less on a logarithmic axis").arg(Set_.NotPositive);
    counts += QStringLiteral("; %1 left out: %2").arg(leftOut).arg(why.join(QStringLiteral(", ")));
  }
  LeftOutLabel->setText(counts + '.');
  ChartView->setAccessibleDescription(
      usable ? QStringLiteral("%1 against %2. %3. %4").arg(yName, xName, counts, QString(fit).replace('\n', ' '))
             : fit);

  std::vector<int> rowOfPoint;
  rowOfPoint.reserve(Set_.Points.size());
  for (const PlotPoint& p : Set_.Points) rowOfPoint.push_back(p.Row);
  FillOutliers(Above, outliers.Above, rowOfPoint);
  FillOutliers(Below, outliers.Below, rowOfPoint);
  ShowTableSelection();
  LayOutChart();
}

QAbstractAxis* PlotWindow::NewAxis(Qt::Orientation Orientation, bool Log, const QString& Title) {
  // A new axis rather than the old one with a new range: Qt Charts lays an
  // axis's labels out anew at every change of a shown axis, and a range with
  // nice numbers is several changes.
  for (QAbstractAxis* old : Chart_->axes(Orientation)) {
    old->hide();  // gone from the picture at once, not when Qt Charts deletes its items
    Chart_->removeAxis(old);
    delete old;
  }
  QAbstractAxis* axis = MakeAxis(Log, Title);
  Chart_->addAxis(axis, Orientation == Qt::Horizontal ? Qt::AlignBottom : Qt::AlignLeft);
  // The series stay, placed by the new axis.
  for (QAbstractSeries* series : Chart_->series()) series->attachAxis(axis);
  return axis;
}

QScatterSeries* PlotWindow::SeriesOf(int Group) const {
  return Group >= 0 && static_cast<size_t>(Group) < Series_.size() ? Series_[static_cast<size_t>(Group)] : nullptr;
}

int PlotWindow::PointOfRow(int Row) const {
  return Row >= 0 && static_cast<size_t>(Row) < PointOfRow_.size() ? PointOfRow_[static_cast<size_t>(Row)] : -1;
}

QString PlotWindow::PointText(const QPointF& Value) const {
  // Every row drawn at these values is named.
  const RowTableGrid grid(Table_);
  QStringList names;
  constexpr int kNamesShown = 8;
  int firstRow = -1, more = 0;
  for (const PlotPoint& p : Set_.Points) {
    if (p.X != Value.x() || p.Y != Value.y()) continue;
    if (firstRow < 0) firstRow = p.Row;
    if (names.size() < kNamesShown)
      names << Latin1(RowLabel(grid, p.Row));
    else
      ++more;
  }
  if (firstRow < 0 || grid.Rows() <= firstRow) return {};
  if (more > 0) names << QStringLiteral("and %1 more").arg(more);
  const int xColumn = XAxis->currentData().toInt(), yColumn = YAxis->currentData().toInt();
  return names.join(QStringLiteral(", ")) + '\n' + Latin1(grid.Caption(xColumn)) + QStringLiteral(": ") +
         Latin1(TrimBlanks(grid.Cell(firstRow, xColumn))) + '\n' + Latin1(grid.Caption(yColumn)) +
         QStringLiteral(": ") + Latin1(TrimBlanks(grid.Cell(firstRow, yColumn)));
}

void PlotWindow::PointHovered(int Point) {
  if (Point < 0 || static_cast<size_t>(Point) >= Set_.Points.size()) {
    HoverText_.clear();
    QToolTip::hideText();
    return;
  }
  const PlotPoint& p = Set_.Points[static_cast<size_t>(Point)];
  HoverText_ = PointText(QPointF(p.X, p.Y));
  QToolTip::showText(QCursor::pos(), HoverText_, ChartView);
}

void PlotWindow::SelectRow(int Row) {
  if (!View_ || Row < 0 || Row >= Table_.RowCount()) return;
  View_->Table().Select(Row);
  View_->scrollTo(View_->Model()->index(Row, 0), QAbstractItemView::PositionAtCenter);
  if (Reveal_) Reveal_();
}

void PlotWindow::ShowTableSelection() {
  Marked_.clear();
  std::vector<int> points;
  if (View_) {
    for (const QModelIndex& index : View_->selectionModel()->selectedRows()) {
      const int point = PointOfRow(index.row());
      if (point < 0) continue;
      points.push_back(point);
      Marked_.push_back(index.row());
    }
  }
  std::sort(Marked_.begin(), Marked_.end());
  // Marked points are drawn last, larger and in a colour of their own.
  Layer_->SetMarked(points);
}

void PlotWindow::FillOutliers(QListWidget* List, const std::vector<Outlier>& Found, const std::vector<int>& Rows) {
  const RowTableGrid grid(Table_);
  List->clear();
  for (const Outlier& o : Found) {
    const int row = Rows[o.Point];
    auto* item = new QListWidgetItem(
        Latin1(RowLabel(grid, row)) + QStringLiteral(": %1 × the line").arg(QString::number(o.Ratio, 'g', 3)), List);
    item->setData(Qt::UserRole, row);
  }
}

void PlotWindow::OutlierActivated(QListWidgetItem* Item) {
  if (Item) SelectRow(Item->data(Qt::UserRole).toInt());
}

std::vector<int> PlotWindow::AboveRows() const {
  std::vector<int> rows;
  for (int i = 0; i < Above->count(); ++i) rows.push_back(Above->item(i)->data(Qt::UserRole).toInt());
  return rows;
}

std::vector<int> PlotWindow::BelowRows() const {
  std::vector<int> rows;
  for (int i = 0; i < Below->count(); ++i) rows.push_back(Below->item(i)->data(Qt::UserRole).toInt());
  return rows;
}

bool PlotWindow::SaveImageTo(const std::string& Path) {
  const QString path = QFile::decodeName(QByteArray::fromStdString(Path));
  // Written to a temporary file beside the target and renamed over it only
  // when complete, so a failure leaves any earlier file as it was.
  QSaveFile file(path);
  bool written = file.open(QIODevice::WriteOnly);
  if (written) {
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
      QSvgGenerator svg;
      svg.setOutputDevice(&file);
      svg.setSize(ChartView->size());
      svg.setViewBox(QRect(QPoint(0, 0), ChartView->size()));
      svg.setTitle(windowTitle());
      svg.setDescription(ChartView->accessibleDescription());
      QPainter painter;
      written = painter.begin(&svg);
      if (written) {
        ChartView->render(&painter);
        written = painter.end();
      }
    } else {
      written = ChartView->grab().save(&file, "PNG");
    }
    written = written && file.commit();
  }
  if (!written) Dialogs_.ShowMessage("The image could not be written to " + Path + ".");
  return written;
}

void PlotWindow::SaveImageClick() {
  std::string path;
  if (Dialogs_.SaveFileName("Save Image", {"PNG image (*.png)", "SVG image (*.svg)"}, path)) SaveImageTo(path);
}
