#pragma once
// Taking the user to a definition from a list: its row selected on its
// table's page, or its file opened on the edit page at a line.
class TMainForm;
class RowTable;

// Selects row Row of Table and scrolls it into view; the table's page is
// shown unless the edit page is open.
void ShowTableRow(TMainForm& Form, RowTable& Table, int Row);

// Opens the file of row Row of Table on the edit page, as a double click on
// the row does, with the cursor at the start of line Line (1-based). A file
// on the edit page with typed text that is not saved is not left without the
// user's leave. False when the page was not opened.
bool OpenEditPageAtLine(TMainForm& Form, RowTable& Table, int Row, int Line);
