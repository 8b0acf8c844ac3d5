// The device list and its registry copy, on the real QSettings store in a temporary folder: what a
// load accepts and drops, what a save writes for present and absent devices, and that terminals at
// different positions keep separate lists.
#include <gtest/gtest.h>

#include <QSettings>
#include <filesystem>
#include <tuple>
#include <vector>

#include "devices/DeviceRegistry.h"
#include "devices/NumericText.h"
#include "host/QSettingsRegistry.h"
#include "platform/Error.h"
#include "support/TestContext.h"

namespace zd {
namespace {

namespace fs = std::filesystem;
constexpr std::uint32_t kHkcu = RegistryAccess::kHkeyCurrentUser;

class DeviceRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("zd_registry_" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_iniPath = (m_dir / "registry.ini").string();
        m_registry = std::make_unique<QSettingsRegistry>(m_iniPath);
    }
    void TearDown() override {
        m_registry.reset();
        fs::remove_all(m_dir);
    }

    void Put(std::int32_t position, int key, const std::string& name, const std::string& value) {
        m_registry->WriteString(kHkcu, DeviceRegistryKeyPath(position, key), name, value);
    }
    std::string Get(std::int32_t position, int key, const std::string& name) {
        std::string value = "<missing>";
        m_registry->ReadString(kHkcu, DeviceRegistryKeyPath(position, key), name, value);
        return value;
    }
    // Drops the store object and opens the file again, as the next run of the tool would.
    void Reopen() {
        ASSERT_TRUE(m_registry->Sync());
        m_registry = std::make_unique<QSettingsRegistry>(m_iniPath);
    }

