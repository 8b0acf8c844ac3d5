// The engine's scan and random addressing run without the form: typed options in, progress on the
// scheduler, typed results out, a cancel between steps; and the form, one of its clients, puts
// the very same frames on the line at the very same times.
#include <algorithm>

#include "addressing/FrameRig.h"
#include "engine/DeviceScan.h"
#include "engine/PhysicalSelection.h"
#include "engine/RandomAddressing.h"
#include "engine/TerminalAddressing.h"
#include "support/EngineRig.h"

namespace zd::test {
namespace {

using EngineProceduresTest = ProcedureRig;

std::vector<int> Sorted(std::vector<int> values) {
    std::sort(values.begin(), values.end());
    return values;
}

std::vector<int> ScannedAddresses(const ScanReport& report) {
    std::vector<int> addresses;
    for (const ScannedDevice& device : report.devices) addresses.push_back(device.shortAddress);
    return addresses;
}

TEST_F(EngineProceduresTest, ScanFindsTheGearWithProgressAndTellsSharedAddresses) {
    UseExampleLine("three-addressed.json", kSoftwareVariant);
    std::vector<double> fractions;
    const ScanReport report =
        RunDeviceScan(line, {}, [&](const ProgressState& p) { fractions.push_back(*p.fraction); });
    EXPECT_TRUE(report.outcome.Ok()) << report.outcome.text;
    std::vector<int> shorts = Sorted(Shorts());
    EXPECT_EQ(ScannedAddresses(report), shorts);
    EXPECT_EQ(fractions.size(), 65u);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_EQ(fractions.back(), 1.0);
    // The device list of the terminal is what the scan found; 64 addresses at the window's pace.
    EXPECT_EQ(state.devices->Count(), shorts.size());
    EXPECT_GE(ctx.scheduler.Now(), 64 * kScanIntervalMs);

    UseExampleLine("shared-address.json", kSoftwareVariant);
    const ScanReport shared = RunDeviceScan(line, {});
    EXPECT_TRUE(std::any_of(shared.devices.begin(), shared.devices.end(),
                            [](const ScannedDevice& d) { return d.conflict; }));
}

TEST_F(EngineProceduresTest, ScanIsCancelledBetweenAddressesAndRefusedInDsiMode) {
    UseExampleLine("three-addressed.json", kSoftwareVariant);
    int steps = 0;
    const ScanReport cancelled = RunDeviceScan(
        line, {}, [&](const ProgressState&) { ++steps; }, [&] { return steps >= 5; });
    EXPECT_EQ(cancelled.outcome.failure, EngineFailure::Cancelled);
    EXPECT_FALSE(link.InProcedure());
    EXPECT_LE(Sim().FrameLog().size(), 6u);

    state.m_nOperationMode = kModeDsi;
    Sim().ClearFrameLog();
    const ScanReport refused = RunDeviceScan(line, {});
    EXPECT_EQ(refused.outcome.failure, EngineFailure::Refused);
    EXPECT_TRUE(Sim().FrameLog().empty());
}

TEST_F(EngineProceduresTest, RandomAddressingPacedAndFastGiveEveryGearItsOwnAddress) {
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast" : "paced");
        UseExampleLine("sixteen-unaddressed.json", kSoftwareVariant);
        RandomAddressingRequest request;
        request.options.startAddress = 20;
        request.options.fast = fast;
        int lastAddressed = 0;
        const RandomAddressingReport report = RunRandomAddressing(
            line, request,
            [&](const ProgressState& p) { lastAddressed = p.addressed.value_or(0); });
        EXPECT_TRUE(report.outcome.Ok()) << report.outcome.text;
        EXPECT_EQ(report.variant, RandomAddressingVariant::Control);
        EXPECT_EQ(report.fastSearch, fast);
        std::vector<int> expected;
        for (int a = 20; a < 36; ++a) expected.push_back(a);
        EXPECT_EQ(Sorted(Shorts()), expected);
        EXPECT_EQ(Sorted({report.addressed.begin(), report.addressed.end()}), expected);
        EXPECT_EQ(lastAddressed, 16);
        EXPECT_EQ(state.devices->Count(), 16u);
        EXPECT_TRUE(ctx.dialogs.boxes.empty());
        EXPECT_FALSE(link.InProcedure());
    }
}

TEST_F(EngineProceduresTest, RandomAddressingEndsAtTheLimitOrOnCancelWithTheLineTerminated) {
    UseExampleLine("sixteen-unaddressed.json", kSoftwareVariant);
    RandomAddressingRequest request;
    request.options.startAddress = 60;
    const RandomAddressingReport limited = RunRandomAddressing(line, request);
    EXPECT_EQ(limited.outcome.failure, EngineFailure::Incomplete);
    EXPECT_NE(limited.outcome.text.find("63"), std::string::npos);
    EXPECT_EQ(limited.addressed, (std::vector<std::int16_t>{60, 61, 62, 63}));
    // The notice the window shows as its box comes with the report; the engine shows nothing.
    ASSERT_EQ(limited.outcome.notices.size(), 1u);
    EXPECT_EQ(limited.outcome.notices[0].message.id, msg::kAddressLimit);
    EXPECT_EQ(NoticeBox(limited.outcome.notices[0], ctx.context.messages).icon,
              MsgIcon::Exclamation);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    UseExampleLine("sixteen-unaddressed.json", kSoftwareVariant);
    request.options.startAddress = 0;
    int addressed = 0;
    const RandomAddressingReport cancelled = RunRandomAddressing(
        line, request, [&](const ProgressState& p) { addressed = p.addressed.value_or(0); },
        [&] { return addressed >= 3; });
    EXPECT_EQ(cancelled.outcome.failure, EngineFailure::Cancelled);
    EXPECT_EQ(cancelled.addressed.size(), 3u);
    // The cancel ends with TERMINATE: no gear is left in the initialisation state.
    Sim().AdvanceToNow();
    for (const auto& gear : Sim().GetLine().Gear())
        EXPECT_FALSE(gear->InInitialisation(ctx.scheduler.Now() * 1000));

    // A run that reaches its ceiling of line time stops there and says what it addressed.
    UseExampleLine("sixteen-unaddressed.json", kSoftwareVariant);
    request.options.ceilingMs = 20000;
    const std::int64_t startMs = ctx.scheduler.Now();
    const RandomAddressingReport ceiling = RunRandomAddressing(line, request);
    EXPECT_EQ(ceiling.outcome.failure, EngineFailure::Incomplete);
    EXPECT_NE(ceiling.outcome.text.find("stopped after 20 s of line time"), std::string::npos)
        << ceiling.outcome.text;
    EXPECT_LT(ceiling.addressed.size(), 16u);
    EXPECT_LT(ctx.scheduler.Now() - startMs, 25000);
}

TEST_F(EngineProceduresTest, OneDecisionOfTheVariantAndItsRefusals) {
    EXPECT_EQ(RandomAddressingVariantOf(0x3147), RandomAddressingVariant::None);
    EXPECT_EQ(RandomAddressingVariantOf(0x3148), RandomAddressingVariant::Control);
    EXPECT_EQ(RandomAddressingVariantOf(0x314C), RandomAddressingVariant::Control);
    EXPECT_EQ(RandomAddressingVariantOf(0x314D), RandomAddressingVariant::Terminal);

    UseExampleLine("sixteen-unaddressed.json", 0x3147);
    const RandomAddressingReport none = RunRandomAddressing(line, {});
    EXPECT_EQ(none.outcome.failure, EngineFailure::Refused);
    EXPECT_EQ(none.outcome.message.id, msg::kFirmwareLacksFunction);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_TRUE(Sim().FrameLog().empty());
}

// Physical selection without the form: the lamp taken out gets the start address, the run waits
// for the next until told to stop, and ends with the line out of the initialisation state.
TEST_F(EngineProceduresTest, PhysicalSelectionAddressesTheLampTakenOutAndStopsWhenAsked) {
    UseExampleLine("sixteen-unaddressed.json", kSoftwareVariant);
    const std::string waiting = ctx.messages.Load(5081) + "...";
    ProgressState last;
    bool pulled = false;
    const PhysicalSelectionReport report = RunPhysicalSelection(
        line, {7, false, false, false}, false, kAddressingLogFile,
        [&](const ProgressState& p) { last = p; },
        [&] {
            if (last.detail != waiting) return false;
            if (!last.lamps.empty()) return true;
            if (!pulled) {
                pulled = true;
                const int id = Sim().GetLine().Gear()[2]->Id();
                Sim().ScheduleLamp(id, sim::LampState::Removed, ctx.scheduler.Now() + 500);
                Sim().ScheduleLamp(id, sim::LampState::Present, ctx.scheduler.Now() + 3000);
            }
            return false;
        });
    EXPECT_TRUE(report.outcome.Ok()) << report.outcome.text;
    ASSERT_EQ(report.lamps.size(), 1u);
    EXPECT_EQ(report.lamps[0], (std::pair<std::int16_t, std::int16_t>{1, 7}));
    EXPECT_EQ(Shorts()[2], 7);
    EXPECT_EQ(state.devices->Count(), 1u);
    Sim().AdvanceToNow();
    for (const auto& gear : Sim().GetLine().Gear())
        EXPECT_FALSE(gear->InInitialisation(ctx.scheduler.Now() * 1000));
}

// The terminal's own search tells nothing until it is done: its progress is the estimate from the
// gear the device list knew, and its result comes as a notice for the front end to show.
TEST_F(EngineProceduresTest, TerminalSearchEstimatesItsTimeAndTellsItsCountAsANotice) {
    UseExampleLine("sixteen-unaddressed.json", kFirmwareVariant);
    for (std::int16_t address = 0; address < 16; ++address) line.AddAddressedDevice(address);
    std::vector<ProgressState> seen;
    std::vector<EngineNotice> heard;
    line.Terminal().tell = [&](const EngineNotice& notice) { heard.push_back(notice); };
    const TerminalAddressingReport report = RunTerminalAddressing(
        line, {0, true, false, false, false}, [&](const ProgressState& p) { seen.push_back(p); });
    EXPECT_TRUE(report.outcome.Ok()) << report.outcome.text;
    EXPECT_EQ(report.addressed, 16);

    ASSERT_GE(seen.size(), 3u);
    const std::int64_t expected = TerminalAddressingEstimateMs(16);
    const ProgressState& second = seen[1];
    ASSERT_TRUE(second.leftMs && second.fraction);
    EXPECT_EQ(*second.leftMs, expected - second.elapsedMs);
    EXPECT_GT(*second.fraction, 0.0);
    EXPECT_LT(*second.leftMs, *seen[0].leftMs);

    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].message.id, msg::kGearAddressed);
    EXPECT_EQ(heard[0].message.args, std::vector<std::string>{"16"});
    EXPECT_EQ(NoticeBox(heard[0], ctx.messages).text, "Account of addressed ballasts: 16");
    ASSERT_EQ(report.outcome.notices.size(), 1u);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

