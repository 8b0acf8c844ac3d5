// One simulated DALI control gear (IEC 62386-102, edition 1) or DSI gear: its variables with the
// standard's reset values, the initialisation state with its 15-minute window, physical selection,
// the send-twice rule, fades in virtual time, the lamp, and the fault switches tests turn on.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "sim/ColourGear.h"
#include "sim/DaliFrame.h"
#include "sim/EmergencyGear.h"

namespace zd::sim {

enum class LampState { Present, Removed, Failed };
enum class GearKind { Dali, Dsi };

// Misbehaviour on request: what gear on a real site do that well-behaved gear do not. Counts go
// down as they are used, so that a saved line holds what is left of each.
struct GearFaults {
    // Executes every command but never answers.
    bool m_silent = false;
    // Swallows this many of its next answers.
    int m_missAnswers = 0;
    // Reports a control gear failure (status bit 0).
    bool m_gearFailure = false;
    // Keeps its short address whatever PROGRAM or STORE DTR AS SHORT ADDRESS say (a defective
    // memory), so that a verification after programming finds nobody.
    bool m_ignoreProgramming = false;
    // The Nth answer the gear gives from now on is lost (1: the very next one; 0: off). Counts
    // down with every answer the gear sends and switches itself off with the one it swallows.
    int m_loseAnswer = 0;
    // Answers a query (an indirect command 144 to 255 addressed to it) only on every second ask:
    // the first stays silent, the next answers, and so on. Special commands are not affected.
    bool m_answerEverySecondQuery = false;
    // After a RANDOMISE the new random address is ready only this much later (0 to 60000 ms):
    // until then the gear does not answer COMPARE and takes no command by random-address match.
    std::int64_t m_randomiseDelayMs = 0;
    // Loses its mains after it has seen this many more forward frames (0: off); it stays off
    // until powered up again by hand.
    int m_powerDownAfterFrames = 0;
    // Without mains (deaf, silent, dark) until this many forward frames have passed; then it
    // powers up as a gear switched on (0: powered).
    int m_powerUpAfterFrames = 0;
    // The answer starts this long after the forward frame instead of kAnswerDelayUs (0: the
    // usual; kMinAnswerDelayUs to kMaxAnswerDelayUs otherwise).
    std::int64_t m_answerDelayUs = 0;
    // Goes on answering COMPARE after WITHDRAW: WITHDRAW has no effect on it (a broken gear).
    bool m_ignoreWithdraw = false;
    // Every RANDOMISE draws this random address (1 to 0xFFFFFF; 0: off), so that two such gear
    // draw the same one again and again.
    std::uint32_t m_randomiseAlwaysDraws = 0;
    // Ignores INITIALISE for this long after it powered up (0 to 600000 ms; its connection,
    // the end of powerUpAfterFrames or the return of the line's mains), as a gear still starting.
    std::int64_t m_ignoreInitialiseMs = 0;
    // Every INITIALISE that selects it takes it back into the search, also when it was withdrawn
    // and is still in the initialisation state (as gear built to an earlier edition do).
    bool m_initialiseEndsWithdraw = false;
    // Emergency gear (device type 1): how its tests end.
    EmergencyFaults m_emergency;

    bool operator==(const GearFaults&) const = default;
};

// What a gear is when it is connected: the line file and the scripting calls fill this in.
struct GearConfig {
    GearKind kind = GearKind::Dali;
    std::optional<std::uint8_t> shortAddress;
    std::uint32_t randomAddress = kNoRandomAddress;
    // The level the gear shows when it is connected; none: it powers up to its power-on level.
    std::optional<std::uint8_t> actualLevel;
    std::uint8_t powerOnLevel = 254;
    std::uint8_t systemFailureLevel = 254;
    // None: the physical minimum.
    std::optional<std::uint8_t> minLevel;
    std::uint8_t maxLevel = 254;
    std::uint8_t physicalMinimum = 1;
    std::uint8_t fadeTime = 0;
    std::uint8_t fadeRate = 7;
    std::uint16_t groups = 0;
    std::array<std::uint8_t, 16> scenes = MaskScenes();
    LampState lamp = LampState::Present;
    std::uint8_t deviceType = 6;
    std::uint8_t version = 1;
    // The colour part of a gear of device type 8.
    ColourConfig colour;
    // The random addresses the next RANDOMISE commands give, in order; after them the line's seed.
    std::vector<std::uint32_t> randomise;

