// "Ex&tract...": unpacking whole archives below a chosen directory.
#include "app/main_form.h"

void TMainForm::ExtractufosClick() {}
