#pragma once

// Where the main window's controls go, computed from the skin's size and the sizes its button
// strips give the buttons: the one table both windows (Qt and Windows) lay out by.

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

}  // namespace nandell
