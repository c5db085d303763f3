/* A stand-in for the skin library that only records how "SkinH_AttachRes" was called, so that
   tests can check what the program hands it. No C runtime; mapped from memory like the real
   one. */
#include <windows.h>

typedef struct {
    const unsigned char* data;
    int size;
    const char* password;
    int adjust1;
    int adjust2;
    int adjust3;
    unsigned char firstBytes[8];
} RecordedCall;

__declspec(dllexport) RecordedCall recordedCalls[16];
__declspec(dllexport) int recordedCount;

BOOL WINAPI DllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

__declspec(dllexport) int WINAPI SkinH_AttachRes(const unsigned char* data,
                                                 int size,
                                                 const char* password,
                                                 int adjust1,
                                                 int adjust2,
                                                 int adjust3) {
    if (recordedCount < 16) {
        RecordedCall* call = &recordedCalls[recordedCount];
        int i;
        call->data = data;
        call->size = size;
        call->password = password;
        call->adjust1 = adjust1;
        call->adjust2 = adjust2;
        call->adjust3 = adjust3;
        for (i = 0; i < 8; ++i)
            call->firstBytes[i] = (data && i < size) ? data[i] : 0;
    }
    ++recordedCount;
    return 1;
}
