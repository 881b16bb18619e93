// Dialog units of the windows' layouts in pixels, for the 8-point dialog
// font they were designed with (4 horizontal units to an average character
// of 6 pixels, 8 vertical units to a line of 13).
#pragma once

namespace lx2d::view {

struct DialogBox {
  int x, y, width, height;
};

constexpr int DluX(int units) { return units * 6 / 4; }
constexpr int DluY(int units) { return units * 13 / 8; }

}  // namespace lx2d::view
