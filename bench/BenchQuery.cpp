// CPU cost of one query transaction (SendDALICommand and ReceiveDALIData through the link) over the
// in-process simulated terminal under the virtual clock; prints microseconds per transaction.
#include <chrono>
#include <cstdio>
#include <memory>

#include "link/Link.h"
#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "platform/VirtualScheduler.h"
#include "sim/Terminal.h"
#include "transport/SimDevCom.h"

namespace {

constexpr int kTransactions = 20000;

double MicrosPerTransaction(const zd::sim::ImageLayout& layout, int gearCount) {
    zd::VirtualScheduler scheduler;
    zd::RecordingDialogs dialogs;
    zd::MessageCatalogue messages{zd::Language::English};
    zd::Context context{scheduler, dialogs, messages};

    zd::sim::TerminalConfig config;
    config.layout = layout;
    auto terminal = std::make_shared<zd::sim::Terminal>(scheduler, config);
    for (int i = 0; i < gearCount; ++i) {
        zd::sim::GearConfig gear;
        gear.shortAddress = static_cast<std::uint8_t>(i);
        terminal->AddGear(gear);
    }
    zd::ModuleState state;
    for (std::size_t i = 0; i < 4; ++i) {
        const zd::sim::ImageEntry& entry = layout.entries[i];
        state.ProcessImageLayout[i] =
            zd::ProcessImageEntry{entry.nWordOffset, entry.nBitOffset, entry.nTableNumber};
    }
    state.m_bMotorola = layout.motorola;
    state.objDevCom = std::make_shared<zd::SimDevCom>(terminal);
    zd::Link link(state, context);

    int answered = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < kTransactions; ++n) {
        std::int16_t command = 160;  // QUERY ACTUAL LEVEL
        std::uint8_t data = 0;
        zd::AddressKind type = zd::AddressKind::Short;
        std::int16_t address = static_cast<std::int16_t>(n % gearCount);
        link.SendDALICommand(command, data, type, address, nullptr);
        std::uint8_t answer = 0;
        if (link.ReceiveDALIData(answer, nullptr) == zd::Result::Done && answer == 254) ++answered;
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (answered != kTransactions)
        std::printf("  (only %d of %d answered)\n", answered, kTransactions);
    return std::chrono::duration<double, std::micro>(elapsed).count() / kTransactions;
}

}  // namespace

int main() {
    std::printf("query transaction over the in-process simulator, %d transactions each\n",
                kTransactions);
    std::printf("  packed Intel, 3 gear:         %.2f us\n",
                MicrosPerTransaction(zd::sim::ImageLayout::Packed(0, 1), 3));
    std::printf("  word-aligned Motorola, 3 gear: %.2f us\n",
                MicrosPerTransaction(zd::sim::ImageLayout::WordAligned(0, 1, true), 3));
    std::printf("  packed Intel, 64 gear:        %.2f us\n",
                MicrosPerTransaction(zd::sim::ImageLayout::Packed(0, 1), 64));
    return 0;
}
