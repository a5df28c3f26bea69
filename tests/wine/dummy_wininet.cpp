// A wininet.dll that exports nothing. Placed beside the program, it is the
// library the program loads, and binding InternetOpenA from it must end the
// program with the fatal-error box.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The DLL's entry point; built without the C runtime (-nostdlib), so the
// export table stays empty.
extern "C" BOOL WINAPI CdkDummyEntry(HINSTANCE, DWORD, LPVOID) { return TRUE; }
