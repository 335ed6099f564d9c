#include "app/go_to_definition.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>

#include "app/main_form.h"
#include "app/report_view.h"

namespace {

const char kLeaveEditQuestion[] = "The text on the edit page was changed and is not saved. Leave it?";

QWidget* SheetOf(TMainForm& F, const RowTable& Table) {
  if (&Table == &F.State.WeaponView) return F.WeaponSheet;
  if (&Table == &F.State.CorpseView) return F.CorpseSheet;
  if (&Table == &F.State.DownloadView) return F.DownloadSheet;
  return F.UnitSheet;
}

ReportView* ViewOf(TMainForm& F, const RowTable& Table) {
  if (&Table == &F.State.WeaponView) return F.WeaponView;
  if (&Table == &F.State.CorpseView) return F.CorpseView;
  if (&Table == &F.State.DownloadView) return F.DownloadView;
  return F.UnitView;
}

void PlaceCursor(QPlainTextEdit& Memo, int Line) {
  const QTextBlock block = Memo.document()->findBlockByNumber(std::max(0, Line - 1));
  QTextCursor cursor(Memo.document());
  if (block.isValid()) cursor.setPosition(block.position());
  Memo.setTextCursor(cursor);
  Memo.centerCursor();
}

}  // namespace

void ShowTableRow(TMainForm& Form, RowTable& Table, int Row) {
  if (Row < 0 || Row >= Table.RowCount()) return;
  if (Form.MainPanelControl->currentWidget() != Form.EditSheet)
    Form.MainPanelControl->setCurrentWidget(SheetOf(Form, Table));
  Table.Select(Row);
  ReportView* view = ViewOf(Form, Table);
  view->scrollTo(view->Model()->index(Row, 0));
}

bool OpenEditPageAtLine(TMainForm& Form, RowTable& Table, int Row, int Line) {
  if (Row < 0 || Row >= Table.RowCount()) return false;
  UnPacked* entry = Table.RowAt(Row).Data;
  if (!entry) return false;
  const bool editing = Form.EditSave->text() == QStringLiteral("Save");
  if (Form.MainPanelControl->currentWidget() == Form.EditSheet || Form.EditEntry) {
    if (Form.EditEntry == entry) {
      PlaceCursor(*Form.EditMemo, Line);
      return true;
    }
    if (editing && Form.EditChanged && !Form.State.dialogs.AskYesNo(kLeaveEditQuestion, true)) return false;
    Form.EditCancelClick();
  }
  ShowTableRow(Form, Table, Row);
  Form.OpenEditPageOf(Table);
  if (Form.EditEntry != entry) return false;
  PlaceCursor(*Form.EditMemo, Line);
  Form.EditMemo->setFocus();
  return true;
}
