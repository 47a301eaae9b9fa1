#include "uicore/skin_layout.h"

namespace nandell {
namespace {

SkinRect At(int x, int y, SkinSize size) {
  return SkinRect{x, y, size.width, size.height};
}

}  // namespace

MainLayout LayoutMainWindow(int W, int H, const MainButtonSizes& b) {
  MainLayout l;
  l.close = At(W - b.close.width - 2, 2, b.close);
  l.minimize = At(W - 2 * b.minimize.width - 2, 2, b.minimize);
  l.options = At(l.minimize.x - 2 * b.options.width, 5, b.options);
  l.about = At(l.options.x - b.about.width - 2, 5, b.about);

  l.photo = At(b.photo.width / 2 + 10, 22 * H / 100, b.photo);
  l.photo_text = {l.photo.x + l.photo.width + 10, 22 * H / 100, W / 2, b.photo.height};
  l.output = At(b.output.width / 2 + 10, 44 * H / 100, b.output);
  // The output folder's text takes its height from the photo folder button.
  l.output_text = {l.output.x + l.output.width + 10, 44 * H / 100, W / 2, b.photo.height};
  l.organize = At(b.organize.width / 2 + 10, 66 * H / 100, b.organize);
  l.message = {l.organize.x + l.organize.width + 10, 66 * H / 100, W / 2, 2 * b.organize.height};
  l.stop = At(l.message.x + W / 2 + 10, 66 * H / 100 + b.stop.height / 2, b.stop);

  l.delete_source = {15 * W / 100, H - 25, 200, 18};
  l.footer = {42 * W / 100, H - 20, 400, 18};
  return l;
}

}  // namespace nandell
