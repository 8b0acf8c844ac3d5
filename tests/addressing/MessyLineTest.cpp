// Random addressing and physical selection on a line whose gear and terminal misbehave the way
// real ones do, each by its named fault of the simulator: every live gear ends with an address of
// its own, every record stands for a gear, and the run says what it got over.
#include <set>

#include "addressing/FrameRig.h"

namespace zd::test {
namespace {

using sim::LampState;

class MessyLineTest : public AddressingRig {
  protected:
    // Runs the control's search, paced or fast, to its end.
    void Search(bool fast) {
        control->chkRndAddrFastSearch.SetChecked(fast);
        StartAndRun();
    }
    // Every powered gear holds an address no other gear holds, and every record of the device list
    // stands for one of them (gear addressed before the run need no record).
    void ExpectLineHolds(const std::string& where) {
        terminal->AdvanceToNow();
        std::multiset<int> held;
        for (const auto& gear : terminal->GetLine().Gear()) {
            if (!gear->Powered()) continue;
            ASSERT_TRUE(gear->ShortAddress().has_value())
                << where << ": gear " << gear->Id() << " has no address";
            held.insert(*gear->ShortAddress());
        }
        for (int address : held) EXPECT_EQ(held.count(address), 1u) << where << " " << address;
        for (int record : DeviceAddresses()) EXPECT_EQ(held.count(record), 1u) << where << record;
    }
    std::set<std::string> RecoveredKinds() const {
        std::set<std::string> kinds;
        for (const AddressingRecovery& r : control->Recovered()) kinds.insert(r.what);
        return kinds;
    }
    std::string BoxesText() const {
        std::string text;
        for (const auto& box : ctx.dialogs.boxes) text += box.text + "|";
        return text;
    }
    const AddressingRecovery* Recovery(const std::string& what) const {
        for (const AddressingRecovery& r : control->Recovered())
            if (r.what == what) return &r;
        return nullptr;
    }
    // PROGRAM SHORT ADDRESS frames that gave an address (the terminal's repeats not counted).
    int Programmed() {
        int count = 0;
        for (const sim::SentFrame& f : terminal->FrameLog())
            if ((f.frame >> 8) == 0xB7 && (f.frame & 0xFF) != 0xFF && !f.repeat) ++count;
        return count;
    }
};

// Faults of single gear during the control's search, each for the paced and the fast search.
TEST_F(MessyLineTest, SearchAddressesEveryLiveGearWhateverOneGearDoes) {
    struct Case {
        const char* name;
        std::function<void(sim::GearFaults&)> fault;
        const char* recovered;  // a kind the run must report, or none
    };
    const Case cases[] = {
        // Its 3rd answer is the COMPARE at 0x400000, where it is alone: the search closes where no
        // gear is, the verify finds nobody, and the search starts again.
        {"loseAnswer", [](sim::GearFaults& f) { f.m_loseAnswer = 3; }, "verify-failed"},
        // It loses its mains before it is found: the others are addressed all the same.
        {"powerDownAfterFrames", [](sim::GearFaults& f) { f.m_powerDownAfterFrames = 30; },
         nullptr},
        // It needs 300 ms after RANDOMISE before it compares.
        {"randomiseDelayMs", [](sim::GearFaults& f) { f.m_randomiseDelayMs = 300; }, nullptr},
        // It answers late in the backward-frame window.
        {"answerDelayUs", [](sim::GearFaults& f) { f.m_answerDelayUs = 9000; }, nullptr},
    };
    for (const Case& c : cases) {
        for (const bool fast : {false, true}) {
            const std::string where = std::string(c.name) + (fast ? " fast" : " paced");
            ctx.dialogs.boxes.clear();
            UseGear({});
            const int lowest = AddUnaddressed(0x100000);
            for (std::uint32_t random : {0x900000u, 0xA00000u, 0xB00000u}) AddUnaddressed(random);
            c.fault(terminal->Gear(lowest).Faults());
            Search(fast);
            EXPECT_EQ(BoxesText(), "") << where;
            ExpectLineHolds(where);
            if (c.recovered) {
                EXPECT_EQ(RecoveredKinds().count(c.recovered), 1u) << where;
            }
        }
    }
}

// A gear that powers up during the search with a random address below the last one found: the
// paced search, which initialises again for every gear, closes on a gear addressed earlier and
// searches from the bottom instead of moving that gear on; the fast one, which does not, finds it
// in the round for gear without an address after the search.
TEST_F(MessyLineTest, AGearPoweringUpBelowTheLastFoundIsFoundFromTheBottom) {
    for (const bool fast : {false, true}) {
        ctx.dialogs.boxes.clear();
        UseGear({});
        for (std::uint32_t random : {0x200000u, 0x300000u, 0x400000u}) AddUnaddressed(random);
        sim::GearConfig late;
        late.randomAddress = 0x100000;
        const int newcomer = terminal->AddGear(late);
        // Powered up while the second gear is searched.
        terminal->Gear(newcomer).Faults().m_powerUpAfterFrames = 80;
        Search(fast);
        EXPECT_EQ(BoxesText(), "") << fast;
        ExpectLineHolds(fast ? "fast" : "paced");
        EXPECT_EQ(RecoveredKinds().count(fast ? "missing" : "gear-below"), 1u) << fast;
        EXPECT_LT(terminal->FrameLog().size(), 2000u) << fast;
    }
}

// Two gear draw one random address: both take the address; they give it back and draw anew. A
// pair that draws the same again and again is left without an address, every other gear gets one,
// and the run ends with a box that says so.
TEST_F(MessyLineTest, TwoGearWithOneRandomAddressAreSeparatedOrLeft) {
    for (const bool fast : {false, true}) {
        for (const bool neverParts : {false, true}) {
            ctx.dialogs.boxes.clear();
            UseGear({});
            AddUnaddressed(0x080000);
            std::vector<int> pair;
            for (int i = 0; i < 2; ++i) {
                sim::GearConfig config;
                config.randomise = {0x400000};
                // Drawn once (a new RANDOMISE parts them), or on every RANDOMISE.
                if (neverParts) config.faults.m_randomiseAlwaysDraws = 0x400000;
                pair.push_back(terminal->AddGear(config));
            }
            AddUnaddressed(0xC00000);
            Search(fast);
            EXPECT_EQ(RecoveredKinds().count("clash"), 1u) << fast << neverParts;
            if (!neverParts) {
                EXPECT_EQ(BoxesText(), "") << fast;
                ExpectLineHolds("separated");
                continue;
            }
            EXPECT_EQ(BoxesText(),
                      "Two ballast drew the same random address again and again and were left "
                      "without a short address.|");
            EXPECT_EQ(AddressOf(pair[0]), std::nullopt);
            EXPECT_EQ(AddressOf(pair[1]), std::nullopt);
            EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1}));
            ASSERT_NE(Recovery("clash-left"), nullptr);
            EXPECT_EQ(Recovery("clash-left")->randomAddress, 0x400000);
        }
    }
}

