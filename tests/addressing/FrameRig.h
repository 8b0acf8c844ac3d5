// The control on a simulated line for the addressing tests: an example line or an empty one with
// the firmware version that chooses the procedure, a random addressing run to its end, and the
// gear, the device list, the frames sent and the addressing log read back.
#pragma once

#include <algorithm>
#include <map>

#include "addressing/AddressingFrame.h"
#include "support/ControlRig.h"

namespace zd::test {

// "1L": the control searches itself; "1M": the terminal does.
inline constexpr std::uint16_t kSoftwareVariant = 0x314C;
inline constexpr std::uint16_t kFirmwareVariant = 0x314D;

inline int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

inline std::vector<std::optional<std::uint8_t>> Range(int first, int count) {
    std::vector<std::optional<std::uint8_t>> shorts;
    for (int i = 0; i < count; ++i) shorts.emplace_back(static_cast<std::uint8_t>(first + i));
    return shorts;
}

class AddressingRig : public ControlRig {
  protected:
    void UseLine(const std::string& name, std::uint16_t firmware) {
        const auto path = kExampleLines / name;
        sim::LineDescription description = sim::LoadLineFile(path.string());
        description.terminal.firmwareVersion = firmware;
        terminal = sim::MakeTerminal(ctx.scheduler, description);
        port = std::make_shared<SimDevCom>(terminal);
        Refresh();
        ASSERT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    }
    // An empty line, then the given gear (short address or none), with the frame log on.
    void UseGear(std::vector<std::optional<std::uint8_t>> addresses,
                 std::uint16_t firmware = kSoftwareVariant) {
        MakeTerminal(firmware);
        for (const auto& address : addresses) {
            sim::GearConfig gear;
            gear.shortAddress = address;
            ids.push_back(terminal->AddGear(gear));
        }
        Refresh();
        terminal->SetFrameLog(true);
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
    std::int64_t RunToEnd(bool start = false) {
        const std::int64_t begin = ctx.scheduler.Now();
        EXPECT_TRUE(!start || ClickStart(control->cmdRndAddrStart, ctx.dialogs));
        EXPECT_TRUE(
            ctx.scheduler.RunUntil([this] { return !control->RndAddrRunning(); }, 3'600'000));
        return ctx.scheduler.Now() - begin;
    }
    std::int64_t StartAndRun() { return RunToEnd(true); }

    std::optional<std::uint8_t> AddressOf(int id) { return terminal->Gear(id).ShortAddress(); }
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
    // Short addresses in the device list, each filed under its own key.
    std::vector<int> DeviceAddresses() const {
        std::vector<int> addresses;
        for (const auto& [key, device] : state.devices->Items()) {
            EXPECT_EQ(key, std::to_string(device->m_nShortAddress));
            addresses.push_back(device->m_nShortAddress);
        }
        std::sort(addresses.begin(), addresses.end());
        return addresses;
    }
    // The rows of a list as "text>first subitem".
    static std::vector<std::string> Rows(ListView& view) {
        std::vector<std::string> rows;
        for (int i = 1; i <= view.ItemCount(); ++i)
            rows.push_back(view.Item(i).Text() + ">" + view.Item(i).SubItem(1));
        return rows;
    }
    std::vector<std::uint16_t> Frames() {
        std::vector<std::uint16_t> frames;
        for (const sim::SentFrame& f : terminal->FrameLog()) frames.push_back(f.frame);
        return frames;
    }
    bool AnyGearInitialised() {
        terminal->AdvanceToNow();
        for (const auto& gear : terminal->GetLine().Gear())
            if (gear->InInitialisation(ctx.scheduler.Now() * 1000)) return true;
        return false;
    }

    std::vector<int> ids;
};

}  // namespace zd::test
