// Extension.dll: starts and closes PowerPoint through its automation server.
// Every call connects afresh and lets go again before it returns; nothing is
// kept between calls, and no failure leaves a call.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "Extension.h"

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
HANDLE activationContext = INVALID_HANDLE_VALUE;

// The library's application object: created at load, destroyed at unload.
class CExtensionApp {
 public:
  CExtensionApp() = default;
  virtual ~CExtensionApp() = default;
  CExtensionApp(const CExtensionApp&) = delete;
  CExtensionApp& operator=(const CExtensionApp&) = delete;
  virtual BOOL InitInstance() { return TRUE; }
};

CExtensionApp theApp;

void CreateActivationContext(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  ACTCTXW context = {};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.hModule = module;
  context.lpResourceName = MAKEINTRESOURCEW(2);  // ISOLATIONAWARE_MANIFEST_RESOURCE_ID
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length != 0 && length < MAX_PATH) context.lpSource = path;
  activationContext = CreateActCtxW(&context);
}

void ReleaseActivationContext() {
  if (activationContext != INVALID_HANDLE_VALUE) ReleaseActCtx(activationContext);
  activationContext = INVALID_HANDLE_VALUE;
}

// Activates the library's context for the lifetime of the object.
class ActivationScope {
 public:
  ActivationScope() {
    if (activationContext != INVALID_HANDLE_VALUE && !ActivateActCtx(activationContext, &cookie_)) cookie_ = 0;
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
  AutomationDriver() = default;
  ~AutomationDriver() { release(); }
  AutomationDriver(const AutomationDriver&) = delete;
  AutomationDriver& operator=(const AutomationDriver&) = delete;

  bool createDispatch(const wchar_t* progId) {
    release();
    CLSID classId;
    const HRESULT resolved = progId[0] == L'{' ? CLSIDFromString(progId, &classId) : CLSIDFromProgID(progId, &classId);
    if (FAILED(resolved)) return false;

    IUnknown* unknown = nullptr;
    HRESULT result = CoCreateInstance(classId, nullptr, kAnyServer, IID_IUnknown, reinterpret_cast<void**>(&unknown));
    if (result == E_INVALIDARG)
      result = CoCreateInstance(classId, nullptr, kLocalServers, IID_IUnknown, reinterpret_cast<void**>(&unknown));
    if (FAILED(result) || unknown == nullptr) return false;

    if (FAILED(OleRun(unknown))) {
      unknown->Release();
      return false;
    }
    IDispatch* server = nullptr;
    result = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&server));
    unknown->Release();
    if (FAILED(result) || server == nullptr) return false;
    dispatch_ = server;
    return true;
  }

  void setAutoRelease(bool autoRelease) { autoRelease_ = autoRelease; }

  // Releasing an empty driver does nothing.
  void release() {
    if (dispatch_ != nullptr && autoRelease_) dispatch_->Release();
    dispatch_ = nullptr;
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
    if (dispatch_ == nullptr) return false;
    EXCEPINFO exception = {};
    UINT badArgument = 0;
    const HRESULT result =
        dispatch_->Invoke(member, IID_NULL, 0, kind, &parameters, nullptr, &exception, &badArgument);
    // A server that raised an exception hands us its texts to free.
    if (result == DISP_E_EXCEPTION) {
      SysFreeString(exception.bstrSource);
      SysFreeString(exception.bstrDescription);
      SysFreeString(exception.bstrHelpFile);
    }
    return SUCCEEDED(result);
  }

  IDispatch* dispatch_ = nullptr;
  bool autoRelease_ = true;
};

// The frame both exports share: connect, run `calls` on the server, let go.
template <typename Calls>
void WithPresentationProgram(Calls calls) {
  try {
    ActivationScope scope;
    AutomationDriver driver;
    if (driver.createDispatch(kPresentationProgId)) {
      driver.setAutoRelease(true);
      calls(driver);
      driver.release();
    }
    driver.release();
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
      return theApp.InitInstance();
    case DLL_PROCESS_DETACH:
      ReleaseActivationContext();
      break;
    default:
      break;
  }
  return TRUE;
}