// A pair low in the range that draws one random address on every RANDOMISE, of gear that end a
// withdraw with every INITIALISE: the pair is left and named, the gear above it are addressed and
// the run ends.
TEST_F(MessyLineTest, APairThatNeverPartsIsLeftAndTheRunEnds) {
    for (const bool fast : {false, true}) {
        const std::string where = fast ? "fast" : "paced";
        ctx.dialogs.boxes.clear();
        UseGear({});
        std::vector<int> pair;
        for (int i = 0; i < 2; ++i) {
            sim::GearConfig config;
            config.faults.m_randomiseAlwaysDraws = 0x000100;
            config.faults.m_initialiseEndsWithdraw = true;
            pair.push_back(terminal->AddGear(config));
        }
        for (std::uint32_t random : {0x800000u, 0xC00000u}) {
            terminal->Gear(AddUnaddressed(random)).Faults().m_initialiseEndsWithdraw = true;
        }
        Search(fast);
        EXPECT_EQ(AddressOf(pair[0]), std::nullopt) << where;
        EXPECT_EQ(AddressOf(pair[1]), std::nullopt) << where;
        EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1})) << where;
        ASSERT_NE(Recovery("clash-left"), nullptr) << where;
        EXPECT_EQ(Recovery("clash-left")->randomAddress, 0x000100) << where;
        EXPECT_LT(terminal->FrameLog().size(), 3000u) << where;
    }
}

