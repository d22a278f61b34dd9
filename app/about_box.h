// The about box: modal over the main window, one at a time, with the
// contact address as a link in its own underlined font.
#pragma once
#include <windows.h>

#include "base/win32_handles.h"

namespace tavrin {

class AboutBox {
 public:
  explicit AboutBox(HINSTANCE instance) : instance_(instance) {}
  AboutBox(const AboutBox&) = delete;
  AboutBox& operator=(const AboutBox&) = delete;

  // Returns when the box is closed; one already open is brought forward.
  void show(HWND owner);

 private:
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  // The box while it is open (the dialog manager owns it), and the link's font.
  HWND dialog_ = nullptr;
  unique_hfont linkFont_;
};

}  // namespace tavrin
