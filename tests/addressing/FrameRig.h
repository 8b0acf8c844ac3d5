// The control on an example line for the addressing tests: the line's terminal with the firmware
// version that chooses the procedure, refreshed; runs a random addressing to its end and reads the
// gear, the device list, the lamp list and the addressing log back.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/ControlRig.h"

namespace zd::test {

// "1L": the control searches itself; "1M": the terminal does.
inline constexpr std::uint16_t kSoftwareVariant = 0x314C;
inline constexpr std::uint16_t kFirmwareVariant = 0x314D;

inline std::string ReadUtf16Log(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return "<no BOM>";
    std::u16string units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return Utf16ToUtf8(units);
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

inline bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class AddressingRig : public ControlRig {
  protected:
    void UseLine(const std::string& name, std::uint16_t firmware) {
        const auto path =
            std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "examples" /
            "lines" / name;
        sim::LineDescription description = sim::LoadLineFile(path.string());
        description.terminal.firmwareVersion = firmware;
        terminal = sim::MakeTerminal(ctx.scheduler, description);
        port = std::make_shared<SimTerminalPort>(*terminal);
        Refresh();
        ASSERT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    }
    // An empty line with the given firmware, for gear the test adds itself.
    void UseEmptyLine(std::uint16_t firmware) {
        MakeTerminal(firmware);
        Refresh();
    }
    int AddUnaddressed(std::uint32_t random) {
        sim::GearConfig config;
        config.randomise = {random};
        return terminal->AddGear(config);
    }

    // A record in the device list, as a scan or an earlier run leaves it.
    void AddDeviceRecord(std::int16_t shortAddress, std::int32_t randomAddress = 0) {
        clsDevice device;
        device.m_nShortAddress = device.m_nNewShortAddress = shortAddress;
        device.m_nRandomAddress = randomAddress;
        state.devices->Add(device);
    }

    // Runs the random addressing until it is over; the virtual milliseconds it took.
    std::int64_t RunToEnd(std::int64_t limitMs = 3'600'000) {
        const std::int64_t start = ctx.scheduler.Now();
        EXPECT_TRUE(
            ctx.scheduler.RunUntil([this] { return !control->m_bRndAddrRunning; }, limitMs));
        return ctx.scheduler.Now() - start;
    }
    std::int64_t StartAndRun() {
        EXPECT_TRUE(control->cmdRndAddrStart.Click());
        return RunToEnd();
    }

    // Short address of every gear, ordered by its random address.
    std::vector<std::optional<std::uint8_t>> ShortsByRandom() {
        terminal->AdvanceToNow();
        std::multimap<std::uint32_t, std::optional<std::uint8_t>> byRandom;
        for (const auto& gear : terminal->GetLine().Gear())
            byRandom.emplace(gear->RandomAddress(), gear->ShortAddress());
        std::vector<std::optional<std::uint8_t>> shorts;
        for (const auto& [random, shortAddress] : byRandom) shorts.push_back(shortAddress);
        return shorts;
    }
    std::vector<int> DeviceAddresses() const {
        std::vector<int> addresses;
        for (const auto& [key, device] : state.devices->Items()) {
            EXPECT_EQ(key, std::to_string(device->m_nShortAddress));
            addresses.push_back(device->m_nShortAddress);
        }
        std::sort(addresses.begin(), addresses.end());
        return addresses;
    }
    // The lamp list as (number, short address) texts.
    std::vector<std::pair<std::string, std::string>> LampRows(ListView& view) const {
        std::vector<std::pair<std::string, std::string>> rows;
        for (int i = 1; i <= view.ItemCount(); ++i)
            rows.emplace_back(view.Item(i).Text(), view.Item(i).SubItem(1));
        return rows;
    }
    bool AnyGearInitialised() {
        const sim::Micros now = ctx.scheduler.Now() * 1000;
        terminal->AdvanceToNow();
        for (const auto& gear : terminal->GetLine().Gear())
            if (gear->InInitialisation(now)) return true;
        return false;
    }
};

inline std::vector<std::optional<std::uint8_t>> Range(int first, int count) {
    std::vector<std::optional<std::uint8_t>> shorts;
    for (int i = 0; i < count; ++i) shorts.emplace_back(static_cast<std::uint8_t>(first + i));
    return shorts;
}

}  // namespace zd::test
