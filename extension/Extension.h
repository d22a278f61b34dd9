// The two functions Extension.dll exports. Tavrin.exe imports them by name at
// load time.
#pragma once
#include <windows.h>

#if defined(EXTENSION_BUILD)
#define EXTENSION_API
#else
#define EXTENSION_API __declspec(dllimport)
#endif

extern "C" {
// Connects to PowerPoint's automation server (starting it if need be), makes
// it visible and activates it. The calling thread must have initialised COM.
EXTENSION_API void WINAPI StartPowerPointProgram();
// Asks PowerPoint to quit. The calling thread must have initialised COM.
EXTENSION_API void WINAPI StopPowerPointProgram();
}