    fs::path m_dir;
    std::string m_iniPath;
    std::unique_ptr<QSettingsRegistry> m_registry;
    test::TestContext m_ctx;
    ModuleState m_state;
};

TEST_F(DeviceRegistryTest, FirstUseYieldsAnEmptyListAndNoMessage) {
    m_state.devices->Add(clsDevice{1, 9, 9, false});
    ReadSettingsFromRegistry(m_state, m_registry.get(), 7, m_ctx.context);
    EXPECT_EQ(m_state.devices->Count(), 0u);
    EXPECT_TRUE(m_ctx.dialogs.boxes.empty());
}

TEST_F(DeviceRegistryTest, SaveThenLoadRoundTripsThroughTheFile) {
    m_state.devices->Add(clsDevice{0xFFFFFF, 12, 12, true});
    m_state.devices->Add(clsDevice{0, 3, 3, false});
    SaveSettingsToRegistry(m_state, m_registry.get(), 4, m_ctx.context);
    Reopen();

    EXPECT_EQ(Get(4, 12, "Short Address"), "12");
    EXPECT_EQ(Get(4, 12, "Random Address"), "16777215");
    EXPECT_EQ(Get(4, 12, "DALI Conflict"), "1");
    EXPECT_EQ(Get(4, 3, "DALI Conflict"), "0");
    // Every address without a device is written as well.
    EXPECT_EQ(Get(4, 0, "Short Address"), "-1");
    EXPECT_EQ(Get(4, 0, "Random Address"), "0");
    EXPECT_EQ(Get(4, 63, "DALI Conflict"), "0");

    ModuleState loaded;
    ReadSettingsFromRegistry(loaded, m_registry.get(), 4, m_ctx.context);
    ASSERT_EQ(loaded.devices->Count(), 2u);
    // Loaded in ascending address order, whatever order they were added in.
    EXPECT_EQ(loaded.devices->Items()[0].first, "3");
    const clsDevice* d12 = loaded.devices->Item(12);
    ASSERT_NE(d12, nullptr);
    EXPECT_EQ(d12->m_nRandomAddress, 0xFFFFFF);
    EXPECT_EQ(d12->m_nNewShortAddress, 12);
    EXPECT_TRUE(d12->m_bDALIConflict);
    EXPECT_TRUE(m_ctx.dialogs.boxes.empty());

    // The INI file keeps the whole key path as groups, readable by any other tool.
    QSettings raw(QString::fromStdString(m_iniPath), QSettings::IniFormat);
    EXPECT_EQ(
        raw.value("Software/VB and VBA Program Settings/OrvixVTermZD4270/Terminal_4/Devices/12/"
                  "Random Address")
            .toString()
            .toStdString(),
        "16777215");

    // A device that is gone is overwritten on the next save.
    m_state.devices->Remove(12);
    SaveSettingsToRegistry(m_state, m_registry.get(), 4, m_ctx.context);
    EXPECT_EQ(Get(4, 12, "Short Address"), "-1");
    EXPECT_EQ(Get(4, 12, "Random Address"), "0");
    EXPECT_EQ(Get(4, 12, "DALI Conflict"), "0");
}

TEST_F(DeviceRegistryTest, LoadKeepsValidShortAddressesFirstRecordWinsOthersFallBack) {
    // key: short address, random address, conflict ("" = not stored)
    const std::tuple<int, const char*, const char*, const char*> records[] = {
        {0, "64", "", ""},  {1, "-1", "", ""}, {2, "", "", ""},         {3, "abc", "", ""},
        {4, "4", "", ""},   {10, " 10 ", "", ""}, {11, "", "5", ""},    // no short address at all
        {5, "7", "555", ""}, {7, "7", "777", ""},                      // key 05 holding 7 wins
        {20, "20", "x12", "2"}, {21, "21", "&H10", "yes"},
    };
    for (const auto& [key, shortAddress, random, conflict] : records) {
        if (*shortAddress || key == 2) Put(2, key, "Short Address", shortAddress);
        if (*random) Put(2, key, "Random Address", random);
        if (*conflict) Put(2, key, "DALI Conflict", conflict);
    }
    ReadSettingsFromRegistry(m_state, m_registry.get(), 2, m_ctx.context);
    EXPECT_TRUE(m_ctx.dialogs.boxes.empty());
    std::vector<std::string> keys;
    for (const auto& item : m_state.devices->Items()) keys.push_back(item.first);
    EXPECT_EQ(keys, (std::vector<std::string>{"4", "7", "10", "20", "21"}));
    EXPECT_EQ(m_state.devices->Item(7)->m_nRandomAddress, 555);
    // Missing or non-numeric random address: 0; a conflict is any number other than 0.
    EXPECT_EQ(m_state.devices->Item(4)->m_nRandomAddress, 0);
    EXPECT_FALSE(m_state.devices->Item(4)->m_bDALIConflict);
    EXPECT_EQ(m_state.devices->Item(20)->m_nRandomAddress, 0);
    EXPECT_TRUE(m_state.devices->Item(20)->m_bDALIConflict);
    EXPECT_EQ(m_state.devices->Item(21)->m_nRandomAddress, 16);
    EXPECT_FALSE(m_state.devices->Item(21)->m_bDALIConflict);
}

TEST_F(DeviceRegistryTest, TerminalsAtDifferentPositionsKeepSeparateLists) {
    m_state.devices->Add(clsDevice{0, 1, 1, false});
    SaveSettingsToRegistry(m_state, m_registry.get(), 3, m_ctx.context);
    m_state.devices->Clear();
    m_state.devices->Add(clsDevice{0, 2, 2, false});
    SaveSettingsToRegistry(m_state, m_registry.get(), 4, m_ctx.context);
    m_state.devices->Clear();
    m_state.devices->Add(clsDevice{0, 60, 60, false});
    SaveSettingsToRegistry(m_state, m_registry.get(), -1, m_ctx.context);
    Reopen();

    ModuleState three, four, none;
    ReadSettingsFromRegistry(three, m_registry.get(), 3, m_ctx.context);
    ReadSettingsFromRegistry(four, m_registry.get(), 4, m_ctx.context);
    ReadSettingsFromRegistry(none, m_registry.get(), -1, m_ctx.context);
    ASSERT_EQ(three.devices->Count(), 1u);
    ASSERT_EQ(four.devices->Count(), 1u);
    ASSERT_EQ(none.devices->Count(), 1u);
    EXPECT_NE(three.devices->Item(1), nullptr);
    EXPECT_NE(four.devices->Item(2), nullptr);
    EXPECT_NE(none.devices->Item(60), nullptr);
}

TEST_F(DeviceRegistryTest, AnOverflowingShortAddressEndsTheLoadWithAnErrorBox) {
    Put(6, 0, "Short Address", "0");
    Put(6, 1, "Short Address", "70000");
    Put(6, 2, "Short Address", "2");
    ReadSettingsFromRegistry(m_state, m_registry.get(), 6, m_ctx.context);
    // What was loaded before the error stays; the rest is not read.
    EXPECT_EQ(m_state.devices->Count(), 1u);
    ASSERT_EQ(m_ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(m_ctx.dialogs.boxes[0].text.rfind(
                  "Error: ReadSettingsFromRegistry: Overflow\r\nSource: ", 0),
              0u);
    EXPECT_EQ(m_ctx.dialogs.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(m_ctx.dialogs.boxes[0].title, "System failure");
}

TEST_F(DeviceRegistryTest, WithoutARegistryObjectNothingHappens) {
    m_state.devices->Add(clsDevice{0, 8, 8, false});
    ReadSettingsFromRegistry(m_state, nullptr, 1, m_ctx.context);
    SaveSettingsToRegistry(m_state, nullptr, 1, m_ctx.context);
    EXPECT_EQ(m_state.devices->Count(), 1u);
    EXPECT_TRUE(m_ctx.dialogs.boxes.empty());
}

// A store whose writes fail part-way, to see a save end with the error box.
class FailingRegistry : public MemoryRegistry {
  public:
    bool WriteString(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                     const std::string& value) override {
        if (++writes > 6) throw ControlError("Access denied", "RegistryAccess", 5);
        return MemoryRegistry::WriteString(root, keyPath, valueName, value);
    }
    int writes = 0;
};

TEST_F(DeviceRegistryTest, AFailingSaveShowsTheErrorAndKeepsWhatWasWritten) {
    FailingRegistry registry;
    SaveSettingsToRegistry(m_state, &registry, 1, m_ctx.context);
    EXPECT_EQ(registry.values.size(), 6u);
    ASSERT_EQ(m_ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(
        m_ctx.dialogs.boxes[0].text,
        "Error: SaveSettingsToRegistry: Access denied\r\nSource: RegistryAccess\r\nNumber: 5");
}

TEST(QSettingsRegistryTest, OnlyTheCurrentUserRootIsKept) {
    fs::path path = fs::temp_directory_path() / "zd_registry_roots.ini";
    fs::remove(path);
    {
        QSettingsRegistry registry(path.string());
        EXPECT_FALSE(registry.WriteString(0x80000002u, "Software\\X", "v", "1"));
        EXPECT_TRUE(registry.WriteString(kHkcu, "Software\\X", "v", "a, b"));
        std::string value;
        EXPECT_FALSE(registry.ReadString(0x80000002u, "Software\\X", "v", value));
        EXPECT_FALSE(registry.ReadString(kHkcu, "Software\\X", "w", value));
    }
    QSettingsRegistry reopened(path.string());
    std::string value;
    // A text with a comma survives the INI file as one string.
    EXPECT_TRUE(reopened.ReadString(kHkcu, "Software\\X", "v", value));
    EXPECT_EQ(value, "a, b");
    fs::remove(path);
}

TEST(ColDevicesTest, KeyedByDecimalShortAddressFirstRecordWins) {
    colDevices list;
    EXPECT_TRUE(list.Add(clsDevice{1, 7, 7, false}));
    EXPECT_FALSE(list.Add(clsDevice{2, 7, 9, true}));
    EXPECT_TRUE(list.Add(clsDevice{3, 2, 2, false}));
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.Item("7")->m_nRandomAddress, 1);
    EXPECT_EQ(list.Item("07"), nullptr);  // no leading zero in keys
    EXPECT_EQ(list.Item(99), nullptr);
    // Insertion order, and the procedures empty the list from its first entry.
    EXPECT_EQ(list.Items()[0].first, "7");
    list.RemoveFirst();
    EXPECT_EQ(list.Items()[0].first, "2");
    EXPECT_FALSE(list.Remove(7));
    EXPECT_TRUE(list.Remove("2"));
    EXPECT_EQ(list.Count(), 0u);
    list.RemoveFirst();  // on an empty list: nothing
}

TEST(NumericTextTest, NumericTextsAndTheirIntegerConversions) {
    EXPECT_TRUE(IsNumericText(" 12 "));
    EXPECT_TRUE(IsNumericText("-3.5e1"));
    EXPECT_TRUE(IsNumericText("&HFF"));
    EXPECT_FALSE(IsNumericText(""));
    EXPECT_FALSE(IsNumericText("1 2"));
    EXPECT_FALSE(IsNumericText("abc"));
    EXPECT_FALSE(IsNumericText("."));
    EXPECT_FALSE(IsNumericText("1e"));
    EXPECT_EQ(TextToInteger("2.5"), 2);  // ties to even
    EXPECT_EQ(TextToInteger("3.5"), 4);
    EXPECT_EQ(TextToInteger("&HFFFF"), -1);
    EXPECT_EQ(TextToLong("16777215"), 16777215);
    EXPECT_EQ(TextToLong("&HFFFFFFFF"), -1);
    try {
        TextToInteger("32768");
        FAIL();
    } catch (const ControlError& e) {
        EXPECT_EQ(e.Number(), kErrOverflow);
    }
    try {
        TextToLong("x");
        FAIL();
    } catch (const ControlError& e) {
        EXPECT_EQ(e.Number(), kErrTypeMismatch);
    }
}

}  // namespace
}  // namespace zd
