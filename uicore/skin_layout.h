#pragma once

// Where the main window's controls go, computed from the skin's size and the sizes its button
// strips give the buttons, and where the About box's lines go: the tables both windows (Qt and
// Windows) lay out by.

#include <string>

#include "res/resource_ids.h"
#include "uicore/build_info.h"

namespace nandell {

/// A size in pixels.
struct SkinSize {
  int width = 0;
  int height = 0;
  bool operator==(const SkinSize&) const = default;
};

/// A rectangle in the window's client coordinates, in pixels.
struct SkinRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const SkinRect&) const = default;
};

/// The sizes of the main window's image buttons after their strips were loaded (one slice each).
struct MainButtonSizes {
  SkinSize close, minimize, options, about, photo, output, organize, stop;
};

/// The main window's controls, placed.
struct MainLayout {
  SkinRect close;          ///< 1009
  SkinRect minimize;       ///< 1010
  SkinRect options;        ///< 1011
  SkinRect about;          ///< 1012
  SkinRect photo;          ///< 1001
  SkinRect photo_text;     ///< 1019
  SkinRect output;         ///< 1003
  SkinRect output_text;    ///< 1020
  SkinRect organize;       ///< 1005
  SkinRect message;        ///< 1018
  SkinRect stop;           ///< 1007 (hidden until a run starts)
  SkinRect delete_source;  ///< 1006
  SkinRect footer;         ///< 1013
};

/// The main window's layout on a skin of `width` x `height` (W x H) with buttons of `buttons`'
/// sizes (w x h each). All divisions truncate:
///   close (W - w - 2, 2); minimize (W - 2w - 2, 2); options (prev - 2w, 5); about
///   (prev - w - 2, 5), prev being the x of the row before; the photo, output and organize
///   buttons at (w/2 + 10, 22H/100), (.., 44H/100), (.., 66H/100); the texts 10 pixels right of
///   their buttons, W/2 wide, as high as the photo button (the message area twice as high as
///   the organize button); stop at (message x + W/2 + 10, 66H/100 + h/2); the check box
///   (15W/100, H - 25) 200 x 18; the footer (42W/100, H - 20) 400 x 18.
/// With the shipped skin (622 x 416) and strips: close (582, 2), minimize (544, 2), options
/// (512, 5), about (494, 5), photo (87, 91), output (87, 183), organize (87, 274), message
/// (252, 274) 311 x 104, stop (573, 286).
MainLayout LayoutMainWindow(int width, int height, const MainButtonSizes& buttons);

/// Dialog units of the About box's template font (SimSun 9 pt) to pixels, whatever font stands
/// in for it: the skin is drawn in pixels.
constexpr int DialogUnitsX(int du) {
  return du * 3 / 2;
}
constexpr int DialogUnitsY(int du) {
  return du * 13 / 8;
}

/// One line of the About box where its template puts it, in dialog units; `id` is its control.
struct AboutLine {
  int id, x, y, width, height;
};
/// The title, the version, rights and maker lines, and the web, e-mail and messenger links.
inline constexpr AboutLine kAboutLines[] = {
    {IDC_ABOUT_TITLE, 7, 3, 101, 10},       {IDC_ABOUT_VERSION, 63, 35, 119, 8},
    {IDC_ABOUT_RIGHTS, 63, 50, 119, 8},     {IDC_ABOUT_MAKER, 63, 65, 119, 8},
    {IDC_ABOUT_WEB, 63, 80, 119, 8},        {IDC_ABOUT_EMAIL, 63, 95, 119, 8},
    {IDC_ABOUT_MESSENGER, 64, 110, 119, 8},
};

/// The About box's links: the line (control), the process-wide link label that it is
/// (1 to 4) and what it opens.
struct AboutLink {
  int id;
  int instance;
  std::string target;
};
inline const AboutLink kAboutLinks[] = {
    {IDC_ABOUT_WEB, 3, build_info::kWebAddress},
    {IDC_ABOUT_EMAIL, 2, build_info::kEmail},
    {IDC_ABOUT_MESSENGER, 4, std::string("QQ:") + build_info::kMessengerNumber},
};

}  // namespace nandell
