#pragma once
// The points of a plot, drawn over a Qt chart as one graphics item. Qt
// Charts 6.4 keeps a graphics item for every point of a scatter series (even
// when it paints light markers), which makes a plot of a few thousand rows
// slow to build, and it tells a point by its values, not its index. This
// layer draws every point from a marker image in one pass, in the chart's
// coordinates, and answers hovers and clicks with the point's index.
#include <QGraphicsItem>
#include <QImage>
#include <functional>
#include <vector>

class QAbstractSeries;
class QChart;

class PointLayer : public QGraphicsItem {
 public:
  struct Point {
    QPointF Value;  // in the chart's values
    int Colour;     // index into the markers
    bool Marked = false;
  };

  // Draws over Chart's plot area, placing values as Reference (a series on
  // the chart's axes) places them.
  explicit PointLayer(QChart* Chart);

  // The points, and a marker image for each colour; marked points are drawn
  // last, larger, with Marked.
  void SetPoints(std::vector<Point> Points, std::vector<QImage> Markers, QAbstractSeries* Reference);
  void SetMarked(const std::vector<int>& Points);
  const std::vector<Point>& Points() const { return Points_; }
  // Where point I is drawn, in scene coordinates.
  QPointF ScenePosition(int I) const;
  // The point drawn at Position (scene coordinates), the topmost of them;
  // -1 when none is.
  int PointAt(const QPointF& Position) const;

  // Hover (point, or -1 when the mouse left it) and click.
  std::function<void(int)> Hovered;
  std::function<void(int)> Clicked;

  QRectF boundingRect() const override;
  void paint(QPainter* P, const QStyleOptionGraphicsItem* Option, QWidget* Widget) override;

  static constexpr qreal kSize = 8, kMarkedSize = 12;
  // A round marker of Colour, Size pixels across.
  static QImage Marker(const QColor& Colour, qreal Size);

 protected:
  void hoverEnterEvent(QGraphicsSceneHoverEvent* Event) override;
  void hoverMoveEvent(QGraphicsSceneHoverEvent* Event) override;
  void hoverLeaveEvent(QGraphicsSceneHoverEvent* Event) override;
  void mousePressEvent(QGraphicsSceneMouseEvent* Event) override;
  void mouseReleaseEvent(QGraphicsSceneMouseEvent* Event) override;

 private:
  // Positions of every point in the item's coordinates, for the current plot area.
  void Place() const;
  void HoverAt(const QPointF& ScenePosition);

  QChart* Chart_;
  QAbstractSeries* Reference_ = nullptr;
  std::vector<Point> Points_;
  std::vector<QImage> Markers_;
  QImage MarkedMarker_;
  mutable std::vector<QPointF> Positions_;
  mutable QRectF PlacedFor_;  // the plot area Positions_ were made for
  int Hover_ = -1, Pressed_ = -1;
};
