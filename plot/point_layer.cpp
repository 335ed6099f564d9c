#include "plot/point_layer.h"

#include <QAbstractSeries>
#include <QChart>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <cmath>

PointLayer::PointLayer(QChart* Chart) : QGraphicsItem(Chart), Chart_(Chart) {
  setAcceptHoverEvents(true);
  setAcceptedMouseButtons(Qt::LeftButton);
  setZValue(1000);  // over the series and the grid
  MarkedMarker_ = Marker(QColor(0x10, 0x10, 0x10), kMarkedSize);
  QObject::connect(Chart, &QChart::plotAreaChanged, Chart, [this] {
    prepareGeometryChange();
    update();
  });
}

QImage PointLayer::Marker(const QColor& Colour, qreal Size) {
  const int side = static_cast<int>(std::ceil(Size));
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Colour);
  painter.drawEllipse(QRectF(0, 0, Size, Size));
  return image;
}

void PointLayer::SetPoints(std::vector<Point> Points, std::vector<QImage> Markers, QAbstractSeries* Reference) {
  Points_ = std::move(Points);
  Markers_ = std::move(Markers);
  Reference_ = Reference;
  PlacedFor_ = QRectF();
  Hover_ = Pressed_ = -1;
  prepareGeometryChange();
  update();
}

void PointLayer::SetMarked(const std::vector<int>& Marked) {
  for (Point& p : Points_) p.Marked = false;
  for (int i : Marked)
    if (i >= 0 && static_cast<size_t>(i) < Points_.size()) Points_[static_cast<size_t>(i)].Marked = true;
  update();
}

void PointLayer::Place() const {
  const QRectF area = Chart_->plotArea();
  if (area == PlacedFor_ && Positions_.size() == Points_.size()) return;
  Positions_.resize(Points_.size());
  for (size_t i = 0; i < Points_.size(); ++i)
    Positions_[i] = Reference_ ? Chart_->mapToPosition(Points_[i].Value, Reference_) : QPointF();
  PlacedFor_ = area;
}

QPointF PointLayer::ScenePosition(int I) const {
  if (I < 0 || static_cast<size_t>(I) >= Points_.size()) return {};
  Place();
  return mapToScene(Positions_[static_cast<size_t>(I)]);
}

int PointLayer::PointAt(const QPointF& Position) const {
  Place();
  const QPointF at = mapFromScene(Position);
  // The topmost point under the position: marked points are drawn last, and
  // of the others the last in order.
  int found = -1;
  bool foundMarked = false;
  for (size_t i = 0; i < Points_.size(); ++i) {
    const qreal half = (Points_[i].Marked ? kMarkedSize : kSize) / 2;
    const QPointF d = Positions_[i] - at;
    if (d.x() * d.x() + d.y() * d.y() > half * half) continue;
    if (Points_[i].Marked || !foundMarked) {
      found = static_cast<int>(i);
      foundMarked = Points_[i].Marked;
    }
  }
  return found;
}

QRectF PointLayer::boundingRect() const {
  // The plot area, in the chart's coordinates, and room for half a marker.
  const QRectF area = Chart_->plotArea();
  return area.adjusted(-kMarkedSize, -kMarkedSize, kMarkedSize, kMarkedSize);
}

void PointLayer::paint(QPainter* P, const QStyleOptionGraphicsItem*, QWidget*) {
  Place();
  P->save();
  P->setClipRect(Chart_->plotArea());
  // Images for the screen and PNG; circles where the picture is vector
  // graphics (SVG), so that it holds shapes rather than thousands of bitmaps.
  const bool vector = P->paintEngine() && P->paintEngine()->type() == QPaintEngine::SVG;
  if (vector) {
    P->setRenderHint(QPainter::Antialiasing);
    P->setPen(Qt::NoPen);
  }
  auto draw = [&](size_t I, const QImage& Image, qreal Size) {
    const QRectF r(Positions_[I].x() - Size / 2, Positions_[I].y() - Size / 2, Size, Size);
    if (vector) {
      P->setBrush(Image.pixelColor(Image.width() / 2, Image.height() / 2));
      P->drawEllipse(r);
    } else {
      // The marker is Size pixels across: placed by its corner, the painter
      // blends it as it is, without the scaling a target rectangle sets up.
      P->drawImage(r.topLeft(), Image);
    }
  };
  for (size_t i = 0; i < Points_.size(); ++i) {
    const int colour = Points_[i].Colour;
    if (!Points_[i].Marked && colour >= 0 && static_cast<size_t>(colour) < Markers_.size())
      draw(i, Markers_[static_cast<size_t>(colour)], kSize);
  }
  for (size_t i = 0; i < Points_.size(); ++i)
    if (Points_[i].Marked) draw(i, MarkedMarker_, kMarkedSize);
  P->restore();
}

void PointLayer::HoverAt(const QPointF& ScenePosition) {
  const int now = PointAt(ScenePosition);
  if (now == Hover_) return;
  Hover_ = now;
  if (Hovered) Hovered(now);
}

// The layer covers the plot area, so the mouse may enter it right on a point.
void PointLayer::hoverEnterEvent(QGraphicsSceneHoverEvent* Event) {
  HoverAt(Event->scenePos());
  QGraphicsItem::hoverEnterEvent(Event);
}

void PointLayer::hoverMoveEvent(QGraphicsSceneHoverEvent* Event) {
  HoverAt(Event->scenePos());
  QGraphicsItem::hoverMoveEvent(Event);
}

void PointLayer::hoverLeaveEvent(QGraphicsSceneHoverEvent* Event) {
  if (Hover_ >= 0) {
    Hover_ = -1;
    if (Hovered) Hovered(-1);
  }
  QGraphicsItem::hoverLeaveEvent(Event);
}

void PointLayer::mousePressEvent(QGraphicsSceneMouseEvent* Event) {
  Pressed_ = PointAt(Event->scenePos());
  if (Pressed_ < 0) Event->ignore();  // not on a point: the chart's
}

void PointLayer::mouseReleaseEvent(QGraphicsSceneMouseEvent* Event) {
  const int point = PointAt(Event->scenePos());
  if (point >= 0 && point == Pressed_ && Clicked) Clicked(point);
  Pressed_ = -1;
}
