// One owner per Win32 handle kind that the program opens. Each closes its
// handle exactly once, on every way out of the code that opened it.
#pragma once
#ifdef _WIN32
#include <windows.h>
#include <objbase.h>

#include "base/unique_any.h"

namespace tavrin {

// The close calls are wrapped: the address of a function imported from a DLL
// is not a constant every compiler accepts as a template argument.
namespace win32_close {
inline void Key(HKEY key) noexcept { RegCloseKey(key); }
inline void Handle(HANDLE handle) noexcept { CloseHandle(handle); }
inline void Window(HWND window) noexcept { DestroyWindow(window); }
inline void Menu(HMENU menu) noexcept { DestroyMenu(menu); }
inline void Icon(HICON icon) noexcept { DestroyIcon(icon); }
inline void Font(HFONT font) noexcept { DeleteObject(font); }
inline void Module(HMODULE module) noexcept { FreeLibrary(module); }
template <typename T>
inline void Com(T* object) noexcept { object->Release(); }
}  // namespace win32_close

// Registry keys (the per-user Run key).
using unique_hkey = unique_any<HKEY, win32_close::Key>;
// Kernel objects whose failure value is null: the single-instance mutex,
// process and token handles, and the worker thread (_beginthreadex gives 0
// on failure; the owner that joins the thread closes this handle after it).
using unique_handle = unique_any<HANDLE, win32_close::Handle>;
// USER objects. A window's owner lets go unclosed (release()) when the
// window is destroyed by other means: its WM_DESTROY says so.
using unique_hwnd = unique_any<HWND, win32_close::Window>;
using unique_hmenu = unique_any<HMENU, win32_close::Menu>;
using unique_hicon = unique_any<HICON, win32_close::Icon>;
// GDI objects.
using unique_hfont = unique_any<HFONT, win32_close::Font>;
// LoadLibraryW results (optional system DLLs such as dwmapi).
using unique_hmodule = unique_any<HMODULE, win32_close::Module>;
// COM interface pointers: one Release per owned reference.
template <typename T>
using unique_com = unique_any<T*, win32_close::Com<T>>;

// The calling thread's COM apartment, left again only when it was joined
// (RPC_E_CHANGED_MODE: the thread is in another apartment, not ours to leave).
class ComApartment {
 public:
  explicit ComApartment(DWORD model) noexcept : result_(CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

}  // namespace tavrin
#endif
