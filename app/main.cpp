// Kestrava: compares the unit, weapon, build-menu and corpse definitions of
// Total Annihilation archives side by side.
#include <QApplication>

#include "app/main_form.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::unique_ptr<Program> program = StartUp();
  program->MainForm->show();
  return app.exec();
}
