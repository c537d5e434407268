// Stands in for a DLL that a real jvm.dll imports from the runtime's bin directory
// (such as the C runtime it was built with).
extern "C" __declspec(dllexport) int fakejvm_companion_ping(void) {
    return 42;
}
