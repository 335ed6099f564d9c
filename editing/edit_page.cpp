// The edit page: opening a row's file as text, editing, saving, cancelling.
#include "app/main_form.h"

void TMainForm::OpenEditPage(RowTable&) {}
void TMainForm::UnitViewDblClick() {}
void TMainForm::WeaponViewDblClick() {}
void TMainForm::DownloadViewDblClick() {}
void TMainForm::CorpseViewDblClick() {}
void TMainForm::EditSaveClick() {}
void TMainForm::EditCancelClick() {}
void TMainForm::EditMemoChange() {}
void TMainForm::CloseEditPageIfShowing(bool) {}
