// fakeppt.dll: an in-process automation server that the end-to-end tests
// register as "PowerPoint.Application", so that Tavrin's Extension.dll talks to
// something that writes down what it was asked.
//
// It reads fakeppt.cfg next to itself whenever an object is asked for:
//   line 1  the log file (a Windows path); lines are appended to it
//   line 2  how to answer, optional:
//             normal     every Invoke succeeds (the default)
//             exception  every Invoke fails with DISP_E_EXCEPTION and a filled EXCEPINFO
//             fail       every Invoke fails with E_FAIL
//             refuse     no object is made (CLASS_E_CLASSNOTAVAILABLE)
//             norun      the object cannot be put into its running state (Run fails)
//             nodispatch the object has no IDispatch
// Log lines, N numbering the objects made by this process:
//   new N                  an object was made
//   refused                an object was asked for and refused
//   run N                  IRunnableObject::Run (what OleRun calls)
//   invoke N dispid D flags F lcid L iid null|other result yes|no args [..] named [..]
//                          args in the order the caller passed them, e.g. [I4 1]
//   names N                GetIDsOfNames was called (never answered)
//   release N              the last reference went away
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

HMODULE thisModule;
LONG liveObjects;
LONG serverLocks;
LONG objectsMade;

enum class Mode { Normal, Exception, Fail, Refuse, NoRun, NoDispatch };

struct Config {
  wchar_t logPath[MAX_PATH] = {};
  Mode mode = Mode::Normal;
};

// Removes trailing white space (the file may have CRLF line ends).
void TrimRight(char* text) {
  size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
    text[--length] = '\0';
}

