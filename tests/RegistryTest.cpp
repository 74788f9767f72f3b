#include "platform/Registry.h"

#include "HostMachine.h"
#include "platform/Exceptions.h"

namespace zorvane::testing {
namespace {

#define EXPECT_RAISES(statement, message)        \
    try {                                        \
        statement;                               \
        ADD_FAILURE() << "nothing raised";       \
    } catch (const ERegistryException& raised) { \
        EXPECT_STREQ(raised.what(), message);    \
    }

constexpr char Zv[] = "HKLM\\SOFTWARE\\Zv";

class RegistryTest : public HostMachine {
  protected:
    RegistryTest() { registry.SelectRoot(HkeyLocalMachine()); }
    TRegistry registry;
};

TEST_F(RegistryTest, PathsWithABackslashAreUnderTheRootOthersUnderTheCurrentKey) {
    EXPECT_TRUE(registry.OpenCurrentKey("SOFTWARE", false));  // no current key: under the root
    EXPECT_TRUE(registry.OpenCurrentKey("Zv\\A", true));      // under SOFTWARE, created
    EXPECT_EQ(registry.CurrentPath(), "SOFTWARE\\Zv\\A");
    EXPECT_TRUE(registry.HasKey("\\SOFTWARE\\Zv"));
    EXPECT_FALSE(registry.HasKey("Zv"));  // under SOFTWARE\Zv\A
    EXPECT_TRUE(registry.OpenCurrentKey("\\SOFTWARE\\Zv", false));
    EXPECT_EQ(registry.CurrentPath(), "SOFTWARE\\Zv");
    EXPECT_EQ(machine.JournalTexts(),
              (Texts{"RegOpenKeyExA(HKLM, \"SOFTWARE\", 0x0, 0xF003F)",
                     "RegCreateKeyExA(h1, \"Zv\\A\", 0x0, NULL, 0x0, 0xF003F, NULL)",
                     "RegCloseKey(h1)", "RegOpenKeyExA(HKLM, \"SOFTWARE\\Zv\", 0x0, 0x20009)",
                     "RegCloseKey(h3)", "RegOpenKeyExA(h2, \"Zv\", 0x0, 0x20009)",
                     "RegOpenKeyExA(HKLM, \"SOFTWARE\\Zv\", 0x0, 0xF003F)", "RegCloseKey(h2)"}));
}

TEST_F(RegistryTest, OnlyASuccessfulOpenOrANewRootChangesTheCurrentKey) {
    EXPECT_TRUE(registry.MakeKey("\\SOFTWARE\\Zv"));
    EXPECT_TRUE(registry.MakeKey("\\SOFTWARE\\Zv"));  // already there
    EXPECT_EQ(Names(), "RegCreateKeyExA RegCloseKey RegCreateKeyExA RegCloseKey ");
    machine.registry.SetDword(Zv, "Name", 7);
    EXPECT_RAISES(registry.PutString("Name", "x"), "Failed to set data for 'Name'");
    EXPECT_FALSE(registry.HasValue("Name"));  // Windows refuses the null handle
    ASSERT_TRUE(registry.OpenCurrentKey("\\SOFTWARE\\Zv", false));
    EXPECT_FALSE(registry.OpenCurrentKey("\\SOFTWARE\\Missing", false));
    machine.registry.AddKey("HKLM\\SOFTWARE\\Locked");
    machine.registry.DenyAccess("HKLM\\SOFTWARE\\Locked");  // full access is asked even to read
    EXPECT_FALSE(registry.OpenCurrentKey("\\SOFTWARE\\Locked", false));
    machine.FailCall("RegCreateKeyExA", 1, error::AccessDenied);
    EXPECT_RAISES(registry.MakeKey("\\SOFTWARE\\New"), "Failed to create key \\SOFTWARE\\New");
    registry.SelectRoot(HkeyLocalMachine());
    registry.PutString("Name", "");  // over the REG_DWORD: a REG_SZ of one zero byte
    EXPECT_EQ(machine.registry.GetValue(Zv, "Name"),
              (sim::RegistryStore::Value{RegSz, std::string(1, '\0')}));
    registry.SelectRoot(HkeyCurrentUser());
    EXPECT_EQ(machine.registry.OpenKeyCount(), 0u);
}

TEST_F(RegistryTest, GetStringGivesTextTypesUpToTheFirstZeroAndRefusesOthers) {
    const std::tuple<DWORD, std::string, const char*> cases[] = {
        {RegSz, std::string("ab\0cd", 5), "ab"}, {RegSz, "ab", "ab"},  // no terminating zero
        {RegExpandSz, "%Zv%", "%Zv%"},           {RegSz, "", ""},
        {RegDword, "\7\0\0\0", nullptr},         {RegMultiSz, "a\0\0", nullptr}};
    EXPECT_EQ(registry.GetString("V"), "");  // no current key
    ASSERT_TRUE(registry.OpenCurrentKey("\\SOFTWARE\\Zv", true));
    EXPECT_EQ(registry.GetString("V"), "");  // missing
    for (const auto& [type, data, text] : cases) {
        machine.registry.SetValue(Zv, "V", type, data);
        if (text)
            EXPECT_EQ(registry.GetString("V"), text) << data;
        else
            EXPECT_RAISES(registry.GetString("V"), "Invalid data type for 'V'");
    }
    machine.FailCall("RegQueryValueExA", 2, error::MoreData);  // the value grew in between
    EXPECT_RAISES(registry.GetString("V"), "Failed to get data for 'V'");
}

}  // namespace
}  // namespace zorvane::testing
