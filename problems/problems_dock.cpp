#include "problems/problems_dock.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <set>

#include "app/go_to_definition.h"
#include "app/latin1.h"
#include "app/main_form.h"
#include "app/report_view.h"
#include "mod/check_config.h"
#include "mod/table_marks.h"
#include "state/open_sources.h"

namespace {


const QString kAll = QStringLiteral("All");

enum Columns { kSeverity, kId, kFile, kLine, kDefinition, kMessage, kColumnCount };
constexpr int kProblemRole = Qt::UserRole + 1;  // the finding's index, on the severity cell


QIcon SeverityIcon(CheckSeverity S) {
  return QApplication::style()->standardIcon(S == CheckSeverity::Error     ? QStyle::SP_MessageBoxCritical
                                             : S == CheckSeverity::Warning ? QStyle::SP_MessageBoxWarning
                                                                           : QStyle::SP_MessageBoxInformation);
}

QString Count(int N, const char* What) {
  return QString::number(N) + ' ' + QString::fromLatin1(What) + (N == 1 ? "" : "s");
}

// Where a finding's file is in the tables: its kind and its definition.
bool DefinitionOf(const AppState& State, const Problem& P, TableKind& Kind, DefinitionRef& Ref) {
  const std::string path = P.Archive.empty() ? PathBelowGameDirectory(State, P.File) : P.File;
  if (!TableKindOfPath(path, Kind)) return false;
  Ref = {P.Archive, P.File, P.Definition, false};
  return true;
}

}  // namespace

// The list's filter: an ID, a severity word and a text that some cell holds.
class ProblemFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  QString Id, Severity, Text;
  void Changed() { invalidateFilter(); }

 protected:
  bool filterAcceptsRow(int Row, const QModelIndex& Parent) const override {
    const auto cell = [&](int Column) { return sourceModel()->index(Row, Column, Parent).data().toString(); };
    if (!Id.isEmpty() && cell(kId) != Id) return false;
    if (!Severity.isEmpty() && cell(kSeverity) != Severity) return false;
    if (Text.isEmpty()) return true;
    for (int c = 0; c < kColumnCount; ++c)
      if (cell(c).contains(Text, Qt::CaseInsensitive)) return true;
    return false;
  }
};

