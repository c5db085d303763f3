// A DLL linked the ordinary way, with the C and C++ runtimes: its entry point is the runtime's,
// which runs static constructors and sets up thread-local data before any export is called.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string>* g_words = nullptr;

struct Words {
    Words() { g_words = new std::vector<std::string>{"in", "memory"}; }
} g_init;

}  // namespace

// 100 + the letters of the words made by the static constructor, passed through a thrown and
// caught exception.
extern "C" __declspec(dllexport) int __cdecl RuntimeCheck() {
    int letters = 0;
    for (const std::string& word : *g_words)
        letters += static_cast<int>(word.size());
    char text[16];
    std::snprintf(text, sizeof text, "%d", 100 + letters);
    try {
        throw std::string(text);
    } catch (const std::string& thrown) {
        return std::atoi(thrown.c_str());
    }
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
