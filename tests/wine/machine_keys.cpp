// Machine registry keys in the Wine prefix, written and removed with Wine's
// own reg.exe so that the launcher under test reads them like any others.
#include "wine/machine_keys.h"

namespace tarn::test {

namespace {

int reg(const std::vector<std::string>& words) {
    fs::path program = winePrefix() / "drive_c/windows/system32/reg.exe";
    return run(program, words).status;
}

} // namespace

bool machineKeyExists(const std::string& path, const std::string& view, const std::string& root) {
    return reg({"query", root + "\\SOFTWARE\\" + path, view}) == 0;
}

std::string runtimeKeysInUse() {
    for (const char* view : {"/reg:32", "/reg:64"})
        for (const std::string& key : {javaSoftKey, ibmKey})
            if (machineKeyExists(key, view))
                return "HKLM\\SOFTWARE\\" + key + " (" + view +
                       ") exists in the Wine prefix: a Java runtime is registered there";
    return "";
}

bool MachineKeys::set(const std::string& path, const std::string& name, const std::string& value) {
    // Remember the outermost key this write creates, to delete it afterwards.
    std::string prefix;
    for (size_t at = 0; at != std::string::npos;) {
        at = path.find('\\', at + 1);
        prefix = path.substr(0, at);
        bool covered = false;
        for (const std::string& created : created_)
            covered = covered || prefix == created || prefix.rfind(created + "\\", 0) == 0;
        if (covered)
            break;
        if (!machineKeyExists(prefix, view_, root_)) {
            created_.push_back(prefix);
            break;
        }
    }
    return reg({"add", root_ + "\\SOFTWARE\\" + path, "/v", name, "/d", value, "/f", view_}) == 0;
}

MachineKeys::~MachineKeys() {
    for (const std::string& key : created_)
        reg({"delete", root_ + "\\SOFTWARE\\" + key, "/f", view_});
}

} // namespace tarn::test
