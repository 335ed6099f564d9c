#include "definitions/row_table.h"

#include <algorithm>
#include <stdexcept>

namespace {
// Estimates used when no window measures text: roughly the standard font's
// average character width plus the header's margins.
constexpr int kCharWidth = 7;
constexpr int kHeaderMargin = 16;
constexpr int kCellMargin = 12;
constexpr int kDefaultRowHeight = 13;
}  // namespace

int RowTable::Measure(std::string_view Text, bool Header) const {
  if (Observer_) return Observer_->TextWidth(Text, Header);
  return static_cast<int>(Text.size()) * kCharWidth + (Header ? kHeaderMargin : kCellMargin);
}

void RowTable::RowsTouched() {
  RowsDirty_ = true;
  if (UpdateDepth_ == 0) EndUpdate();
}

void RowTable::ColumnsTouched() {
  ColumnsDirty_ = true;
  if (UpdateDepth_ == 0) EndUpdate();
}

void RowTable::EndUpdate() {
  if (UpdateDepth_ > 0) --UpdateDepth_;
  if (UpdateDepth_ > 0) return;
  if (ColumnsDirty_) {
    ColumnsDirty_ = false;
    if (Observer_) Observer_->ColumnsChanged();
  }
  if (RowsDirty_) {
    RowsDirty_ = false;
    if (Observer_) Observer_->RowsChanged();
  }
}

void RowTable::SetColumnWidth(int Col, int Width) {
  Columns_.at(Col).Width = std::max(0, Width);
  ColumnsTouched();
}

void RowTable::AddColumn(const std::string& Caption, int Width) {
  Columns_.push_back(Column{Caption, std::max(0, Width)});
  ColumnsTouched();
}

int RowTable::FitColumnToHeader(int Col) {
  int w = Measure(Columns_.at(Col).Caption, true);
  SetColumnWidth(Col, w);
  return w;
}

int RowTable::FitColumnToContents(int Col) {
  int w = Measure(Columns_.at(Col).Caption, true);
  for (const auto& r : Rows_) {
    std::string_view text;
    if (Col == 0)
      text = r->Caption;
    else if (static_cast<size_t>(Col - 1) < r->SubItemCount())
      text = r->SubItem(static_cast<size_t>(Col - 1));
    if (!text.empty()) w = std::max(w, Measure(text, false));
  }
  SetColumnWidth(Col, w);
  return w;
}

void RowTable::FitShownColumnsToContents() {
  if (Columns_.empty()) return;
  std::vector<int> widths(Columns_.size(), 0);
  for (size_t c = 0; c < Columns_.size(); ++c)
    if (Columns_[c].Width != 0) widths[c] = Measure(Columns_[c].Caption, true);
  // Row by row: each row's cells lie together in memory.
  for (const auto& r : Rows_) {
    if (widths[0] != 0 && !r->Caption.empty()) widths[0] = std::max(widths[0], Measure(r->Caption, false));
    const size_t n = std::min(r->SubItemCount(), Columns_.size() - 1);
    for (size_t j = 0; j < n; ++j) {
      if (widths[j + 1] == 0) continue;
      std::string_view text = r->SubItem(j);
      if (!text.empty()) widths[j + 1] = std::max(widths[j + 1], Measure(text, false));
    }
  }
  for (size_t c = 0; c < Columns_.size(); ++c)
    if (Columns_[c].Width != 0) Columns_[c].Width = widths[c];
  ColumnsTouched();
}

std::string_view RowTable::CellView(int I, int Col) const {
  const Row& r = RowAt(I);
  if (Col == 0) return r.Caption;
  if (Col < 0) throw std::out_of_range("column");
  return r.SubItem(static_cast<size_t>(Col - 1));
}

std::string_view Row::SubItem(size_t J) const {
  if (J >= Ends_.size()) throw std::out_of_range("sub-item");
  const uint32_t begin = J == 0 ? 0 : Ends_[J - 1];
  return std::string_view(Cells_).substr(begin, Ends_[J] - begin);
}

void Row::AppendSubItem(std::string_view Text) {
  Cells_.append(Text);
  Ends_.push_back(static_cast<uint32_t>(Cells_.size()));
}

std::vector<std::string> Row::SubItems() const {
  std::vector<std::string> items;
  items.reserve(Ends_.size());
  for (size_t j = 0; j < Ends_.size(); ++j) items.emplace_back(SubItem(j));
  return items;
}

void Row::SetSubItems(const std::vector<std::string>& Items) {
  ClearSubItems();
  for (const std::string& item : Items) AppendSubItem(item);
}

Row& RowTable::AddRow() {
  Rows_.push_back(std::make_unique<Row>());
  RowsTouched();
  return *Rows_.back();
}

void RowTable::DeleteRow(int I) {
  if (I < 0 || I >= RowCount()) return;
  bool wasSelected = Rows_[I]->Selected;
  Rows_.erase(Rows_.begin() + I);
  RowsTouched();
  if (wasSelected && Observer_) Observer_->SelectionChanged();
}

void RowTable::Clear() {
  if (Rows_.empty()) return;
  Rows_.clear();
  TopIndex_ = 0;
  RowsTouched();
}

void RowTable::Sort(const std::function<int(const Row&, const Row&)>& Compare) {
  if (Rows_.size() < 2) return;
  // The compare routine may show a message box, whose event loop repaints the
  // views: the table must stay whole and readable meanwhile. So the order is
  // worked out on row indices off to the side and applied once at the end. A
  // merge sort never reads outside the range, whatever the compare routine
  // answers; a failing comparison that says "equal" cannot break it.
  std::vector<size_t> order(Rows_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return Compare(*Rows_[a], *Rows_[b]) < 0; });
  std::vector<std::unique_ptr<Row>> sorted;
  sorted.reserve(Rows_.size());
  for (size_t i : order) sorted.push_back(std::move(Rows_[i]));
  Rows_ = std::move(sorted);
  RowsTouched();
}

int RowTable::SelectedCount() const {
  return static_cast<int>(std::count_if(Rows_.begin(), Rows_.end(),
                                        [](const auto& r) { return r->Selected; }));
}

int RowTable::SelectedIndex() const {
  for (int i = 0; i < RowCount(); ++i)
    if (Rows_[i]->Selected) return i;
  return -1;
}

void RowTable::SetSelectedFromView(int I) {
  for (auto& r : Rows_) r->Selected = false;
  if (I >= 0 && I < RowCount()) Rows_[I]->Selected = true;
}

void RowTable::Select(int I) {
  SetSelectedFromView(I);
  if (Observer_) Observer_->SelectionChanged();
}

int RowTable::TopIndex() const { return Observer_ ? Observer_->TopIndex() : TopIndex_; }

int RowTable::RowHeight() const { return Observer_ ? Observer_->RowHeight() : kDefaultRowHeight; }

void RowTable::ScrollBy(int Pixels) {
  if (Observer_) {
    Observer_->ScrollBy(Pixels);
    return;
  }
  int rows = Pixels / kDefaultRowHeight;
  TopIndex_ = std::clamp(TopIndex_ + rows, 0, std::max(0, RowCount() - 1));
}
