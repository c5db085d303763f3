// A DLL without C runtime that reports every call of its entry point to the host program
// through an import from a module that does not exist: the loader's import resolver has to
// supply it. Built twice: once accepting the attach, once refusing it (ENTRY_RESULT 0).
#include <windows.h>

#ifndef ENTRY_RESULT
#define ENTRY_RESULT TRUE
#endif

void __cdecl ProbeRecord(unsigned event);
int __cdecl ProbeValue(void);  // imported by ordinal

int __cdecl Ping(void) {
    ProbeRecord(100);
    return ProbeValue() + 1;
}

BOOL WINAPI DllEntry(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)module;
    (void)reserved;
    ProbeRecord(reason);
    return ENTRY_RESULT;
}
