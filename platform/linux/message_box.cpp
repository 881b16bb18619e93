#include "platform/message_box.h"

#include <atomic>

#include "console_message_box.h"
#include "message_box_buttons.h"
#include "platform/text.h"

namespace lx2d::platform {

namespace {

constexpr MessageBoxButtons kButtonTable[] = {
    {MB_OK, 1, {{IDOK, "OK"}}},
    {MB_OKCANCEL, 2, {{IDOK, "OK"}, {IDCANCEL, "Cancel"}}},
    {MB_ABORTRETRYIGNORE, 3, {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}}},
    {MB_YESNOCANCEL, 3, {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}}},
    {MB_YESNO, 2, {{IDYES, "Yes"}, {IDNO, "No"}}},
    {MB_RETRYCANCEL, 2, {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}}},
};

std::atomic<IMessageBox*> installed{nullptr};

IMessageBox& Current() {
  static CConsoleMessageBox console;
  IMessageBox* replacement = installed.load();
  return replacement != nullptr ? *replacement : console;
}

}  // namespace

const MessageBoxButtons& ButtonsOf(UINT style) {
  for (const MessageBoxButtons& entry : kButtonTable) {
    if (entry.type == (style & MB_TYPEMASK)) return entry;
  }
  return kButtonTable[0];
}

int DefaultButton(UINT style) {
  const MessageBoxButtons& entry = ButtonsOf(style);
  int index = static_cast<int>((style & MB_DEFMASK) >> 8);
  if (index >= entry.count) index = 0;
  return entry.buttons[index].id;
}

int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT style) {
  return Current().Show(owner, text, caption, style);
}

int MessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT style) {
  return Current().Show(owner, Utf16ToUtf8(text), Utf16ToUtf8(caption), style);
}

IMessageBox* SetMessageBoxImplementation(IMessageBox* replacement) {
  return installed.exchange(replacement);
}

}  // namespace lx2d::platform
