#include "rdlk_hid_app.h"

namespace lx2d {
namespace {

// Constructed when the library is loaded, destroyed when it is unloaded.
CRDLK_HIDApp theApp;

}  // namespace

CRDLK_HIDApp& TheApp() { return theApp; }

bool CRDLK_HIDApp::Guard(void (*frame)(void*), void* context) {
  try {
    frame(context);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace lx2d