Config ReadConfig() {
  Config config;
  wchar_t path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(thisModule, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return config;
  wchar_t* slash = std::wcsrchr(path, L'\\');
  if (slash == nullptr || (slash + 1 - path) + 12 >= MAX_PATH) return config;
  std::wcscpy(slash + 1, L"fakeppt.cfg");
  FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return config;
  char line[MAX_PATH * 2] = {};
  if (std::fgets(line, sizeof line, file)) {
    TrimRight(line);
    MultiByteToWideChar(CP_UTF8, 0, line, -1, config.logPath, MAX_PATH - 1);
  }
  if (std::fgets(line, sizeof line, file)) {
    TrimRight(line);
    if (std::strcmp(line, "exception") == 0) config.mode = Mode::Exception;
    else if (std::strcmp(line, "fail") == 0) config.mode = Mode::Fail;
    else if (std::strcmp(line, "refuse") == 0) config.mode = Mode::Refuse;
    else if (std::strcmp(line, "norun") == 0) config.mode = Mode::NoRun;
    else if (std::strcmp(line, "nodispatch") == 0) config.mode = Mode::NoDispatch;
  }
  std::fclose(file);
  return config;
}

void WriteLog(const wchar_t* logPath, const char* text) {
  if (logPath[0] == L'\0') return;
  HANDLE file = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  WriteFile(file, "\n", 1, &written, nullptr);
  CloseHandle(file);
}

// Appends printf-style text to a fixed buffer, never past its end.
void Append(char* buffer, size_t capacity, const char* format, ...) {
  size_t used = std::strlen(buffer);
  if (used + 1 >= capacity) return;
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(buffer + used, capacity - used, format, arguments);
  va_end(arguments);
}

void AppendVariant(char* buffer, size_t capacity, const VARIANTARG& value) {
  switch (value.vt) {
    case VT_EMPTY: Append(buffer, capacity, "EMPTY"); break;
    case VT_I2: Append(buffer, capacity, "I2 %d", value.iVal); break;
    case VT_I4: Append(buffer, capacity, "I4 %ld", static_cast<long>(value.lVal)); break;
    case VT_BOOL: Append(buffer, capacity, "BOOL %d", value.boolVal); break;
    case VT_BSTR: Append(buffer, capacity, "BSTR %ls", value.bstrVal ? value.bstrVal : L""); break;
    default: Append(buffer, capacity, "vt%u", static_cast<unsigned>(value.vt)); break;
  }
}

class FakeApplication final : public IDispatch, public IRunnableObject {
 public:
  explicit FakeApplication(const Config& config) : config_(config), number_(InterlockedIncrement(&objectsMade)) {
    InterlockedIncrement(&liveObjects);
    char line[32];
    std::snprintf(line, sizeof line, "new %ld", static_cast<long>(number_));
    WriteLog(config_.logPath, line);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || (IsEqualIID(iid, IID_IDispatch) && config_.mode != Mode::NoDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    if (IsEqualIID(iid, IID_IRunnableObject)) {
      *object = static_cast<IRunnableObject*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
      char line[32];
      std::snprintf(line, sizeof line, "release %ld", static_cast<long>(number_));
      WriteLog(config_.logPath, line);
      InterlockedDecrement(&liveObjects);
      delete this;
    }
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE GetRunningClass(CLSID* classId) override {
    if (classId) *classId = CLSID_NULL;
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE Run(IBindCtx*) override {
    char line[32];
    std::snprintf(line, sizeof line, "run %ld", static_cast<long>(number_));
    WriteLog(config_.logPath, line);
    return config_.mode == Mode::NoRun ? E_FAIL : S_OK;
  }

  BOOL STDMETHODCALLTYPE IsRunning() override { return TRUE; }
  HRESULT STDMETHODCALLTYPE LockRunning(BOOL, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetContainedObject(BOOL) override { return S_OK; }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    char line[32];
    std::snprintf(line, sizeof line, "names %ld", static_cast<long>(number_));
    WriteLog(config_.logPath, line);
    return DISP_E_UNKNOWNNAME;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override {
    char line[512] = {};
    Append(line, sizeof line, "invoke %ld dispid %ld flags %u lcid %lu iid %s result %s args [",
           static_cast<long>(number_), static_cast<long>(member), static_cast<unsigned>(flags),
           static_cast<unsigned long>(locale), IsEqualIID(iid, IID_NULL) ? "null" : "other", result ? "yes" : "no");
    const UINT count = parameters ? parameters->cArgs : 0;
    for (UINT i = 0; i < count && parameters->rgvarg; ++i) {
      if (i) Append(line, sizeof line, ", ");
      AppendVariant(line, sizeof line, parameters->rgvarg[i]);
    }
    Append(line, sizeof line, "] named [");
    const UINT named = parameters ? parameters->cNamedArgs : 0;
    for (UINT i = 0; i < named && parameters->rgdispidNamedArgs; ++i)
      Append(line, sizeof line, i ? ", %ld" : "%ld", static_cast<long>(parameters->rgdispidNamedArgs[i]));
    Append(line, sizeof line, "]");
    WriteLog(config_.logPath, line);

    if (config_.mode == Mode::Fail) return E_FAIL;
    if (config_.mode == Mode::Exception) {
      if (exception) {
        std::memset(exception, 0, sizeof *exception);
        exception->bstrSource = SysAllocString(L"PowerPoint");
        exception->bstrDescription = SysAllocString(L"The stand-in refuses this call.");
        exception->scode = E_FAIL;
      }
      return DISP_E_EXCEPTION;
    }
    if (result) VariantInit(result);
    return S_OK;
  }

 private:
  ~FakeApplication() = default;

  Config config_;
  LONG number_;
  LONG references_ = 1;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // The factory is static: it lives as long as the module.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const Config config = ReadConfig();
    if (config.mode == Mode::Refuse) {
      WriteLog(config.logPath, "refused");
      return CLASS_E_CLASSNOTAVAILABLE;
    }
    FakeApplication* application = new (std::nothrow) FakeApplication(config);
    if (application == nullptr) return E_OUTOFMEMORY;
    const HRESULT answer = application->QueryInterface(iid, object);
    application->Release();
    return answer;
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) InterlockedIncrement(&serverLocks);
    else InterlockedDecrement(&serverLocks);
    return S_OK;
  }
};

Factory factory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    thisModule = module;
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}

// Any class identifier is answered: the registration decides which one maps here.
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID iid, void** object) {
  return factory.QueryInterface(iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return (liveObjects == 0 && serverLocks == 0) ? S_OK : S_FALSE;
}
