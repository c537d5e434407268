// GoogleTest copies every failure and skip to OutputDebugStringA. Under Wine on
// a kernel without i386 support (qemu runs the 32-bit loader), the exception
// that call raises kills the test program, so the 32-bit test programs bind
// the import to a function that does nothing.
#include <windows.h>

static void WINAPI quietDebugString(LPCSTR) {}

extern "C" {
void(WINAPI* quietDebugStringImport)(LPCSTR) __asm__("__imp__OutputDebugStringA@4") =
    quietDebugString;
}
