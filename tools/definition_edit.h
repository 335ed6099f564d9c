#pragma once
// Where a table row's cells lie in its definition file, and the byte edits
// that change them: a value is replaced in place, keeping every other byte;
// a key the definition lacks is added at the end of its section in the
// file's own line ends and indentation.
#include <string>
#include <string_view>
#include <vector>

#include "apply_plan.h"
#include "text_edit.h"

struct DefinitionFile;

// Finds the definition a row names in Text (read into File): for a unit
// (Section empty) the whole file, otherwise the record of the table whose
// first section is Section and that holds CaptionKey, and adds the edits of
// Cells to Edits. The occurrence of a key that the table shows (the first in
// the record) is the one changed. A cell that cannot be changed safely adds
// a line to Problems and no edit. False when the definition is not there.
bool PlanDefinitionEdits(std::string_view Text, const DefinitionFile& File, const std::string& Section,
                         const std::string& CaptionKey, const std::vector<CellChange>& Cells,
                         std::vector<TextEdit>& Edits, std::vector<std::string>& Problems);

// What a new value may not hold, because it would end the value early or add
// statements or sections: "" when it may be written.
std::string UnsafeValue(std::string_view Value);
