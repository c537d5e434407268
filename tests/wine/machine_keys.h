// Registry keys of the Wine prefix for runtime discovery tests.
#pragma once

#include "wine/wine_support.h"

namespace tarn::test {

// HKEY_LOCAL_MACHINE\SOFTWARE keys (or HKEY_CURRENT_USER ones, root "HKCU")
// written with Wine's reg.exe in one registry view; the vendor keys it created
// are deleted again at scope exit.
class MachineKeys {
  public:
    explicit MachineKeys(const std::string& view, const std::string& root = "HKLM")
        : view_(view), root_(root) {}
    ~MachineKeys();
    MachineKeys(const MachineKeys&) = delete;
    MachineKeys& operator=(const MachineKeys&) = delete;
    // Writes a string value below SOFTWARE\<path>; false when reg.exe failed.
    bool set(const std::string& path, const std::string& name, const std::string& value);

  private:
    std::string view_, root_;
    std::vector<std::string> created_; // vendor keys under SOFTWARE to delete
};
bool machineKeyExists(const std::string& path, const std::string& view,
                      const std::string& root = "HKLM");
// Why the Java runtime keys must not be touched here; "" when they are free.
std::string runtimeKeysInUse();

// 64-bit tests that write the Java runtime keys: skipped while they are in use.
class Win64RegistryTest : public Win64Test {
  protected:
    void SetUp() override {
        Win64Test::SetUp();
        if (IsSkipped())
            return;
        std::string busy = runtimeKeysInUse();
        if (!busy.empty())
            GTEST_SKIP() << busy;
    }
};

const std::string javaSoftKey = "JavaSoft\\Java Runtime Environment";
const std::string ibmKey = "IBM\\Java2 Runtime Environment";

} // namespace tarn::test
