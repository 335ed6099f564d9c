#include "mod/table_marks.h"

#include "archive/ascii_case.h"
#include "archive/file_lists.h"

namespace {

// A path for comparing: lower case, '/' between levels, no empty levels.
std::string NormalPath(const std::string& Path) {
  std::string out;
  out.reserve(Path.size());
  for (const char c : Path) {
    const char d = c == '\\' ? '/' : FoldAscii(c);
    if (d == '/' && !out.empty() && out.back() == '/') continue;
    out += d;
  }
  return out;
}

std::string FileKey(const std::string& Archive, const std::string& File) {
  return NormalPath(Archive) + '\n' + NormalPath(File);
}

std::string RowFileKey(const Row& R) {
  const UnPacked& e = *R.Data;
  return FileKey(e.Kind == kKindLoose ? std::string() : e.ParentFile, e.UnPackedFile);
}

int ColumnOf(const RowTable& View, std::string_view Caption) {
  for (int c = 0; c < View.ColumnCount(); ++c)
    if (EqualIgnoringCase(View.ColumnCaption(c), Caption)) return c;
  return -1;
}

std::string_view CellOf(const RowTable& View, const Row& R, std::string_view Caption) {
  const int c = ColumnOf(View, Caption);
  return c < 0 ? std::string_view() : R.Cell(static_cast<size_t>(c));
}

// Whether the definition named Name (ByMenuAndUnit as in DefinitionRef) is row R's.
bool NameMatches(TableKind Kind, const RowTable& View, const Row& R, std::string_view Name, bool ByMenuAndUnit) {
  if (Kind == TableKind::Units || Name.empty()) return true;
  if (Kind == TableKind::Download && ByMenuAndUnit)
    return EqualIgnoringCase(R.Caption + "/" + std::string(CellOf(View, R, "UnitName")), Name);
  return EqualIgnoringCase(CellOf(View, R, "SName"), Name);
}

}  // namespace

bool TableKindOfPath(const std::string& Path, TableKind& Kind) {
  const std::string p = NormalPath(Path);
  const size_t slash = p.rfind('/');
  if (slash == std::string::npos) return false;
  const std::string dir = p.substr(0, slash), name = p.substr(slash + 1);
  const auto has = [&](const char* Ext) { return name.find(Ext) != std::string::npos; };
  if (dir == "units" && has(".fbi")) Kind = TableKind::Units;
  else if (dir == "weapons" && has(".tdf")) Kind = TableKind::Weapons;
  else if (dir == "features/corpses" && has(".tdf")) Kind = TableKind::Corpses;
  else if (dir == "download" && has(".tdf")) Kind = TableKind::Download;
  else return false;
  return true;
}

void TableMarks::Clear() {
  for (PerTable& t : Tables_) t.ByFile.clear();
  Count_ = 0;
}

void TableMarks::Add(TableKind Kind, const DefinitionRef& Ref, const std::string& Key, MarkKind Mark,
                     std::string Text) {
  Tables_[static_cast<size_t>(Kind)].ByFile[FileKey(Ref.Archive, Ref.File)].push_back(
      {LowerAscii(Ref.Name), Ref.ByMenuAndUnit, LowerAscii(Key), Mark, std::move(Text)});
  ++Count_;
}

bool TableMarks::MarksOf(TableKind Kind, const RowTable& View, const Row& R, std::vector<CellMark>& Out) const {
  const PerTable& t = Tables_[static_cast<size_t>(Kind)];
  if (t.ByFile.empty() || !R.Data) return false;
  const auto found = t.ByFile.find(RowFileKey(R));
  if (found == t.ByFile.end()) return false;
  bool any = false;
  for (const Entry& e : found->second) {
    if (!NameMatches(Kind, View, R, e.Name, e.ByMenuAndUnit)) continue;
    const int column = e.Key.empty() ? 0 : ColumnOf(View, e.Key);
    if (column < 0) continue;
    Out.push_back({e.Kind, column, e.Text});
    any = true;
  }
  return any;
}

bool RowIsDefinition(TableKind Kind, const RowTable& View, const Row& R, const DefinitionRef& Ref) {
  return R.Data && RowFileKey(R) == FileKey(Ref.Archive, Ref.File) &&
         NameMatches(Kind, View, R, Ref.Name, Ref.ByMenuAndUnit);
}

int FindDefinitionRow(TableKind Kind, const RowTable& View, const DefinitionRef& Ref) {
  for (int i = 0; i < View.RowCount(); ++i)
    if (RowIsDefinition(Kind, View, View.RowAt(i), Ref)) return i;
  return -1;
}
