// ImageProcessing.dll's entry point: pins the DLL for the rest of the
// process the moment it is loaded. Its helper threads sleep in its code
// between calls, so FreeLibrary must never unmap it under them (the Linux
// library is linked with -z nodelete for the same reason).
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  HMODULE pinned = nullptr;
  // A DLL that could not be pinned refuses to load rather than crash later.
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(instance), &pinned);
}
