// nandell.exe, the Windows window: the settings store first (it makes the executable's folder
// the current directory and loads Config.ini), then the user interface; the store writes
// Config.ini last, when the process exits.
#include <windows.h>

#include "settings/settings_store.h"
#include "winui/application.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int /*show*/) {
  nandell::SettingsStore& settings = nandell::Settings();
  return nandell::winui::RunApplication(settings);
}