// A gear with an address that answers a query only on the second ask: the free-address check asks
// twice, so the new gear do not get its address.
TEST_F(MessyLineTest, AnAddressIsFreeOnlyWhenItStaysSilentTwice) {
    for (const bool fast : {false, true}) {
        UseGear({0});
        terminal->Gear(ids[0]).Faults().m_answerEverySecondQuery = true;
        AddUnaddressed(0x100000);
        AddUnaddressed(0x200000);
        control->chkRndAddrCompleteNewInstallation.SetChecked(false);
        Search(fast);
        ExpectLineHolds(fast ? "fast" : "paced");
        EXPECT_EQ(AddressOf(ids[0]), 0);
        EXPECT_EQ(RecoveredKinds().count("second-ask"), 1u);
    }
}

// A terminal that acknowledges 40 ms late: the fast search waits for every acknowledge, learns
// when it comes, and keeps to at most 100 requests a second.
TEST_F(MessyLineTest, TheFastSearchFollowsALateTerminal) {
    for (const std::int64_t lateMs : {0, 40}) {
        UseLine("sixteen-unaddressed.json", kSoftwareVariant);
        terminal->Faults().m_acknowledgeDelayMs = lateMs;
        const std::int64_t before = control->TerminalLink().DevComCalls();
        control->chkRndAddrFastSearch.SetChecked(true);
        const std::int64_t tookMs = StartAndRun();
        ExpectLineHolds("late " + std::to_string(lateMs));
        EXPECT_TRUE(ctx.dialogs.boxes.empty()) << BoxesText();
        const double perSecond =
            1000.0 * static_cast<double>(control->TerminalLink().DevComCalls() - before) /
            static_cast<double>(tookMs);
        EXPECT_LE(perSecond, 100.0) << lateMs;
        // A late terminal costs time, not gear.
        EXPECT_LT(tookMs, 16 * (lateMs == 0 ? 2500 : 5000)) << lateMs;
    }
}

// A terminal that never acknowledges: the fast search falls back to the paced handshake and says
// so.
TEST_F(MessyLineTest, AFastSearchWithoutAcknowledgesGoesOnPaced) {
    UseGear({});
    AddUnaddressed(0x100000);
    terminal->Faults().m_acknowledgeDelayMs = 5000;
    Search(true);
    EXPECT_EQ(RecoveredKinds().count("paced"), 1u);
}

// Another master wakes up with the first INITIALISE: the next commands collide, then one in
// twenty. A collided command reached nobody; sent again, the run addresses every gear and says
// what it sent again. Where the collisions go on, the run stops and says so.
TEST_F(MessyLineTest, CollidedCommandsGoOutAgainAndCollisionsThatGoOnStopTheRun) {
    for (const bool fast : {false, true}) {
        const std::string where = fast ? "fast" : "paced";
        ctx.dialogs.boxes.clear();
        UseGear({});
        for (std::uint32_t random : {0x100000u, 0x500000u, 0x900000u}) AddUnaddressed(random);
        terminal->Faults().m_collideAfterInitialise = 5;
        terminal->Faults().m_collisionPercent = 5;
        Search(fast);
        EXPECT_EQ(BoxesText(), "") << where;
        ExpectLineHolds(where);
        EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1, 2})) << where;
        EXPECT_EQ(Programmed(), 3) << where;
        ASSERT_NE(Recovery("collision"), nullptr) << where;
        EXPECT_GE(Recovery("collision")->count, 2) << where;

        ctx.dialogs.boxes.clear();
        UseGear({});
        const int gear = AddUnaddressed(0x100000);
        terminal->Faults().m_collideAfterInitialise = 1000;
        Search(fast);
        EXPECT_EQ(BoxesText(),
                  "Another master keeps colliding with the commands on the DALI line: the run "
                  "was stopped.|")
            << where;
        EXPECT_EQ(AddressOf(gear), std::nullopt) << where;
        EXPECT_EQ(DeviceAddresses(), std::vector<int>{}) << where;
    }
}