    // The volatile state, so that a saved line continues where it stopped. The defaults are a gear
    // just connected: power failure reported, nothing in the DTR, no fade, no initialisation.
    std::uint8_t dtr = 0;
    bool powerFailure = true;
    bool limitError = false;
    std::uint32_t searchAddress = kNoRandomAddress;
    // A fade in progress: from actualLevel towards target, arriving at final (0 for a fade that
    // dims to the minimum and then switches off) after remainingMs.
    struct FadeState {
        std::uint8_t target = 0;
        std::uint8_t final = 0;
        std::int64_t remainingMs = 0;
    };
    std::optional<FadeState> fade;
    // What is left of the 15-minute initialisation window (0: not in the initialisation state),
    // and the states that live inside it.
    std::int64_t initialiseRemainingMs = 0;
    bool withdrawn = false;
    bool physicalSelection = false;
    // Off: the gear has lost its mains (it powers up only when switched on by hand).
    bool powered = true;
    GearFaults faults;
    // A lamp script the terminal plays: the lamp changes atMs after the line was loaded.
    struct LampEvent {
        std::int64_t atMs = 0;
        LampState lamp = LampState::Present;
        bool operator==(const LampEvent&) const = default;
    };
    std::vector<LampEvent> lampEvents;
    // The emergency part of a gear of device type 1.
    EmergencyConfig emergency;

    static constexpr std::array<std::uint8_t, 16> MaskScenes() {
        std::array<std::uint8_t, 16> scenes{};
        scenes.fill(kMask);
        return scenes;
    }
};

class Ballast {
  public:
    // nowUs: the clock at connection, from which a fade or an initialisation window in the
    // configuration runs on.
    Ballast(int id, const GearConfig& config, Micros nowUs = 0);

    int Id() const { return m_id; }
    GearKind Kind() const { return m_kind; }

    // A DALI forward frame whose last bit ended at nowUs; the backward frame the gear sends, if
    // any.
    std::optional<std::uint8_t> ReceiveForward(std::uint16_t frame, Micros nowUs,
                                               std::mt19937& random);
    // A DSI frame: the level. DALI gear ignore it.
    void ReceiveDsi(std::uint8_t level);

    // The gear's arc power level at nowUs with any fade in progress (0 = off). Whether the lamp
    // lights as well depends on Lamp().
    std::uint8_t LevelAt(Micros nowUs) const;
    std::uint8_t StatusAt(Micros nowUs) const;
    bool FadeRunningAt(Micros nowUs) const;

    // Scripting.
    void SetLamp(LampState lamp) { m_lamp = lamp; }
    LampState Lamp() const { return m_lamp; }
    void SetShortAddress(std::optional<std::uint8_t> address);
    std::optional<std::uint8_t> ShortAddress() const { return m_shortAddress; }
    void SetRandomAddress(std::uint32_t address) { m_randomAddress = address & 0xFFFFFF; }
    std::uint32_t RandomAddress() const { return m_randomAddress; }
    // The next RANDOMISE commands take these values, in order, before drawing from the line's seed.
    void QueueRandomAddresses(std::initializer_list<std::uint32_t> values);
    void QueueRandomAddress(std::uint32_t value) { m_queuedRandom.push_back(value & 0xFFFFFF); }
    GearFaults& Faults() { return m_faults; }
    // The emergency part of a gear of device type 1, or null.
    EmergencyGear* Emergency() const { return m_emergency.get(); }
    const GearFaults& Faults() const { return m_faults; }

    // Mains. Powered down, the gear neither acts on frames nor answers, and its lamp is dark.
    // Powering up is a gear switched on: power-on level, power failure reported, DTR 0, search
    // address reset, out of the initialisation state; addresses, limits, groups and scenes kept.
    void PowerDown();
    void PowerUp(Micros nowUs);
    bool Powered() const { return m_powered && m_faults.m_powerUpAfterFrames == 0; }
    // When its backward frame starts after the end of the forward frame.
    Micros AnswerDelayUs() const {
        return m_faults.m_answerDelayUs > 0 ? m_faults.m_answerDelayUs : kAnswerDelayUs;
    }

    // Variables, as a test or a picture of the line reads them.
    std::uint8_t PowerOnLevel() const { return m_powerOnLevel; }
    std::uint8_t SystemFailureLevel() const { return m_systemFailureLevel; }
    std::uint8_t MinLevel() const { return m_minLevel; }
    std::uint8_t MaxLevel() const { return m_maxLevel; }
    std::uint8_t PhysicalMinimum() const { return m_physicalMinimum; }
    std::uint8_t FadeTime() const { return m_fadeTime; }
    std::uint8_t FadeRate() const { return m_fadeRate; }
    std::uint16_t Groups() const { return m_groups; }
    std::uint8_t SceneLevel(int scene) const {
        return m_scenes.at(static_cast<std::size_t>(scene));
    }
    std::uint8_t Dtr() const { return m_dtr; }
    // The colour part of a type 8 gear; none for every other type.
    const ColourGear* Colour() const { return m_colour ? &*m_colour : nullptr; }
    // The level variable a query reads: 255 while the lamp does not work.
    std::uint8_t QueryActualLevelAt(Micros nowUs) const;
    std::uint32_t SearchAddress() const { return m_searchAddress; }
    std::uint8_t DeviceType() const { return m_deviceType; }
    std::uint8_t Version() const { return m_version; }
    bool PowerFailure() const { return m_powerFailure; }
    bool LimitError() const { return m_limitError; }
    bool InInitialisation(Micros nowUs) const { return nowUs < m_initialiseUntilUs; }
    // Showing itself after IDENTIFY DEVICE: a gear of the second edition (version 8 and later)
    // flashes for 10 s, or until a command sets its level; older gear do not know the command.
    bool Identifying(Micros nowUs) const { return nowUs < m_identifyUntilUs; }
    bool Withdrawn() const { return m_withdrawn; }
    bool InPhysicalSelection(Micros nowUs) const {
        return m_physicalSelection && InInitialisation(nowUs);
    }
    // Selected while its lamp is out (removed) in physical selection mode; a failed lamp that is
    // still connected does not select, and putting the lamp back ends the selection.
    bool PhysicallySelected(Micros nowUs) const {
        return InPhysicalSelection(nowUs) && m_lamp == LampState::Removed;
    }
    bool ResetStateAt(Micros nowUs) const;
    // The whole state at nowUs as a configuration from which a new gear continues.
    GearConfig Capture(Micros nowUs) const;

