// The device list and its registry copy on the real INI-file store: what a load accepts and drops,
// what a save writes for present and absent devices, and separate lists per terminal position.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <tuple>
#include <vector>

#include "devices/DeviceRegistry.h"
#include "devices/NumericText.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/IniText.h"
#include "store/IniRegistry.h"
#include "support/Examples.h"
#include "support/TestContext.h"

namespace zd {
namespace {

constexpr std::uint32_t kHkcu = RegistryAccess::kHkeyCurrentUser;

class DeviceRegistryTest : public ::testing::Test {
  protected:
    void Put(std::int32_t position, int key, const std::string& name, const std::string& value) {
        m_registry->WriteString(kHkcu, DeviceRegistryKeyPath(position, key), name, value);
    }
    std::string Get(std::int32_t position, int key, const std::string& name) {
        std::string value = "<missing>";
        m_registry->ReadString(kHkcu, DeviceRegistryKeyPath(position, key), name, value);
        return value;
    }
    std::string Get2(const std::string& name) { return GetAt("Software\\T", name); }
    std::string Get2Root(const std::string& name) { return GetAt("", name); }
    std::string GetAt(const std::string& keyPath, const std::string& name) {
        std::string value = "<missing>";
        m_registry->ReadString(kHkcu, keyPath, name, value);
        return value;
    }
    // Drops the store object and opens the file again, as the next run of the tool would.
    void Reopen() {
        ASSERT_TRUE(m_registry->Sync());
        m_registry = std::make_unique<IniRegistry>(m_iniPath);
    }