ProblemsDock::ProblemsDock(TMainForm& Form) : QDockWidget("Problems", &Form), Form_(Form), Marks_(Form.State) {
  setObjectName("ProblemsDock");
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(4, 4, 4, 4);

  auto* bar = new QHBoxLayout;
  TextFilter = new QLineEdit(body);
  TextFilter->setObjectName("ProblemsTextFilter");
  TextFilter->setPlaceholderText("Filter");
  TextFilter->setClearButtonEnabled(true);
  TextFilter->setAccessibleName("Filter by text");
  IdFilter = new QComboBox(body);
  IdFilter->setObjectName("ProblemsIdFilter");
  IdFilter->setAccessibleName("Filter by ID");
  IdFilter->addItem(kAll);
  IdFilter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  SeverityFilter = new QComboBox(body);
  SeverityFilter->setObjectName("ProblemsSeverityFilter");
  SeverityFilter->setAccessibleName("Filter by severity");
  SeverityFilter->addItem(kAll);
  for (CheckSeverity s : {CheckSeverity::Error, CheckSeverity::Warning, CheckSeverity::Note})
    SeverityFilter->addItem(SeverityIcon(s), QString::fromLatin1(SeverityWord(s)));
  Counts = new QLabel(body);
  Counts->setObjectName("ProblemsCounts");
  Progress = new QProgressBar(body);
  Progress->setObjectName("ProblemsProgress");
  Progress->setRange(0, 0);  // busy: the checks do not tell how far they are
  Progress->setMaximumWidth(120);
  Progress->setAccessibleName("Checking");
  Progress->hide();
  CancelButton = new QPushButton("Cancel", body);
  CancelButton->setObjectName("ProblemsCancel");
  CancelButton->hide();
  bar->addWidget(TextFilter, 1);
  bar->addWidget(new QLabel("ID:", body));
  bar->addWidget(IdFilter);
  bar->addWidget(new QLabel("Severity:", body));
  bar->addWidget(SeverityFilter);
  bar->addWidget(Counts);
  bar->addWidget(Progress);
  bar->addWidget(CancelButton);
  layout->addLayout(bar);

  Model_ = new QStandardItemModel(0, kColumnCount, this);
  Model_->setHorizontalHeaderLabels({"Severity", "ID", "File", "Line", "Definition", "Message"});
  Filter_ = new ProblemFilter(this);
  Filter_->setSourceModel(Model_);
  List = new QTreeView(body);
  List->setObjectName("ProblemsList");
  List->setAccessibleName("Problems");
  List->setModel(Filter_);
  List->setRootIsDecorated(false);
  List->setUniformRowHeights(true);
  List->setSortingEnabled(true);
  List->sortByColumn(-1, Qt::AscendingOrder);  // in the checker's order until a header is clicked
  List->setEditTriggers(QAbstractItemView::NoEditTriggers);
  List->setSelectionBehavior(QAbstractItemView::SelectRows);
  List->header()->setStretchLastSection(true);
  layout->addWidget(List, 1);
  Status = new QLabel(body);
  Status->setObjectName("ProblemsStatus");
  Status->setWordWrap(true);
  Status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(Status);
  setWidget(body);

  connect(TextFilter, &QLineEdit::textChanged, this, [this] { Refilter(); });
  connect(IdFilter, &QComboBox::currentIndexChanged, this, [this] { Refilter(); });
  connect(SeverityFilter, &QComboBox::currentIndexChanged, this, [this] { Refilter(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
  connect(List, &QTreeView::activated, this, [this](const QModelIndex& I) { OpenFinding(I.row()); });
  connect(&Form_, &TMainForm::EntrySaved, this, [this] {
    if (Checked_) Run();
  });
  Counts->setText(Count(0, "error") + ", " + Count(0, "warning"));
}

ProblemsDock::~ProblemsDock() {
  // A check still running reads the sources: it ends before the window does.
  if (CancelFlag_) CancelFlag_->store(true);
  if (Watcher_) Watcher_->waitForFinished();
  for (QFuture<ProblemCheck>& f : Abandoned_) f.waitForFinished();
  for (ReportView* v : {Form_.UnitView, Form_.WeaponView, Form_.CorpseView, Form_.DownloadView})
    v->RemoveAnnotations(&Marks_);
}

void ProblemsDock::Run() {
  show();
  raise();
  ProblemSources sources;
  sources.Archives = OpenedArchives(Form_.State);
  if (LooseFilesIncluded(Form_.State)) sources.LooseDirectory = Form_.State.TaDir;
  if (sources.Archives.empty() && sources.LooseDirectory.empty()) {
    Status->setText("Nothing is open to check: open an archive or include the game directory's files.");
    return;
  }
  if (Watcher_) Cancel();
  CancelFlag_ = std::make_shared<std::atomic<bool>>(false);
  Status->setText("Checking...");
  Progress->show();
  CancelButton->show();
  auto* watcher = new QFutureWatcher<ProblemCheck>(this);
  Watcher_ = watcher;
  connect(watcher, &QFutureWatcher<ProblemCheck>::finished, this, [this, watcher] {
    if (watcher != Watcher_) return;
    Watcher_ = nullptr;
    watcher->deleteLater();
    Progress->hide();
    CancelButton->hide();
    Show(watcher->result());
    emit Finished();
  });
  // The bar shows the files read so far; the reading threads hand their
  // count to the interface thread.
  Progress->setRange(0, 0);
  QPointer<QProgressBar> bar = Progress;
  auto progress = [bar](size_t Done, size_t Total) {
    QMetaObject::invokeMethod(bar, [bar, Done, Total] {
      if (!bar) return;
      bar->setRange(0, static_cast<int>(Total));
      bar->setValue(static_cast<int>(Done));
    }, Qt::QueuedConnection);
  };
  watcher->setFuture(QtConcurrent::run([sources, flag = CancelFlag_, progress] {
    return RunProblemCheck(sources, kCheckConfigName, *flag, progress);
  }));
}

void ProblemsDock::Cancel() {
  if (!Watcher_) return;
  CancelFlag_->store(true);
  QFutureWatcher<ProblemCheck>* watcher = Watcher_;
  Watcher_ = nullptr;
  Abandoned_.push_back(watcher->future());
  watcher->disconnect(this);
  watcher->deleteLater();
  // Checks that ended meanwhile are let go.
  std::erase_if(Abandoned_, [](const QFuture<ProblemCheck>& F) { return F.isFinished(); });
  Progress->hide();
  CancelButton->hide();
  Status->setText("The check was cancelled.");
  emit Finished();
}

void ProblemsDock::Show(ProblemCheck Check) {
  if (Check.Cancelled) {
    Status->setText("The check was cancelled.");
    return;
  }
  QStringList notes;
  for (const std::string& n : Check.Notes) notes << Latin1(n);
  if (Check.Failed) {
    Status->setText(notes.join('\n'));
    return;
  }
  Shown_ = std::move(Check);
  Checked_ = true;
  Model_->removeRows(0, Model_->rowCount());
  std::set<QString> ids;
  int errors = 0, warnings = 0, noteCount = 0;
  for (size_t i = 0; i < Shown_.Problems.size(); ++i) {
    const Problem& p = Shown_.Problems[i];
    ++(p.Severity == CheckSeverity::Error ? errors : p.Severity == CheckSeverity::Warning ? warnings : noteCount);
    auto* severity = new QStandardItem(SeverityIcon(p.Severity), QString::fromLatin1(SeverityWord(p.Severity)));
    severity->setData(static_cast<int>(i), kProblemRole);
    auto* line = new QStandardItem;
    line->setData(p.Line, Qt::DisplayRole);
    const QList<QStandardItem*> row = {severity,
                                       new QStandardItem(QString::fromLatin1(p.Id)),
                                       new QStandardItem(Latin1(p.Place)),
                                       line,
                                       new QStandardItem(Latin1(p.Definition)),
                                       new QStandardItem(Latin1(p.Message))};
    Model_->appendRow(row);
    ids.insert(QString::fromLatin1(p.Id));
  }
  const QString id = IdFilter->currentText();
  {
    const QSignalBlocker block(IdFilter);
    IdFilter->clear();
    IdFilter->addItem(kAll);
    for (const QString& i : ids) IdFilter->addItem(i);
    IdFilter->setCurrentIndex(std::max(0, IdFilter->findText(id)));
  }
  Refilter();
  for (int c = 0; c + 1 < kColumnCount; ++c) List->resizeColumnToContents(c);
  Counts->setText(Count(errors, "error") + ", " + Count(warnings, "warning") +
                  (noteCount ? ", " + Count(noteCount, "note") : QString()));
  notes.prepend(Shown_.Problems.empty() ? QStringLiteral("No problems found.")
                                        : QString::number(Shown_.Problems.size()) + " problems found.");
  Status->setText(notes.join('\n'));
  MarkCells();
}

void ProblemsDock::Refilter() {
  Filter_->Id = IdFilter->currentIndex() > 0 ? IdFilter->currentText() : QString();
  Filter_->Severity = SeverityFilter->currentIndex() > 0 ? SeverityFilter->currentText() : QString();
  Filter_->Text = TextFilter->text();
  Filter_->Changed();
}

// The findings of a value that names nothing: these mark their cell.
static bool IsBrokenReference(const Problem& P) {
  return P.Id == "unknown-weapon" || P.Id == "unknown-feature" || P.Id == "unknown-unit";
}

void ProblemsDock::MarkCells() {
  Marks_.Marks.Clear();
  for (const Problem& p : Shown_.Problems) {
    TableKind kind;
    DefinitionRef ref;
    if (p.Key.empty() || !IsBrokenReference(p) || !DefinitionOf(Form_.State, p, kind, ref)) continue;
    Marks_.Marks.Add(kind, ref, p.Key, MarkKind::Problem,
                     std::string(SeverityWord(p.Severity)) + ": " + p.Message + " [" + p.Id + "]");
  }
  ViewsChanged();
}

void ProblemsDock::ViewsChanged() {
  for (ReportView* v : {Form_.UnitView, Form_.WeaponView, Form_.CorpseView, Form_.DownloadView}) {
    if (Marks_.Marks.Empty())
      v->RemoveAnnotations(&Marks_);
    else
      v->AddAnnotations(&Marks_);
  }
}

void ProblemsDock::OpenFinding(int ListRow) {
  const QModelIndex source = Filter_->mapToSource(Filter_->index(ListRow, kSeverity));
  if (!source.isValid()) return;
  const size_t index = static_cast<size_t>(source.data(kProblemRole).toInt());
  if (index >= Shown_.Problems.size()) return;
  const Problem& p = Shown_.Problems[index];
  TableKind kind;
  DefinitionRef ref;
  int row = -1;
  if (DefinitionOf(Form_.State, p, kind, ref)) {
    RowTable& table = TableOfKind(Form_.State, kind);
    row = FindDefinitionRow(kind, table, ref);
    if (row < 0) {
      ref.Name.clear();  // a definition of no row of its own: its file's first row
      row = FindDefinitionRow(kind, table, ref);
    }
    if (row >= 0) {
      OpenEditPageAtLine(Form_, table, row, p.Line);
      return;
    }
  }
  Form_.State.dialogs.ShowMessage(p.Place + " gives no row in the tables, so it cannot be opened on the edit page.");
}