  private:
    struct Fade {
        Micros startUs = 0;
        Micros endUs = 0;
        std::uint8_t from = 0;
        std::uint8_t to = 0;
        // The level at the end: 0 for a fade that dims to the minimum and then switches off.
        std::uint8_t final = 0;
    };

    bool Addressed(std::uint8_t address) const;
    std::optional<std::uint8_t> ExecuteFrame(std::uint16_t frame, Micros nowUs,
                                             std::mt19937& random);
    std::optional<std::uint8_t> Execute(std::uint16_t frame, Micros nowUs, std::mt19937& random);
    std::optional<std::uint8_t> ExecuteSpecial(std::uint8_t address, std::uint8_t data,
                                               Micros nowUs, std::mt19937& random);
    std::optional<std::uint8_t> ExecuteCommand(std::uint8_t command, Micros nowUs);
    void ExecuteConfiguration(std::uint8_t command, Micros nowUs);
    std::optional<std::uint8_t> Query(std::uint8_t command, Micros nowUs) const;

    // Levels.
    void Settle(Micros nowUs);
    void SetLevelNow(std::uint8_t level);
    void ArcPower(std::uint8_t level, Micros nowUs);
    void FadeBy(int steps, Micros nowUs);
    void KeepWithinLimits(Micros nowUs);
    std::optional<std::uint8_t> ExecuteExtended(std::uint8_t command, Micros nowUs);
    void ResetVariables();
    bool SelectedForAddressing(Micros nowUs) const;
    bool RandomAddressReady(Micros nowUs) const { return nowUs >= m_randomReadyUs; }
    std::optional<std::uint8_t> GiveAnswer(std::optional<std::uint8_t> answer);

    int m_id;
    GearKind m_kind;
    std::uint8_t m_actualLevel;
    std::optional<Fade> m_fade;
    std::uint8_t m_powerOnLevel;
    std::uint8_t m_systemFailureLevel;
    std::uint8_t m_minLevel;
    std::uint8_t m_maxLevel;
    std::uint8_t m_physicalMinimum;
    std::uint8_t m_fadeTime;
    std::uint8_t m_fadeRate;
    std::optional<std::uint8_t> m_shortAddress;
    std::uint32_t m_randomAddress;
    std::uint32_t m_searchAddress = kNoRandomAddress;
    std::uint8_t m_dtr = 0;
    std::uint8_t m_dtr1 = 0;
    std::uint8_t m_dtr2 = 0;
    std::uint16_t m_groups;
    std::array<std::uint8_t, 16> m_scenes;
    std::uint8_t m_deviceType;
    std::uint8_t m_version;
    std::optional<ColourGear> m_colour;
    LampState m_lamp;
    bool m_powerFailure = true;
    bool m_limitError = false;

    Micros m_initialiseUntilUs = 0;
    Micros m_identifyUntilUs = 0;
    bool m_withdrawn = false;
    bool m_physicalSelection = false;
    // ENABLE DEVICE TYPE X applies to the one command after it, and only when X is the gear's own
    // device type.
    bool m_deviceTypeEnabled = false;

    // The send-twice rule: the last frame that needs a repeat, and when it came.
    std::optional<std::uint16_t> m_pendingFrame;
    Micros m_pendingUs = 0;
    // The pending frame is a device-type command that came right after ENABLE DEVICE TYPE.
    bool m_pendingDeviceType = false;

    std::deque<std::uint32_t> m_queuedRandom;
    GearFaults m_faults;
    bool m_powered = true;
    // The random address drawn by the last RANDOMISE counts from then on (randomiseDelayMs).
    Micros m_randomReadyUs = 0;
    // answerEverySecondQuery: the last query the gear would have answered went unanswered.
    bool m_skippedQuery = false;
    // When the gear last powered up, for ignoreInitialiseMs.
    Micros m_poweredUpUs = 0;
    std::unique_ptr<EmergencyGear> m_emergency;
};

}  // namespace zd::sim
