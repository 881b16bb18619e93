#include "rdlk_hid_app.h"

#include "crash_capture.h"
#include "platform/exception_guard.h"

namespace lx2d {

CRDLK_HIDApp& TheApp() {
  // Made on the first call into the library rather than by the loader's
  // static initialisation, whose order across our files is not ours to
  // choose: the platform's own statics are then certainly ready. Destroyed
  // when the library is unloaded (or the process ends), before them.
  static CRDLK_HIDApp app;
  return app;
}

CLibraryObserver& LibraryObserver() { return TheApp().Observer(); }

bool CRDLK_HIDApp::TryStoreSpyRect(const SpyRect& rect) {
  std::unique_lock<std::recursive_mutex> lock(libraryLock_, std::try_to_lock);
  return lock.owns_lock() && CVscpCommunication::TryStoreSpyRect(rect);
}

bool CRDLK_HIDApp::Guard(void (*frame)(void*), void* context) {
  platform::ExceptionRecord record;
  if (platform::RunGuarded(frame, context, record)) return true;
  ReportException(record);
  return false;
}

}  // namespace lx2d
