#include "winui/application.h"

#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <objbase.h>
#include <objidl.h>
// GDI+ after the COM declarations it builds on.
#include <gdiplus.h>

#include <cstdio>
#include <mutex>

#include "log/msgx.h"
#include "platform/process.h"
#include "platform/translate.h"
#include "platform/windows_support.h"
#include "winui/link_label.h"
#include "winui/main_window.h"

namespace nandell::winui {
namespace {

std::string EnvironmentValue(const wchar_t* name) {
  const DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return std::string();
  std::wstring value(needed, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(name, value.data(), needed);
  value.resize(length < needed ? length : 0);
  return win::Narrow(value);
}

}  // namespace

bool RecordLaunchesIfAsked() {
  const std::string log = EnvironmentValue(win::Widen(kLaunchLogVariable).c_str());
  if (log.empty()) return false;
  SetProgramLauncher([log](const std::string& file, const std::string& parameters, bool) {
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    if (FILE* out = ::_wfopen(win::WinPath(log).c_str(), L"ab")) {
      const std::string line = file + "\t" + parameters + "\n";
      std::fwrite(line.data(), 1, line.size(), out);
      std::fclose(out);
    }
    return 0;
  });
  return true;
}

int RunApplication(SettingsStore& settings) {
  // The language of every text, chosen before any window or thread uses one.
  Language language = Language::kChinese;
  ParseLanguage(settings.Language, &language);
  std::string language_error;
  const bool language_ready = SetLanguage(language, "", &language_error);
  // The four process-wide link labels (made together), then the log object.
  LinkLabel::Instance(1);
  MsgX();
  if (!language_ready) MsgX().Log(language_error.c_str(), 0, __LINE__, "application.cpp");
  RecordLaunchesIfAsked();

  // The controls the windows use (the time field of the options window among them), COM for
  // the shell's folder browser, and GDI+ for the image buttons.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_DATE_CLASSES};
  ::InitCommonControlsEx(&controls);
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  {
    // The whole life of the user interface; the window hands its folders and switch back to
    // the store when it closes, and is gone (with its images) before GDI+ shuts down.
    MainWindow window(settings);
    window.DoModal(nullptr);
  }
  Gdiplus::GdiplusShutdown(token);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return 0;
}

}  // namespace nandell::winui
