// Extension.dll: starts and closes PowerPoint through its automation server.
// Every call connects afresh and lets go again before it returns; nothing is
// kept between calls, and no failure leaves a call.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "Extension.h"
#include "base/win32_handles.h"

namespace {

const wchar_t kPresentationProgId[] = L"PowerPoint.Application";

// PowerPoint's Application members, by dispatch identifier.
constexpr DISPID kVisible = 2030;   // property
constexpr DISPID kActivate = 2033;  // method
constexpr DISPID kQuit = 2021;      // method

// CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER, with and
// without CLSCTX_REMOTE_SERVER (which older systems reject as E_INVALIDARG).
constexpr DWORD kAnyServer = 0x17;
constexpr DWORD kLocalServers = 0x7;

// The library's own activation context, made from its manifest resource at
// load and released at unload.
void ReleaseContext(HANDLE context) noexcept { ReleaseActCtx(context); }
tavrin::unique_any<HANDLE, ReleaseContext, -1> activationContext;
void FreeText(BSTR text) noexcept { SysFreeString(text); }
using unique_bstr = tavrin::unique_any<BSTR, FreeText>;

void CreateActivationContext(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  ACTCTXW context = {};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.hModule = module;
  context.lpResourceName = MAKEINTRESOURCEW(2);  // ISOLATIONAWARE_MANIFEST_RESOURCE_ID
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length != 0 && length < MAX_PATH) context.lpSource = path;
  activationContext.reset(CreateActCtxW(&context));
}

// Activates the library's context for the lifetime of the object.
class ActivationScope {
 public:
  ActivationScope() {
    if (activationContext && !ActivateActCtx(activationContext.get(), &cookie_)) cookie_ = 0;
  }
  ~ActivationScope() {
    if (cookie_ != 0) DeactivateActCtx(0, cookie_);
  }
  ActivationScope(const ActivationScope&) = delete;
  ActivationScope& operator=(const ActivationScope&) = delete;

 private:
  ULONG_PTR cookie_ = 0;
};

// Holds the server's IDispatch for one call.
class AutomationDriver {
 public:
  bool createDispatch(const wchar_t* progId) {
    dispatch_.reset();
    CLSID classId;
    const HRESULT resolved = progId[0] == L'{' ? CLSIDFromString(progId, &classId) : CLSIDFromProgID(progId, &classId);
    if (FAILED(resolved)) return false;

    tavrin::unique_com<IUnknown> unknown;
    HRESULT result = CoCreateInstance(classId, nullptr, kAnyServer, IID_IUnknown, reinterpret_cast<void**>(unknown.put()));
    if (result == E_INVALIDARG)
      result = CoCreateInstance(classId, nullptr, kLocalServers, IID_IUnknown, reinterpret_cast<void**>(unknown.put()));
    if (FAILED(result) || !unknown || FAILED(OleRun(unknown.get()))) return false;
    result = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch_.put()));
    return SUCCEEDED(result) && dispatch_;
  }

  bool putInteger(DISPID member, LONG value) {
    VARIANTARG argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS parameters = {&argument, &named, 1, 1};
    return invoke(member, DISPATCH_PROPERTYPUT, parameters);
  }

  bool callMethod(DISPID member) {
    DISPPARAMS parameters = {nullptr, nullptr, 0, 0};
    return invoke(member, DISPATCH_METHOD, parameters);
  }

 private:
  bool invoke(DISPID member, WORD kind, DISPPARAMS& parameters) {
    if (!dispatch_) return false;
    EXCEPINFO exception = {};
    UINT badArgument = 0;
    const HRESULT result =
        dispatch_->Invoke(member, IID_NULL, 0, kind, &parameters, nullptr, &exception, &badArgument);
    // A server that raised an exception hands us its texts to free (the
    // fields stay empty otherwise).
    const unique_bstr source(exception.bstrSource), description(exception.bstrDescription),
        help(exception.bstrHelpFile);
    return SUCCEEDED(result);
  }

  tavrin::unique_com<IDispatch> dispatch_;
};

// The frame both exports share: connect, run `calls` on the server, let go.
template <typename Calls>
void WithPresentationProgram(Calls calls) {
  try {
    ActivationScope scope;
    AutomationDriver driver;
    if (driver.createDispatch(kPresentationProgId)) calls(driver);
  } catch (...) {
    // Nothing may leave the library; the caller goes on either way.
  }
}

}  // namespace

extern "C" void WINAPI StartPowerPointProgram() {
  WithPresentationProgram([](AutomationDriver& driver) {
    // A rejected Visible ends the call: Activate is not attempted.
    if (driver.putInteger(kVisible, 1)) driver.callMethod(kActivate);
  });
}

extern "C" void WINAPI StopPowerPointProgram() {
  WithPresentationProgram([](AutomationDriver& driver) { driver.callMethod(kQuit); });
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(module);
      CreateActivationContext(module);
      return TRUE;
    case DLL_PROCESS_DETACH:
      activationContext.reset();
      break;
    default:
      break;
  }
  return TRUE;
}
