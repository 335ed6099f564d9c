#include "app/startup.h"

#include <QApplication>
#include <QSettings>

#include "app/about_box.h"
#include "app/information_form.h"
#include "app/main_form.h"
#include "app/mod_docks.h"
#include "app/qt_dialogs.h"
#include "options/options_form.h"

// The icon and other resources live in the window library, linked statically.
static void LoadResources() { Q_INIT_RESOURCE(resources); }

Program::Program() = default;

Program::~Program() {
  // Secondary windows first, then the main window, then what they all use.
  InformationForm.reset();
  AboutBox.reset();
  OptionsForm.reset();
  if (State) State->CompressionSetting = [] { return 1; };  // it asked the dialog just destroyed
  MainForm.reset();
  State.reset();
  OwnDialogs.reset();
  Settings.reset();
}

std::unique_ptr<Program> StartUp(Dialogs* Given, std::unique_ptr<QSettings> Settings) {
  QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle.c_str()));
  QGuiApplication::setDesktopFileName("kestrava");
  LoadResources();

  auto p = std::make_unique<Program>();
  if (!Settings && !Given) Settings = UserSettings();
  p->Settings = std::move(Settings);
  if (!Given) {
    p->OwnDialogs = std::make_unique<QtDialogs>();
    Given = p->OwnDialogs.get();
  }
  p->State = std::make_unique<AppState>(*Given);
  p->MainForm = std::make_unique<TMainForm>(*p->State);
  AddModDocks(*p->MainForm);
  p->OptionsForm = std::make_unique<TOptionsForm>(*p->State, *p->MainForm);
  p->MainForm->OptionsForm = p->OptionsForm.get();
  p->AboutBox = std::make_unique<TAboutBox>(*p->MainForm);
  p->MainForm->AboutBox = p->AboutBox.get();
  p->InformationForm = std::make_unique<TInformationForm>(*p->MainForm);
  p->MainForm->InformationForm = p->InformationForm.get();
  p->MainForm->Settings = p->Settings.get();
  p->MainForm->LoadSettings();
  return p;
}
