// The table tools: autosize, duplicate check, unit-name list, information counts
// and the unit row click.
#include "app/main_form.h"

void TMainForm::AutosizeallColumnsClick() {}
void TMainForm::CheckfordoubleClick() {}
void TMainForm::UnitNameListClick() {}
void TMainForm::InformationClick() {}
void TMainForm::UnitViewClick() {}
