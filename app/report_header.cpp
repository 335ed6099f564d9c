#include "app/report_header.h"

#include <QAbstractItemModel>

QSize ReportHeader::sizeHint() const {
  QSize hint(0, 0);
  const QAbstractItemModel* m = model();
  if (!m) return hint;
  bool plainSeen = false, ownFontSeen = false;
  for (int i = 0; i < count() && !(plainSeen && ownFontSeen); ++i) {
    if (isSectionHidden(i)) continue;
    bool& seen = m->headerData(i, Qt::Horizontal, Qt::FontRole).isValid() ? ownFontSeen : plainSeen;
    if (seen) continue;
    seen = true;
    hint = hint.expandedTo(sectionSizeFromContents(i));
  }
  return hint;
}