// The form drives the engine's search from its timer: the frames and their spacing on the line
// are those of the engine's own run, for the paced and the fast search.
class FormAsClientTest : public AddressingRig {};

TEST_F(FormAsClientTest, FormAndEngineSendTheSameFramesAtTheSameTimes) {
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast" : "paced");
        const auto relative = [](const std::vector<sim::SentFrame>& log) {
            std::vector<std::pair<std::uint16_t, sim::Micros>> frames;
            for (const sim::SentFrame& f : log)
                frames.emplace_back(f.frame, f.endUs - log.front().endUs);
            return frames;
        };
        UseLine("sixteen-unaddressed.json", kSoftwareVariant);
        terminal->SetFrameLog(true);
        control->chkRndAddrFastSearch.SetChecked(fast);
        control->chkRndAddrCompleteNewInstallation.SetChecked(false);
        StartAndRun();
        const auto viaForm = relative(terminal->FrameLog());

        EngineRig engine;
        engine.UseExampleLine("sixteen-unaddressed.json", kSoftwareVariant);
        RandomAddressingRequest request;
        request.options.fast = fast;
        EXPECT_TRUE(RunRandomAddressing(engine.line, request).outcome.Ok());
        const auto viaEngine = relative(engine.Sim().FrameLog());
        ASSERT_FALSE(viaForm.empty());
        EXPECT_EQ(viaForm, viaEngine);
    }
}

}  // namespace
}  // namespace zd::test
