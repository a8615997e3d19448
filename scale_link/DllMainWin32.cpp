// Entry point of TRUTINA.DLL. The DLL pins itself when it is loaded, so
// that FreeLibrary leaves it in place: stopping the worker thread from the
// unload notification would deadlock, as the loader holds its lock there
// and a thread that ends needs that lock too. The worker and the port end
// with the process instead, which is how callers use the library anyway.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    HMODULE pinned = nullptr;
    return ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                reinterpret_cast<LPCWSTR>(instance), &pinned);
}
