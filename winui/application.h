#pragma once

// The Windows program's start-up and shutdown around its main window.

#include <string>

#include "settings/settings_store.h"

namespace nandell::winui {

/// The environment variable that, when it names a file, makes the program record every program
/// or link it would start (Notepad on the failure list, the links) as a line "FILE\tPARAMETERS"
/// appended to that file (UTF-8) instead of starting it. For tests; unset, programs start.
inline constexpr const char* kLaunchLogVariable = "NANDELL_LAUNCH_LOG";

/// Installs the recording launcher of kLaunchLogVariable when it is set. Returns whether it did.
bool RecordLaunchesIfAsked();

/// The whole life of the user interface over `settings` (whose Config.ini is written when the
/// process ends): the language of the texts (Language), the common controls, COM and GDI+, then
/// the main window runs modally until it is closed; GDI+ and COM are shut down after it. Returns
/// the process's exit code (0).
int RunApplication(SettingsStore& settings);

}  // namespace nandell::winui
