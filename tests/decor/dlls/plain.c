// A small DLL without C runtime for the loader tests: exports by name and ordinal (with an
// unused ordinal), code that needs relocating, data, and imports from system libraries.
#include <windows.h>

int Counter = 41;
int AttachCount = 0;
int DetachCount = 0;
HINSTANCE EntryModuleHandle = (HINSTANCE)1;

int __cdecl AddNumbers(int a, int b) {
    return a + b;
}

int __cdecl MultiplyNumbers(int a, int b) {
    return a * b;
}

#ifdef _WIN64
// x86-64 code reaches its data relative to itself; what needs relocating there is an address
// held in data (a DIR64 entry), read through here.
int* volatile CounterPointer = &Counter;

int* __cdecl CounterAddress(void) {
    return CounterPointer;
}
#else
int* __cdecl CounterAddress(void) {
    return &Counter;
}
#endif

int __cdecl ReadCounter(void) {
    return Counter;
}

DWORD __cdecl ProcessId(void) {
    return GetCurrentProcessId();
}

// Makes the DLL import from version.dll, a system library the test program does not load
// itself, so that tests can see it being loaded and released.
DWORD __cdecl VersionInfoSize(const char* path) {
    DWORD handle = 0;
    return GetFileVersionInfoSizeA(path, &handle);
}

BOOL WINAPI DllEntry(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)reserved;
    EntryModuleHandle = module;
    if (reason == DLL_PROCESS_ATTACH)
        ++AttachCount;
    else if (reason == DLL_PROCESS_DETACH)
        ++DetachCount;
    return TRUE;
}