// A gear that goes on answering COMPARE after WITHDRAW: once it has its address, the gear without
// one are initialised again without it, and the gear above it are addressed too. The run names
// it.
TEST_F(MessyLineTest, AGearThatIgnoresWithdrawIsLeftOutOnceItHasItsAddress) {
    for (const bool fast : {false, true}) {
        const std::string where = fast ? "fast" : "paced";
        ctx.dialogs.boxes.clear();
        UseGear({});
        AddUnaddressed(0x100000);
        const int broken = AddUnaddressed(0x300000);
        for (std::uint32_t random : {0x500000u, 0x900000u}) AddUnaddressed(random);
        terminal->Gear(broken).Faults().m_ignoreWithdraw = true;
        Search(fast);
        EXPECT_EQ(BoxesText(), "") << where;
        ExpectLineHolds(where);
        EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1, 2, 3})) << where;
        EXPECT_EQ(Programmed(), 4) << where;
        const AddressingRecovery* named = Recovery("ignores-withdraw");
        ASSERT_NE(named, nullptr) << where;
        EXPECT_EQ(named->shortAddress, 1) << where;
        EXPECT_EQ(named->randomAddress, 0x300000) << where;
    }
}

// The whole line loses its mains for a second in the middle of the search, and one gear is deaf to
// INITIALISE for three seconds after it comes back: every gear leaves the initialisation state.
// Before the run ends, gear without an address still answer: they are initialised again and
// searched until nobody is missing.
TEST_F(MessyLineTest, GearOutsideTheInitialisationStateAreSearchedInFurtherRounds) {
    for (const bool fast : {false, true}) {
        const std::string where = fast ? "fast" : "paced";
        ctx.dialogs.boxes.clear();
        UseGear({});
        std::vector<int> gear;
        for (std::uint32_t random : {0x100000u, 0x400000u, 0x700000u, 0xA00000u})
            gear.push_back(AddUnaddressed(random));
        terminal->Faults().m_mainsOffAfterFrames = 120;
        terminal->Faults().m_mainsOffMs = 1000;
        terminal->Gear(gear[3]).Faults().m_ignoreInitialiseMs = 3000;
        Search(fast);
        EXPECT_EQ(BoxesText(), "") << where;
        ExpectLineHolds(where);
        EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1, 2, 3})) << where;
        EXPECT_NE(Recovery("missing"), nullptr) << where;

        // A gear that powers up late with the random address of a gear addressed before it: in
        // the paced search both answer QUERY SHORT ADDRESS there, so the gear without an address
        // draw anew; the fast search meets it in a later round, with new random addresses.
        ctx.dialogs.boxes.clear();
        UseGear({});
        const int first = AddUnaddressed(0x100000);
        for (std::uint32_t random : {0x800000u, 0x900000u, 0xA00000u}) AddUnaddressed(random);
        sim::GearConfig late;
        late.randomAddress = 0x100000;
        late.faults.m_powerUpAfterFrames = 100;
        terminal->AddGear(late);
        Search(fast);
        EXPECT_EQ(BoxesText(), "") << where;
        ExpectLineHolds(where + " late");
        EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1, 2, 3, 4})) << where;
        EXPECT_EQ(AddressOf(first), 0) << where;
        EXPECT_NE(Recovery(fast ? "missing" : "random-taken"), nullptr) << where;

        // A gear that stays deaf longer than the rounds wait is told, not hidden.
        ctx.dialogs.boxes.clear();
        UseGear({});
        const int deaf = AddUnaddressed(0x100000);
        terminal->Gear(deaf).Faults().m_ignoreInitialiseMs = 600000;
        Search(fast);
        EXPECT_EQ(BoxesText(), "Ballasts without a short address still answer.|") << where;
        EXPECT_EQ(AddressOf(deaf), std::nullopt) << where;
    }
}

class MessyPhysicalTest : public AddressingRig {
  protected:
    void Start(int gearCount, bool identicalAnswersDecode = false) {
        MakeTerminal(kSoftwareVariant);
        terminal->GetLine().SetIdenticalAnswersDecode(identicalAnswersDecode);
        for (int i = 0; i < gearCount; ++i) ids.push_back(terminal->AddGear(sim::GearConfig{}));
        Refresh();
        ClickStart(control->cmdPhySelStart, ctx.dialogs);
        t0 = ctx.scheduler.Now();
    }
    void Lamp(int id, std::int64_t atMs, LampState lamp) {
        terminal->ScheduleLamp(id, lamp, t0 + atMs);
    }
    void RunAndCancel(std::int64_t ms) {
        ctx.scheduler.RunFor(ms);
        ClickStart(control->cmdPhySelStart, ctx.dialogs);
    }
    std::set<std::string> RecoveredKinds() const {
        std::set<std::string> kinds;
        for (const AddressingRecovery& r : control->Recovered()) kinds.insert(r.what);
        return kinds;
    }
    std::int64_t t0 = 0;
};

