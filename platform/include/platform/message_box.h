// Message boxes: MessageBox(owner, text, caption, style) answering the button
// pressed. The console implementation writes "<caption>: <text>" and a line
// feed to standard error for every box; a question (MB_YESNO, MB_YESNOCANCEL,
// MB_OKCANCEL, MB_RETRYCANCEL, MB_ABORTRETRYIGNORE) then reads the answer
// from the controlling terminal when the program runs in its foreground and
// otherwise (no terminal, or a background job) takes the default button at
// once. Tests install another implementation (see
// platform/fakes/recording_message_box.h).
#pragma once

#include <string_view>

#include "platform/win_types.h"
#include "platform/window.h"

namespace lx2d::platform {

// Buttons (style & MB_TYPEMASK).
inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_OKCANCEL = 0x00000001;
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
inline constexpr UINT MB_YESNOCANCEL = 0x00000003;
inline constexpr UINT MB_YESNO = 0x00000004;
inline constexpr UINT MB_RETRYCANCEL = 0x00000005;
inline constexpr UINT MB_TYPEMASK = 0x0000000F;
// Icons.
inline constexpr UINT MB_ICONHAND = 0x00000010;
inline constexpr UINT MB_ICONERROR = 0x00000010;
inline constexpr UINT MB_ICONQUESTION = 0x00000020;
inline constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
inline constexpr UINT MB_ICONWARNING = 0x00000030;
inline constexpr UINT MB_ICONASTERISK = 0x00000040;
inline constexpr UINT MB_ICONINFORMATION = 0x00000040;
// Default button (style & MB_DEFMASK): the first, second or third button.
inline constexpr UINT MB_DEFBUTTON1 = 0x00000000;
inline constexpr UINT MB_DEFBUTTON2 = 0x00000100;
inline constexpr UINT MB_DEFBUTTON3 = 0x00000200;
inline constexpr UINT MB_DEFMASK = 0x00000F00;
// Placement (kept, no effect on a console).
inline constexpr UINT MB_APPLMODAL = 0x00000000;
inline constexpr UINT MB_SYSTEMMODAL = 0x00001000;
inline constexpr UINT MB_TASKMODAL = 0x00002000;
inline constexpr UINT MB_SETFOREGROUND = 0x00010000;
inline constexpr UINT MB_TOPMOST = 0x00040000;

// Answers: the button pressed.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Where message boxes go. Text and caption are UTF-8.
class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // Shows one box and answers the button pressed (one of the ID* values that
  // the buttons of `style` offer).
  virtual int Show(HWND owner, std::string_view text, std::string_view caption, UINT style) = 0;
};

// The button a box of `style` answers when nobody can be asked: the default
// button of MB_DEFMASK among the buttons of MB_TYPEMASK (the first one when
// the default names a button the box lacks).
int DefaultButton(UINT style);

// Shows a box through the installed implementation. The UTF-16 form is the
// utility's (wide text); the 8-bit form takes UTF-8 (ASCII texts of the
// library are UTF-8 too; convert other ANSI text with text.h first).
int MessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT style);
int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT style);

// Installs `replacement` for every later box of the process and returns the
// previous implementation (null for the console one); null brings back the
// console implementation. The caller keeps ownership and must uninstall it
// before destroying it.
IMessageBox* SetMessageBoxImplementation(IMessageBox* replacement);

}  // namespace lx2d::platform
