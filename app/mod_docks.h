#pragma once
// The Problems and Changes lists of the main window, docked at its bottom and
// hidden until used, and the commands of the Extra menu that reach them.
class TMainForm;

void AddModDocks(TMainForm& Form);
