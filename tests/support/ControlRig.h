// What the control tests share: a station node from a few fields, the simulated terminal behind the
// in-process port (failing on request), a word store, a temporary working folder and a page's
// request.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"
#include "platform/Utf8.h"
#include "platform/Xml.h"
#include "sim/LineFile.h"
#include "sim/Terminal.h"
#include "support/Examples.h"
#include "support/TestContext.h"
#include "transport/SimDevCom.h"

namespace zd::test {

struct StationShape {
    std::string pos = "Pos=\"1\"";
    std::string name = "ZD4270";
    std::string endianElement = "<ProcessDataGlobal EndianFormat=\"Intel\"/>";
    bool processData = true;
    // STATUS, INPUT, CONTROL, OUTPUT: the packed placement, inputs in table 0, outputs in table 1.
    std::array<std::string, 4> offsets{"0.0", "0.8", "0.0", "0.8"};
    std::array<std::string, 4> tables{"0", "0", "1", "1"};
};

inline std::string StationXml(const StationShape& shape) {
    static const char* const kDirs[] = {"STATUS", "INPUT", "CONTROL", "OUTPUT"};
    std::string xml = "<Station><Coupler Name=\"K1\">" + shape.endianElement + "<Device " +
                      shape.pos + " Name=\"" + shape.name + "\">";
    if (shape.processData) {
        xml += "<ProcessData><Channel>";
        for (int i = 0; i < 4; ++i) {
            xml += std::string("<Variable Dir=\"") + kDirs[i] + "\" Offset=\"" +
                   shape.offsets[static_cast<std::size_t>(i)] + "\" Table=\"" +
                   shape.tables[static_cast<std::size_t>(i)] + "\"/>";
        }
        xml += "</Channel></ProcessData>";
    }
    return xml + "</Device></Coupler></Station>";
}

inline std::string UserDataXml(const std::string& channel = "0", const std::string& company = "2") {
    return "<Params><UserData>" + channel + "</UserData><CompanyId>" + company +
           "</CompanyId></Params>";
}

// Words by (device, table, offset); reads of unknown words give 0. Keeps every call.
class WordStore : public DevCom {
  public:
    struct Call {
        bool write;
        std::int32_t device, table, offset;
        std::vector<std::uint16_t> words;
    };
    void ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                   std::int32_t nCount, std::uint16_t* pData) override {
        calls.push_back({false, nDevice, nTable, nOffset, {}});
        for (std::int32_t i = 0; i < nCount; ++i) {
            pData[i] = words[{nDevice, nTable, nOffset + i}];
            calls.back().words.push_back(pData[i]);
        }
    }
    void WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                    std::int32_t nCount, const std::uint16_t* pData) override {
        calls.push_back({true, nDevice, nTable, nOffset, {pData, pData + nCount}});
        for (std::int32_t i = 0; i < nCount; ++i) words[{nDevice, nTable, nOffset + i}] = pData[i];
    }
    std::map<std::tuple<std::int32_t, std::int32_t, std::int32_t>, std::uint16_t> words;
    std::vector<Call> calls;
};

// Runs each test in a fresh temporary folder, where the control writes its log files.
class TempWorkingFolder : public TempFolder {
  public:
    TempWorkingFolder() : TempFolder("zd_frame_"), m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(Path());
    }
    ~TempWorkingFolder() { std::filesystem::current_path(m_previous); }

  private:
    std::filesystem::path m_previous;
};

// The text of a UTF-16LE file with its byte order mark.
inline std::string ReadUtf16File(const char* path) {
    const std::string bytes = ReadFileText(path);
    if (bytes.rfind("\xFF\xFE", 0) != 0) return "<no BOM>";
    std::u16string units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return Utf16ToUtf8(units);
}

inline std::vector<std::string> BoxTexts(const RecordingDialogs& dialogs) {
    std::vector<std::string> texts;
    for (const auto& box : dialogs.boxes) texts.push_back(box.text);
    return texts;
}

// Clicks a Start whose default options delete what the line holds: the question before the run
// (answered as the dialogs answer it) is left out of the boxes, which then hold what the run
// itself said.
inline bool ClickStart(Button& start, RecordingDialogs& dialogs) {
    const std::size_t before = dialogs.boxes.size();
    const bool clicked = start.Click();
    if (dialogs.boxes.size() > before && dialogs.boxes[before].buttons == MsgButtons::YesNo)
        dialogs.boxes.erase(dialogs.boxes.begin() + static_cast<std::ptrdiff_t>(before));
    return clicked;
}

// The variables a page passes by reference when it asks for a DALI command or its answer.
struct DaliRequest {
    std::int16_t nCommandId = 0;
    std::uint8_t nData = 0;
    std::int16_t nAddrType = AddressKindNumber(AddressKind::Short);
    std::int16_t nAddr = 0;
    std::int16_t nRet = -99;
    EventParams params;

    DaliRequest() {
        params.Bind("nCommandId", nCommandId).Bind("nData", nData).Bind("nAddrType", nAddrType);
        params.Bind("nAddr", nAddr).Bind("nRet", nRet);
    }
    DaliRequest(const DaliRequest&) = delete;
    DaliRequest& operator=(const DaliRequest&) = delete;
};

// Where the control reads its logging switches.
inline constexpr const char* kSettingsKey =
    "Software\\VB and VBA Program Settings\\OrvixVTermZD4270\\Settings\\";

// The control on a simulated terminal (packed Intel placement at position 1) with recording
// dialogs.
class ControlRig : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeTerminal();
        control = std::make_unique<configZD4270>(ctx.context, registry, state);
    }
    void TearDown() override { control.reset(); }

    void MakeTerminal(std::uint16_t firmware = 0x314D, std::uint16_t features = 0,
                      sim::ImageLayout layout = sim::ImageLayout::Packed(0, 1),
                      std::int32_t position = 1) {
        sim::TerminalConfig config;
        config.position = position;
        config.firmwareVersion = firmware;
        config.featureRegister = features;
        config.layout = layout;
        terminal = std::make_shared<sim::Terminal>(ctx.scheduler, config);
        port = std::make_shared<SimDevCom>(terminal);
    }
    // The terminal of an example line (examples/lines/<name>); its layout and position must match
    // the station node given to Refresh.
    void UseLineFile(const std::string& name) {
        terminal =
            sim::MakeTerminal(ctx.scheduler, sim::LoadLineFile((kExampleLines / name).string()));
        port = std::make_shared<SimDevCom>(terminal);
    }
    XmlNode Node(const StationShape& shape = {}) {
        station = std::make_unique<XmlDocument>();
        EXPECT_TRUE(station->LoadXml(StationXml(shape)));
        return station->DocumentNode().SelectSingleNode("Station/Coupler/Device");
    }
    void Refresh(const StationShape& shape = {}, const std::string& userData = UserDataXml()) {
        control->RefreshData(Node(shape), port, userData);
    }
    // The addressing log on or off, as its registry switch and a read of the settings set it.
    void SetAddressingLogging(bool on) {
        registry.WriteString(RegistryAccess::kHkeyCurrentUser, kSettingsKey,
                             "EnableLoggingAddressing", on ? "1" : "0");
        control->ReadLoggingSettingsFromRegistry();
    }

    TempWorkingFolder folder;
    TestContext ctx;
    MemoryRegistry registry;
    ModuleState state;
    std::shared_ptr<sim::Terminal> terminal;
    std::shared_ptr<SimDevCom> port;
    std::unique_ptr<XmlDocument> station;
    std::unique_ptr<configZD4270> control;
};

}  // namespace zd::test
