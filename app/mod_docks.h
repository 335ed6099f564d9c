#pragma once
// The Problems and Changes lists of the main window, docked at its bottom and
// hidden until used, and the "&Mod" menu that reaches them.
class TMainForm;

void AddModDocks(TMainForm& Form);
