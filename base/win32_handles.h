// One owner per Win32 handle kind that the program opens. Each closes its
// handle exactly once, on every way out of the code that opened it.
#pragma once
#ifdef _WIN32
// winsock2.h before windows.h, so that nothing pulls in the old winsock.h.
#include <winsock2.h>
#include <windows.h>

#include "base/unique_any.h"
#include "base/unique_socket.h"

namespace tavrin {

// The close calls are wrapped: the address of a function imported from a DLL
// is not a constant every compiler accepts as a template argument.
namespace win32_close {
inline void Key(HKEY key) noexcept { RegCloseKey(key); }
inline void Handle(HANDLE handle) noexcept { CloseHandle(handle); }
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
// USER objects.
using unique_hmenu = unique_any<HMENU, win32_close::Menu>;
using unique_hicon = unique_any<HICON, win32_close::Icon>;
// GDI objects.
using unique_hfont = unique_any<HFONT, win32_close::Font>;
// LoadLibraryW results (optional system DLLs such as dwmapi).
using unique_hmodule = unique_any<HMODULE, win32_close::Module>;
// COM interface pointers: one Release per owned reference.
template <typename T>
using unique_com = unique_any<T*, win32_close::Com<T>>;

}  // namespace tavrin
#endif