    const test::TempFolder m_folder{"zd_registry_"};
    const std::string m_iniPath = m_folder.File("store.ini");
    std::unique_ptr<IniRegistry> m_registry = std::make_unique<IniRegistry>(m_iniPath);
    test::TestContext m_ctx;
    ModuleState m_state;
};

TEST_F(DeviceRegistryTest, FirstUseYieldsAnEmptyListAndWithoutAStoreNothingHappens) {
    m_state.devices->Add(clsDevice{1, 9, 9, false});
    ReadSettingsFromRegistry(m_state, nullptr, 7, m_ctx.context);
    SaveSettingsToRegistry(m_state, nullptr, 7, m_ctx.context);
    EXPECT_EQ(m_state.devices->Count(), 1u);
    ReadSettingsFromRegistry(m_state, m_registry.get(), 7, m_ctx.context);
    EXPECT_EQ(m_state.devices->Count(), 0u);
    EXPECT_TRUE(m_ctx.dialogs.boxes.empty());
}

TEST_F(DeviceRegistryTest, SaveThenLoadRoundTripsThroughTheFile) {
    ReadSettingsFromRegistry(m_state, m_registry.get(), 4, m_ctx.context);  // first use
    m_state.devices->Add(clsDevice{0xFFFFFF, 12, 12, true});
    m_state.devices->Add(clsDevice{0, 3, 3, false});
    SaveSettingsToRegistry(m_state, m_registry.get(), 4, m_ctx.context);
    Reopen();

    EXPECT_EQ(Get(4, 12, "Short Address"), "12");
    EXPECT_EQ(Get(4, 12, "Random Address"), "16777215");
    EXPECT_EQ(Get(4, 12, "DALI Conflict"), "1");
    EXPECT_EQ(Get(4, 3, "DALI Conflict"), "0");
    // Every address without a device is written as well.
    EXPECT_EQ(Get(4, 63, "Short Address"), "-1");
    EXPECT_EQ(Get(4, 0, "Random Address"), "0");

    ModuleState loaded;
    ReadSettingsFromRegistry(loaded, m_registry.get(), 4, m_ctx.context);
    ASSERT_EQ(loaded.devices->Count(), 2u);
    const clsDevice* d12 = loaded.devices->Item(12);
    ASSERT_NE(d12, nullptr);
    EXPECT_EQ(d12->m_nRandomAddress, 0xFFFFFF);
    EXPECT_EQ(d12->m_nNewShortAddress, 12);
    EXPECT_TRUE(d12->m_bDALIConflict);
    EXPECT_TRUE(m_ctx.dialogs.boxes.empty());

    // A device that is gone is overwritten on the next save.
    m_state.devices->Remove(12);
    SaveSettingsToRegistry(m_state, m_registry.get(), 4, m_ctx.context);
    EXPECT_EQ(Get(4, 12, "Short Address"), "-1");
    EXPECT_EQ(Get(4, 12, "DALI Conflict"), "0");
}

TEST_F(DeviceRegistryTest, LoadKeepsValidShortAddressesFirstRecordWinsOthersFallBack) {
    // key: short address, random address, conflict ("" = not stored)
    const std::tuple<int, const char*, const char*, const char*> records[] =
        {
            {0, "64", "", ""},      {1, "-1", "", ""},         {2, "", "", ""},
            {3, "abc", "", ""},     {4, "4", "", ""},          {10, " 10 ", "", ""},
            {11, "", "5", ""},                            // no short address at all
            {5, "7", "555", ""},    {7, "7", "777", ""},  // key 05 holding 7 wins
            {20, "20", "x12", "2"}, {21, "21", "&H10", "yes"},
        };
    for (const auto& [key, shortAddress, random, conflict] : records) {
        if (*shortAddress || key == 2) Put(2, key, "Short Address", shortAddress);
        if (*random) Put(2, key, "Random Address", random);
        if (*conflict) Put(2, key, "DALI Conflict", conflict);
    }
    ReadSettingsFromRegistry(m_state, m_registry.get(), 2, m_ctx.context);
    EXPECT_TRUE(m_ctx.dialogs.boxes.empty());
    // key:random:conflict. Missing or non-numeric random address: 0; a conflict is any number
    // other than 0.
    std::string loaded;
    for (const auto& [key, device] : m_state.devices->Items())
        loaded += key + ":" + std::to_string(device->m_nRandomAddress) +
                  (device->m_bDALIConflict ? ":1 " : ":0 ");
    EXPECT_EQ(loaded, "4:0:0 7:555:0 10:0:0 20:0:1 21:16:0 ");
}

TEST_F(DeviceRegistryTest, TerminalsAtDifferentPositionsKeepSeparateLists) {
    const std::pair<std::int32_t, std::int16_t> lists[] = {{3, 1}, {4, 2}, {-1, 60}};
    for (const auto& [position, address] : lists) {
        ReadSettingsFromRegistry(m_state, m_registry.get(), position, m_ctx.context);
        m_state.devices->Add(clsDevice{0, address, address, false});
        SaveSettingsToRegistry(m_state, m_registry.get(), position, m_ctx.context);
    }
    Reopen();
    for (const auto& [position, address] : lists) {
        ModuleState loaded;
        ReadSettingsFromRegistry(loaded, m_registry.get(), position, m_ctx.context);
        ASSERT_EQ(loaded.devices->Count(), 1u) << position;
        EXPECT_NE(loaded.devices->Item(address), nullptr) << position;
    }
}

// A value past its type shows the overflow box, but costs only its own key: the load goes on, and
// no save overwrites a key the load could not read, unless a device now has its address.
TEST_F(DeviceRegistryTest, BadKeysAreSkippedShownOnceAndNeverOverwrittenBySave) {
    const std::tuple<int, const char*, const char*> records[] = {
        {0, "0", "100"},   {1, "1", "99999999999"},  // random address past 32 bits
        {2, "70000", "0"}, {3, "3", "300"},          // short address past 16 bits
        {4, "4", "1e10"},  {5, "5", "500"},         {40, "40", "4000"}};
    for (const auto& [key, shortAddress, random] : records) {
        Put(6, key, "Short Address", shortAddress);
        Put(6, key, "Random Address", random);
    }
    ReadSettingsFromRegistry(m_state, m_registry.get(), 6, m_ctx.context);
    std::string loaded;
    for (const auto& [key, device] : m_state.devices->Items())
        loaded += key + ":" + std::to_string(device->m_nRandomAddress) + " ";
    EXPECT_EQ(loaded, "0:100 3:300 5:500 40:4000 ");
    ASSERT_EQ(m_ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(m_ctx.dialogs.boxes[0].text.rfind(
                  "Error: ReadSettingsFromRegistry: Overflow\r\nSource: ", 0),
              0u);

    // Device 5 is gone and device 2 was addressed since.
    m_state.devices->Remove(5);
    m_state.devices->Add(clsDevice{222, 2, 2, false});
    SaveSettingsToRegistry(m_state, m_registry.get(), 6, m_ctx.context);
    Reopen();
    EXPECT_EQ(Get(6, 1, "Random Address"), "99999999999");
    EXPECT_EQ(Get(6, 4, "Random Address"), "1e10");
    EXPECT_EQ(Get(6, 2, "Short Address") + "/" + Get(6, 2, "Random Address"), "2/222");
    EXPECT_EQ(Get(6, 5, "Short Address"), "-1");
    EXPECT_EQ(Get(6, 63, "Short Address"), "-1");

    // Without a load of this position (a refresh that failed before it), a save writes the
    // devices it has and touches no other key.
    ModuleState other;
    other.devices->Add(clsDevice{7, 7, 7, false});
    SaveSettingsToRegistry(other, m_registry.get(), 6, m_ctx.context);
    EXPECT_EQ(Get(6, 40, "Short Address"), "40");
    EXPECT_EQ(Get(6, 7, "Random Address"), "7");
    ReadSettingsFromRegistry(other, m_registry.get(), 5, m_ctx.context);
    SaveSettingsToRegistry(other, m_registry.get(), 6, m_ctx.context);
    EXPECT_EQ(Get(6, 40, "Short Address"), "40");
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
    ReadSettingsFromRegistry(m_state, &registry, 1, m_ctx.context);
    SaveSettingsToRegistry(m_state, &registry, 1, m_ctx.context);
    EXPECT_EQ(registry.values.size(), 6u);
    ASSERT_EQ(m_ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(
        m_ctx.dialogs.boxes[0].text,
        "Error: SaveSettingsToRegistry: Access denied\r\nSource: RegistryAccess\r\nNumber: 5");
}

TEST_F(DeviceRegistryTest, TheStoreKeepsOnlyTheCurrentUserRootAndTextsWithCommas) {
    EXPECT_FALSE(m_registry->WriteString(0x80000002u, "Software\\X", "v", "1"));
    EXPECT_TRUE(m_registry->WriteString(kHkcu, "Software\\X", "v", "a, b"));
    Reopen();
    std::string value;
    EXPECT_FALSE(m_registry->ReadString(0x80000002u, "Software\\X", "v", value));
    EXPECT_FALSE(m_registry->ReadString(kHkcu, "Software\\X", "w", value));
    EXPECT_TRUE(m_registry->ReadString(kHkcu, "Software\\X", "v", value));
    EXPECT_EQ(value, "a, b");
}

// The file keeps the layout other INI readers expect: key paths as groups, escaped names, quoted
// and escaped texts; and every text comes back as it was written.
TEST_F(DeviceRegistryTest, TheFileLayoutAndAnyTextRoundTrip) {
    const std::string texts[] = {"a, b",
                                 " padded ",
                                 "@at",
                                 "quote \" back\\slash",
                                 "x=1;y",
                                 "line\nbreak\ttab\x01\x7f"
                                 "1",
                                 "Ger\xC3\xA4t",
                                 ""};
    for (std::size_t i = 0; i < std::size(texts); ++i)
        m_registry->WriteString(kHkcu, "Software\\T", "v" + std::to_string(i), texts[i]);
    m_registry->WriteString(kHkcu, DeviceRegistryKeyPath(3, 5), "Short Address", "5");
    Reopen();
    for (std::size_t i = 0; i < std::size(texts); ++i)
        EXPECT_EQ(Get2("v" + std::to_string(i)), texts[i]);
    EXPECT_EQ(Get(3, 5, "Short Address"), "5");
    const std::string file = test::ReadFileText(m_iniPath);
    EXPECT_NE(file.find("[Software]\n"), std::string::npos) << file;
    EXPECT_NE(file.find("VB%20and%20VBA%20Program%20Settings\\OrvixVTermZD4270\\Terminal_3\\"
                        "Devices\\05\\Short%20Address=5\n"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("T\\v0=\"a, b\"\n"), std::string::npos) << file;

    // Written by hand or by another tool: groups, General, comments, quotes, lists, escapes.
    const IniContent read = ParseIniText(
        "top=1\r\n; note\n[General]\nalso = 2 \n[A]\nB\\c%20d=\"q, r\" ; comment\nlist=a,b , c\n"
        "[%General]\nk=@@x\nesc=\\x41\\101\\;\n[\\]\n\\lead=3\nA\\\\B\\=4\n\\=5\n");
    const std::map<std::string, std::string> expected = {
        {"top", "1"},        {"also", "2"},          {"A/B/c d", "q, r"}, {"A/list", "a, b, c"},
        {"General/k", "@x"}, {"General/esc", "AA;"}, {"lead", "3"},       {"A/B", "4"}};
    EXPECT_EQ(read.values, expected);
    // A key with no name left ("\\" alone) is no setting; every other one reads back as written.
    EXPECT_EQ(read.droppedLines, 1u);
    EXPECT_EQ(ParseIniText(IniTextOf(read.values)).values, expected);
}

// A corrupt store keeps what it can; what a rewrite leaves out is named, and the write is not
// reported as failed. The shapes that once took memory out of proportion are read in one pass.
TEST_F(DeviceRegistryTest, BadShapesAreDroppedAndNamedAndLargeStoresRefused) {
    std::ofstream(m_iniPath) << "x=1\n[[[bad\ny=2\n[Software]\nz=3\nno equals sign\n";
    m_registry = std::make_unique<IniRegistry>(m_iniPath);
    EXPECT_EQ(Get2Root("x"), "1");
    EXPECT_EQ(Get2Root("y"), "<missing>");  // under the broken header
    m_registry->WriteString(kHkcu, "Software", "w", "4");
    ASSERT_TRUE(m_registry->Sync()) << m_registry->LastError();
    ASSERT_TRUE(m_registry->DroppedNote());
    EXPECT_EQ(*m_registry->DroppedNote(),
              "The store " + m_iniPath +
                  " held 3 lines that hold no setting (line 2: [[[bad; line 3: y=2; line 6: no "
                  "equals sign); it was left out when the store was written");
    EXPECT_EQ(test::ReadFileText(m_iniPath), "[General]\nx=1\n\n[Software]\nw=4\nz=3\n");

    // The whole store wrapped in [ ... ], and a megabyte of [ before it.
    const std::string store = test::ReadFileText(m_iniPath);
    std::ofstream(m_iniPath) << "[" << store << "]";
    EXPECT_EQ(ParseIniText(test::ReadFileText(m_iniPath)).values.size(), 3u);
    std::ofstream(m_iniPath) << std::string(kMegabyte, '[') << store;
    m_registry = std::make_unique<IniRegistry>(m_iniPath);
    m_registry->WriteString(kHkcu, "Software", "w", "5");
    ASSERT_TRUE(m_registry->Sync());
    EXPECT_LT(test::ReadFileText(m_iniPath).size(), 100u);

    // Past the limit: refused with the limit named, nothing read, nothing ever written.
    const std::string large = std::string(4 * kMegabyte + 1, ';');
    std::ofstream(m_iniPath) << large;
    m_registry = std::make_unique<IniRegistry>(m_iniPath);
    ASSERT_TRUE(m_registry->LoadError());
    EXPECT_EQ(*m_registry->LoadError(),
              "The store " + m_iniPath + " is larger than 4 MB, the most this program reads");
    EXPECT_FALSE(m_registry->WriteString(kHkcu, "Software", "w", "6"));
    EXPECT_FALSE(m_registry->Sync());
    m_registry.reset();
    EXPECT_EQ(test::ReadFileText(m_iniPath).size(), large.size());
}

// A store just below the limit whose rewrite would grow past it (groups are filed under their
// first part) is not rewritten: every later run still reads it. A line past the limits is named
// as too long, a device as no store.
TEST_F(DeviceRegistryTest, TheWriterNeverMakesAStoreTheReaderRefuses) {
    std::string store;
    for (int group = 0; store.size() < 4 * kMegabyte - 40; ++group)
        store += "[g" + std::to_string(group) + "/a]\nk=1\n";
    std::ofstream(m_iniPath) << store;
    m_registry = std::make_unique<IniRegistry>(m_iniPath);
    ASSERT_FALSE(m_registry->LoadError());
    m_registry->WriteString(kHkcu, "Software", "w", "1");
    EXPECT_FALSE(m_registry->Sync());
    EXPECT_NE(m_registry->LastError().find("more than the 4 MB this program reads; it was left"),
              std::string::npos)
        << m_registry->LastError();
    m_registry.reset();
    EXPECT_EQ(test::ReadFileText(m_iniPath), store);
    EXPECT_FALSE(IniRegistry(m_iniPath).LoadError());

    const IniContent content = ParseIniText("a=1\nb=" + std::string(kIniMaxValue + 1, 'v') + "\n");
    EXPECT_EQ(content.values.size(), 1u);
    EXPECT_NE(DroppedLinesText(content).find("1 line longer than this program keeps (a name up to "
                                             "1024 bytes, a value up to 64 KB) (line 2: b=vvv"),
              std::string::npos)
        << DroppedLinesText(content);
    EXPECT_EQ(*IniRegistry("/dev/full").LoadError(), "The store /dev/full is not a regular file");
}

// A full store of 64 positions of 64 devices stays well below the limit; a write that the file
// size limit stops half-way (SIGXFSZ ignored, so write fails with EFBIG) fails and leaves the old
// store whole.
TEST_F(DeviceRegistryTest, AWriteStoppedHalfWayFailsAndKeepsTheOldStore) {
    for (std::int32_t position = 0; position < 64; ++position) {
        ReadSettingsFromRegistry(m_state, m_registry.get(), position, m_ctx.context);
        for (std::int16_t a = 0; a < 64; ++a) m_state.devices->Add(clsDevice{0xFFFFFF, a, a, true});
        SaveSettingsToRegistry(m_state, m_registry.get(), position, m_ctx.context);
    }
    Reopen();
    const std::string old = test::ReadFileText(m_iniPath);
    EXPECT_LT(old.size(), kStoreInput.limit / 2);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{old.size() / 2, old.size() / 2};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        m_registry->WriteString(kHkcu, DeviceRegistryKeyPath(1, 1), "Extra", "1");
        const bool written = m_registry->Sync();
        const bool named = m_registry->LastError().find("File too large") != std::string::npos;
        ::_exit(written ? 0 : named ? 1 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(test::ReadFileText(m_iniPath), old);
    for (const auto& entry : std::filesystem::directory_iterator(m_folder.File("")))
        EXPECT_EQ(entry.path().filename(), "store.ini");
}

TEST(ColDevicesTest, KeyedByDecimalShortAddressFirstRecordWins) {
    colDevices list;
    EXPECT_TRUE(list.Add(clsDevice{1, 7, 7, false}));
    EXPECT_FALSE(list.Add(clsDevice{2, 7, 9, true}));
    EXPECT_TRUE(list.Add(clsDevice{3, 2, 2, false}));
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.Item("7")->m_nRandomAddress, 1);
    EXPECT_EQ(list.Item("07"), nullptr);  // no leading zero in keys
    // Insertion order, and the procedures empty the list from its first entry.
    list.RemoveFirst();
    EXPECT_EQ(list.Items()[0].first, "2");
    EXPECT_FALSE(list.Remove(7));
    EXPECT_TRUE(list.Remove("2"));
    list.RemoveFirst();  // on an empty list: nothing
    EXPECT_EQ(list.Count(), 0u);
}

TEST(NumericTextTest, NumericTextsTheirIntegerConversionsAndTheStrictDecimalsOfFiles) {
    for (const char* text : {" 12 ", "-3.5e1", "&HFF"}) EXPECT_TRUE(IsNumericText(text)) << text;
    for (const char* text : {"", "1 2", ".", "1e"}) EXPECT_FALSE(IsNumericText(text)) << text;
    EXPECT_EQ(TextToInteger("2.5"), 2);  // ties to even
    EXPECT_EQ(TextToInteger("3.5"), 4);
    EXPECT_EQ(TextToInteger("&HFFFF"), -1);
    EXPECT_EQ(TextToLong("&HFFFFFFFF"), -1);
    // The error numbers show in the boxes ("Overflow", "Type mismatch").
    EXPECT_THROW(TextToInteger("32768"), ControlError);
    EXPECT_THROW(TextToLong("x"), ControlError);

    // Numbers in files are read one way; every text another reader might take differently is
    // none.
    const std::pair<const char*, std::int64_t> valid[] = {
        {"0", 0}, {"7", 7}, {"-12", -12}, {"123456789012345678", 123456789012345678}};
    for (const auto& [text, value] : valid) EXPECT_EQ(ParseDecimalText(text), value) << text;
    for (const char* text : {"", " 5", "5 ", "+5", "05", "010", "-0", "5.0", "1e2", "&H10", "0x10",
                             "-", "1234567890123456789"}) {
        EXPECT_FALSE(ParseDecimalText(text).has_value()) << text;
    }

    const std::tuple<const char*, std::int32_t, const char*> errors[] = {
        {"+5", kErrTypeMismatch, "Type mismatch: \"Pos\" is \"+5\", not a decimal number"},
        {"70000", kErrOverflow, "Overflow: \"Pos\" is 70000, out of range"},
        {"99999999999999999999", kErrOverflow,
         "Overflow: \"Pos\" is 99999999999999999999, out of range"},
    };
    for (const auto& [text, number, description] : errors) {
        const auto error =
            test::Thrown([text = text] { DecimalField(text, "\"Pos\"", -32768, 32767); });
        ASSERT_TRUE(error) << text;
        EXPECT_EQ(error->Number(), number);
        EXPECT_EQ(error->Description(), description);
    }
}

}  // namespace
}  // namespace zd
