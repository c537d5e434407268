// A library named like a Java runtime that lacks JNI_CreateJavaVM, as a broken or
// foreign jvm.dll would; the launcher must report it instead of crashing.
#ifdef _WIN32
#define FAKEJVM_EXPORT __declspec(dllexport)
#else
#define FAKEJVM_EXPORT __attribute__((visibility("default")))
#endif

extern "C" FAKEJVM_EXPORT int fakejvm_noentry_marker(void) {
    return 1;
}