// Another master on the line: the collided commands of physical selection go out again.
TEST_F(MessyPhysicalTest, CollidedCommandsGoOutAgain) {
    MakeTerminal(kSoftwareVariant);
    ids.push_back(terminal->AddGear(sim::GearConfig{}));
    terminal->Faults().m_collideAfterInitialise = 4;
    terminal->Faults().m_collisionPercent = 5;
    Refresh();
    control->cmdPhySelStart.Click();
    t0 = ctx.scheduler.Now();
    Lamp(ids[0], 3000, LampState::Removed);
    Lamp(ids[0], 6000, LampState::Present);
    RunAndCancel(15000);
    EXPECT_EQ(AddressOf(ids[0]), 0);
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0}));
    EXPECT_EQ(RecoveredKinds().count("collision"), 1u);
}

// Out and back before the control could program it: no record for an address nobody holds; the
// lamp taken out again gets the address.
TEST_F(MessyPhysicalTest, ALampPutBackTooEarlyLeavesNoRecord) {
    Start(1);
    Lamp(ids[0], 1000, LampState::Removed);
    // Back the moment the control has seen it out, before PROGRAM SHORT ADDRESS.
    const std::string seen =
        "The device has been programmed, waiting for reinsertion of the lamp...";
    ASSERT_TRUE(
        ctx.scheduler.RunUntil([&] { return control->lblPhySelStatus.Caption() == seen; }, 20000));
    terminal->SetLamp(ids[0], LampState::Present);
    ctx.scheduler.RunFor(5000);
    EXPECT_EQ(control->lstPhySelView.ItemCount(), 0);
    EXPECT_EQ(RecoveredKinds().count("lamp-back-early"), 1u);
    t0 = ctx.scheduler.Now();
    Lamp(ids[0], 1000, LampState::Removed);
    Lamp(ids[0], 5000, LampState::Present);
    RunAndCancel(15000);
    EXPECT_EQ(Rows(control->lstPhySelView), (std::vector<std::string>{"1>0"}));
    EXPECT_EQ(AddressOf(ids[0]), 0);
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0}));
}

// The same lamp out twice keeps its first address and record; two lamps out at once get no
// address, even where their answers are identical on the wire; one of them out alone then does.
TEST_F(MessyPhysicalTest, ALampOutTwiceKeepsItsAddressAndTwoOutAtOnceAreRefused) {
    for (const bool identical : {false, true}) {
        ids.clear();
        Start(3, identical);
        Lamp(ids[0], 1000, LampState::Removed);
        Lamp(ids[0], 4000, LampState::Present);
        Lamp(ids[0], 10000, LampState::Removed);  // the same one again
        Lamp(ids[0], 13000, LampState::Present);
        Lamp(ids[1], 20000, LampState::Removed);  // two at once
        Lamp(ids[2], 20000, LampState::Removed);
        Lamp(ids[1], 30000, LampState::Present);
        Lamp(ids[2], 30000, LampState::Present);
        Lamp(ids[2], 40000, LampState::Removed);  // then one alone
        Lamp(ids[2], 44000, LampState::Present);
        RunAndCancel(55000);
        EXPECT_EQ(AddressOf(ids[0]), 0) << identical;
        EXPECT_EQ(RecoveredKinds().count("selected-again"), 1u) << identical;
        EXPECT_EQ(RecoveredKinds().count(identical ? "two-gear" : "two-lamps"), 1u) << identical;
        EXPECT_EQ(AddressOf(ids[1]), std::nullopt) << identical;
        EXPECT_EQ(AddressOf(ids[2]), 1) << identical;
        EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1})) << identical;
        EXPECT_EQ(Rows(control->lstPhySelView), (std::vector<std::string>{"1>0", "2>1"}))
            << identical;
    }
}

}  // namespace
}  // namespace zd::test
