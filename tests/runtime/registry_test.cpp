// The s and i sources against real keys in the Wine prefix's machine registry.
#include "runtime/locator.h"

#include "runtime/app_setup.h"

#include <gtest/gtest.h>

#include <memory>

namespace tarn::test {
namespace {

const std::string javaSoft = javaSoftRuntimeKey;
const std::string ibm = ibmRuntimeKey;

bool keyExists(const std::string& path) {
    void* key = platform::openMachineKey(path.c_str());
    platform::closeKey(key);
    return key != nullptr;
}

// Removes what a test wrote below a vendor key, and the vendor key itself when
// the test created it.
class ScopedVendorKey {
  public:
    explicit ScopedVendorKey(const std::string& runtimeKey)
        : runtime_(runtimeKey), vendor_(runtimeKey.substr(0, runtimeKey.rfind('\\'))),
          vendorExisted_(keyExists(vendor_)) {}
    ~ScopedVendorKey() { remove(); }
    void remove() { deleteMachineTree(vendorExisted_ ? runtime_ : vendor_); }

  private:
    std::string runtime_, vendor_;
    bool vendorExisted_;
};

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!onWindows)
            GTEST_SKIP() << "no registry on Linux: sources s and i yield nothing";
        // Never touch the keys of a runtime that is really installed.
        if (keyExists(javaSoft) || keyExists(ibm))
            GTEST_SKIP() << "a Java runtime is registered on this machine";
        javaSoftKeys.reset(new ScopedVendorKey(javaSoft));
        ibmKeys.reset(new ScopedVendorKey(ibm));
    }
    std::string locate(const std::string& lines) {
        return text(RuntimeLocator::locate(app.reconfigure(lines)));
    }
    static void writeVersion(const std::string& key, const std::string& version,
                             const std::string& name, const std::string& value) {
        ASSERT_TRUE(writeMachineString(key, "CurrentVersion", version));
        ASSERT_TRUE(writeMachineString(key + "\\" + version, name, value));
    }

    ScopedEnv jreHome{"JRE_HOME", nullptr};
    ScopedEnv javaHome{"JAVA_HOME", nullptr};
    AppSetup app;
    std::unique_ptr<ScopedVendorKey> javaSoftKeys, ibmKeys;
    const std::string rt = app.temp.dir() + "jre8";
};

TEST_F(Registry, ExistingRuntimeLibIsTakenUnlessAFlavourIsConfigured) {
    const std::string client = rt + "\\bin\\client\\jvm.dll";
    place(client);
    writeVersion(javaSoft, "1.8", "RuntimeLib", client);
    EXPECT_EQ(locate("jre_order s"), client);
    EXPECT_EQ(locate("jre_order s\nvm -"), client);
    EXPECT_EQ(locate("jre_order s\nvm c"), client);
    // A flavour makes the bin directory two levels up the place to probe.
    place(rt + "\\bin\\server\\jvm.dll");
    EXPECT_EQ(locate("jre_order s\nvm server"), rt + "\\bin/server/jvm.dll");
    fs::remove_all(rt + "\\bin\\server");
    EXPECT_EQ(locate("jre_order s\nvm server"), rt + "\\bin/client/jvm.dll");
}

TEST_F(Registry, MissingRuntimeLibIsCutTwoComponentsAndProbed) {
    place(rt + "\\bin\\server\\jvm.dll");
    writeVersion(javaSoft, "1.6.0_45", "RuntimeLib", rt + "\\bin\\client\\jvm.dll");
    EXPECT_EQ(locate("jre_order s"), rt + "\\bin/server/jvm.dll");
    writeVersion(javaSoft, "1.6.0_45", "RuntimeLib", rt + "/bin/client/jvm.dll");
    EXPECT_EQ(locate("jre_order s"), rt + "/bin/server/jvm.dll");
    EXPECT_EQ(text(RuntimeLocator::fromRegistry(app.config(), ByteString(javaSoft.c_str()))),
              rt + "/bin/server/jvm.dll");
}

TEST_F(Registry, JavaHomeIsProbedWhenRuntimeLibIsAbsent) {
    place(rt + "\\bin\\server\\jvm.dll");
    writeVersion(ibm, "1.7", "JavaHome", rt);
    EXPECT_EQ(locate("jre_order i"), rt + "/bin\\server/jvm.dll");
    EXPECT_EQ(locate("jre_order s"), "");
    writeVersion(ibm, "1.7", "JavaHome", app.temp.dir() + "elsewhere");
    EXPECT_EQ(locate("jre_order i"), "");
    // Neither RuntimeLib nor JavaHome in the version's key.
    writeVersion(ibm, "1.9", "Other", rt);
    EXPECT_EQ(locate("jre_order i"), "");
}

TEST_F(Registry, OnlyTheCurrentVersionIsConsulted) {
    place(rt + "\\bin\\server\\jvm.dll");
    ASSERT_TRUE(writeMachineString(javaSoft + "\\1.8", "JavaHome", rt));
    EXPECT_EQ(locate("jre_order s"), "");
    ASSERT_TRUE(writeMachineString(javaSoft, "CurrentVersion", "1.7"));
    EXPECT_EQ(locate("jre_order s"), "");
    ASSERT_TRUE(writeMachineString(javaSoft, "CurrentVersion", "1.8"));
    EXPECT_EQ(locate("jre_order s"), rt + "/bin\\server/jvm.dll");
}

TEST_F(Registry, DefaultOrderPutsTheRegistryBetweenBesideAndEnvironment) {
    const std::string sun = app.temp.dir() + "sun", blue = app.temp.dir() + "blue";
    place(sun + "\\bin\\server\\jvm.dll");
    place(blue + "\\bin\\server\\jvm.dll");
    place(app.temp.dir() + "env\\bin\\server\\jvm.dll");
    writeVersion(javaSoft, "1.8", "JavaHome", sun);
    writeVersion(ibm, "1.8", "JavaHome", blue);
    ScopedEnv env("JAVA_HOME", (app.temp.dir() + "env").c_str());

    place(app.home + "jre\\bin\\server\\jvm.dll");
    EXPECT_EQ(locate(""), app.home + "./jre/bin\\server/jvm.dll");
    fs::remove_all(app.home + "jre");
    EXPECT_EQ(locate(""), sun + "/bin\\server/jvm.dll");
    EXPECT_EQ(locate("jre_order eis"), app.temp.dir() + "env/bin\\server/jvm.dll");
    javaSoftKeys->remove();
    EXPECT_EQ(locate(""), blue + "/bin\\server/jvm.dll");
    ibmKeys->remove();
    EXPECT_EQ(locate(""), app.temp.dir() + "env/bin\\server/jvm.dll");
}

} // namespace
} // namespace tarn::test
