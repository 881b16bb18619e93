#include "rdlk_hid_app.h"

namespace lx2d {

CRDLK_HIDApp& TheApp() {
  // Made on the first call into the library rather than by the loader's
  // static initialisation, whose order across our files is not ours to
  // choose: the platform's own statics are then certainly ready. Destroyed
  // when the library is unloaded (or the process ends), before them.
  static CRDLK_HIDApp app;
  return app;
}

bool CRDLK_HIDApp::Guard(void (*frame)(void*), void* context) {
  try {
    frame(context);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace lx2d
