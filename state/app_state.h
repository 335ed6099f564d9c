#pragma once
// The program-wide state shared by the window and the command-line tools: the
// five file lists, the four report tables, their sort columns, the game
// directory, the extraction directory, and how the core reads the settings
// that live in the windows (the compression radio group and the autosize check
// mark). Start-up creates one; every test builds its own. The engine sees only
// its own part of it (EngineState), row building its part (TableState).
#include "definitions/table_state.h"
#include "mod/figure_columns.h"

struct AppState : TableState {
  using TableState::TableState;

  // The balance figures as extra columns of the units and weapons tables;
  // off until switched on.
  FigureColumns Figures{*this};
};
