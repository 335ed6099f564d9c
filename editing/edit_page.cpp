// The edit page: opening a row's file as text, editing, saving, cancelling.
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QPushButton>
#include <QLabel>
#include <QTabWidget>
#include <string>

#include "app/latin1.h"
#include "app/main_form.h"
#include "archive/write_whole_file.h"
#include "definitions/build_rows.h"
#include "definitions/tokenizer.h"
#include "editing/edit_text.h"
#include "editing/save_unpacked.h"

namespace {

const QString kCaptionEdit = QStringLiteral("Edit");
const QString kCaptionSave = QStringLiteral("Save");
const QString kCaptionCopy = QStringLiteral("Copy");

}  // namespace

void TMainForm::ShowTableTabs(bool Visible) {
  for (QWidget* page : {UnitSheet, WeaponSheet, CorpseSheet, DownloadSheet})
    MainPanelControl->setTabVisible(MainPanelControl->indexOf(page), Visible);
}

// Leaves the edit page for the page it was opened from: the editor is emptied
// and locked, the edit tab hidden and the table tabs shown again.
static void LeaveEditPage(TMainForm& F) {
  F.EditSave->setText(kCaptionEdit);
  F.EditMemo->setEnabled(false);
  F.EditMemo->clear();
  QWidget* back = F.ReturnPage;
  if (!back || back == F.EditSheet) back = F.UnitSheet;
  F.ShowTableTabs(true);
  F.MainPanelControl->setTabVisible(F.MainPanelControl->indexOf(back), true);
  F.MainPanelControl->setCurrentWidget(back);
  F.MainPanelControl->setTabVisible(F.MainPanelControl->indexOf(F.EditSheet), false);
}

void TMainForm::OpenEditPage(RowTable& View) {
  if (View.SelectedCount() != 1) return;
  int selected = View.SelectedIndex();
  if (selected < 0) return;
  UnPacked* entry = View.RowAt(selected).Data;
  if (!entry) return;

  EditEntry = entry;
  ReturnPage = MainPanelControl->currentWidget();
  if (entry->Kind == kKindLoose)
    EditSheetLabel->setText(Latin1("FileName : " + entry->UnPackedFile + " on disk."));
  else
    EditSheetLabel->setText(
        Latin1("FileName : " + entry->UnPackedFile + " in " + entry->ParentFile + "."));
  // A plain label that grows with its text: the whole name always shows.
  EditSheetLabel->adjustSize();
  MainPanelControl->setTabVisible(MainPanelControl->indexOf(EditSheet), true);

  EditLoaded = LoadedBytes(*entry);
  const QString text = FileLinesToEditor(GetUnpackedLines(*entry, false));
  if (EditMemo->document()->isEmpty())
    EditMemo->setPlainText(text);
  else
    EditMemo->appendPlainText(text);
  // Showing, not yet editing: the editor stays disabled until "Edit".
  EditMemo->setEnabled(false);

  MainPanelControl->setCurrentWidget(EditSheet);
  EditView = &View;
  ShowTableTabs(false);
}

// A double click: opens the table's selected row, then notes the table's list
// and multi-section flag for rebuilding its rows after a save (also when no
// page opened).
void TMainForm::OpenEditPageOf(RowTable& View) {
  OpenEditPage(View);
  EditFiles = &State.FilesOf(View);
  EditMultiSection = State.MultiSectionOf(View);
}

void TMainForm::UnitViewDblClick() { OpenEditPageOf(State.UnitView); }

void TMainForm::WeaponViewDblClick() { OpenEditPageOf(State.WeaponView); }

void TMainForm::DownloadViewDblClick() { OpenEditPageOf(State.DownloadView); }

void TMainForm::CorpseViewDblClick() { OpenEditPageOf(State.CorpseView); }

void TMainForm::EditMemoChange() { EditChanged = true; }

void TMainForm::EditSaveClick() {
  const QString caption = EditSave->text();
  if (caption == kCaptionEdit) {
    if (!EditEntry) return;  // nothing shown
    EditMemo->setEnabled(true);
    EditSave->setText(kCaptionSave);
    EditChanged = false;  // loading the text does not count as a change
  } else if (caption == kCaptionSave) {
    if (EditChanged && EditEntry && EditView && EditFiles) {
      // A read-only file or archive is refused before anything changes: the
      // page stays open in the editing state with the new text.
      if (const std::string refusal = ReadOnlyRefusal(*EditEntry); !refusal.empty()) {
        State.dialogs.ShowMessage(refusal);
        return;
      }
      // The raw text keeps no-break spaces, which the plain text turns into blanks.
      const std::string bytes = EditorTextToFile(EditMemo->document()->toRawText());
      EditEntry->SetContents(bytes.data(), static_cast<int32_t>(bytes.size()));
      EditEntry->Changed = 1;
      EditedSave saved;
      try {
        saved = SaveEditedFile(State, *EditEntry, EditLoaded);
      } catch (const WriteFileError& e) {
        // The write failed: the page stays open in the editing state with the
        // new text, and the rows are left as they were.
        State.dialogs.ShowMessage(e.what());
        return;
      }
      BuildRows(State, *EditView, *EditFiles, EditMultiSection, brReplaceFile, EditEntry);
      if (saved == EditedSave::KeptOther) {
        ShowOtherVersion();
        return;
      }
      EditEntry = nullptr;
      LeaveEditPage(*this);
      emit EntrySaved();
      return;
    }
    EditEntry = nullptr;
    LeaveEditPage(*this);
  } else if (caption == kCaptionCopy) {
    State.dialogs.SetClipboardText(Bytes(EditMemo->toPlainText()));
    LeaveEditPage(*this);
  }
}

// The file changed meanwhile and the user kept that version: the page shows
// it as a freshly opened page does, not yet editing.
void TMainForm::ShowOtherVersion() {
  EditLoaded = LoadedBytes(*EditEntry);
  EditMemo->setPlainText(FileLinesToEditor(GetUnpackedLines(*EditEntry, false)));
  EditMemo->setEnabled(false);
  EditSave->setText(kCaptionEdit);
  EditChanged = false;
}

void TMainForm::EditCancelClick() {
  EditEntry = nullptr;
  LeaveEditPage(*this);
}

void TMainForm::CloseEditPageIfShowing(bool LooseOnly) {
  if (!EditEntry) return;
  if (LooseOnly && EditEntry->Kind != kKindLoose) return;
  EditCancelClick();
}

bool TMainForm::HasUnsavedEdits() const {
  return EditEntry && EditChanged && EditSave->text() == kCaptionSave;
}

bool TMainForm::SettleEdits() {
  if (!HasUnsavedEdits()) return true;
  const std::string where = EditEntry->Kind == kKindLoose ? EditEntry->UnPackedFile
                                                          : EditEntry->UnPackedFile + " in " + EditEntry->ParentFile;
  switch (State.dialogs.AskUnsaved("The changes to " + where + " are not saved. Save them?")) {
    case Dialogs::Unsaved::Save:
      EditSaveClick();
      // A failed write leaves the page open with the text: then nothing goes on.
      return !HasUnsavedEdits();
    case Dialogs::Unsaved::Discard:
      EditCancelClick();
      return true;
    case Dialogs::Unsaved::Stay:
      break;
  }
  return false;
}
