// Inside the engine: the control's random addressing search, one step at a time. Only the engine
// and the form, which steps it on its own timer, include this; every other front end runs the whole
// procedure through engine/RandomAddressing.h.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/RandomAddressing.h"

namespace zd {

// What a front end shows of a search as it goes: the status text after each step and each gear
// addressed (its number in the run, from 1, and its new short address).
struct RandomAddressingView {
    std::function<void(const std::string& text)> showStatus;
    std::function<void(std::int16_t lampNo, std::int16_t shortAddress)> showLamp;
};

// Where the search stands.
struct RandomSearchState {
    RndAddrStep nRndAddrState = RndAddrStep::Idle;
    std::int16_t nRndAddrAddress = 0;
    std::int16_t nRndAddrLampNo = 0;
    // When RANDOMISE last went out (scheduler milliseconds); whether nRndAddrAddress has been
    // given to a gear, so that the next gear takes the one after it.
    std::int64_t lRndAddrRandomisedMs = 0;
    bool bRndAddrAddressGiven = false;
    // The fast search: no gear taking part lies below the floor, so that probes below it are
    // known to stay silent; whether any COMPARE of this search was answered.
    std::int32_t lRndAddrFloor = 0;
    bool bRndAddrAnswered = false;
    // The fast search: how far above the floor the next gear is looked for while no COMPARE of
    // the search has answered (it doubles with each silence), and when INITIALISE last went out.
    std::int32_t lRndAddrStride = 0;
    std::int64_t lRndAddrInitialisedMs = 0;
    std::int32_t lSearchAddress = 0;
    std::int32_t lSearchHigh = 0;
    std::int32_t lSearchLow = 0;
    std::uint8_t bySearchH = 0;
    std::uint8_t bySearchM = 0;
    std::uint8_t bySearchL = 0;
    std::uint8_t byLastSearchH = 0;
    std::uint8_t byLastSearchM = 0;
    std::uint8_t byLastSearchL = 0;
};

class RandomAddressingSearch {
  public:
    explicit RandomAddressingSearch(AddressingLine& line) : m_line(line) {}

    // Taken at the start of a run (a start step).
    void SetOptions(const RandomAddressingOptions& options) { m_options = options; }
    const RandomAddressingOptions& Options() const { return m_options; }
    void SetView(RandomAddressingView view) { m_view = std::move(view); }

    // Puts the search into its start step (a start) or its stop step (a cancel).
    void Start() { m_s.nRndAddrState = RndAddrStep::Start; }
    void Stop() { m_s.nRndAddrState = RndAddrStep::Stop; }
    RndAddrStep Step() const { return m_s.nRndAddrState; }
    // The step state itself, for a front end that runs the search's start, stop and error ends
    // in its own machine.
    RndAddrStep& MachineState() { return m_s.nRndAddrState; }
    void Idle() { m_s.nRndAddrState = RndAddrStep::Idle; }
    // Runs the search's own step (under a SearchPacing); false for a step that is not its own
    // (Idle, Stop or unknown). bFinished is set when the run is over.
    bool RunOwnStep(bool& bFinished);

    const RandomSearchState& State() const { return m_s; }
    // How far the search has come through the random address space (0 to 1): the gear are found
    // in the order of their random addresses, which are spread evenly.
    double Fraction() const;
    // Gear addressed in this run.
    int Addressed() const { return m_s.nRndAddrLampNo; }
    // Line time the last run spent on its checks (the second ask of a free address, the random
    // address of each new address, the second ask of the last COMPARE).
    std::int64_t CheckMs() const { return m_checkMs; }
    // Kinds of what kept gear from an address ("clash-left", "verify-failed", "gear-below").
    const std::vector<std::string>& Left() const { return m_left; }
    // Gear without a short address still answered when the rounds after the search were over.
    bool MissingLeft() const { return m_missingLeft; }
    // Another master's collisions stopped the run.
    bool StoppedByCollisions() const { return m_stoppedByCollisions; }
    // The run ended at the address limit with gear still taking part.
    bool EndedAtLimit() const { return m_endedAtLimit; }
    // The run took the line time it may take for the gear it found (CeilingMs) and stopped.
    bool CeilingReached() const { return m_ceilingReached; }
    std::int64_t CeilingMs() const;
    // What the run says when it reached that ceiling.
    std::string CeilingText() const;

  private:
    friend class SearchPacing;
    bool RunSearchStep(bool& bFinished);
    void Status(const std::string& text);
    void Begin();
    Result Compare();
    void EndAtLimit(bool& bFinished);
    void FirstCompare(bool& bFinished);
    void SetSearchAddress();
    void SendSearchByte(std::int16_t nCommandId, std::uint8_t nByte, std::uint8_t& nLast);
    void CompareAndHalve(bool& bFinished);
    void FindFreeAddress(bool& bFinished);
    void Verify(bool& bFinished);
    void CheckHolder(bool& bFinished);
    void NextBallast(bool& bFinished);
    void FastNext(bool& bFinished);
    void BeginSearch(std::int32_t floor);
    bool FastProbe();
    std::int32_t ExpectedGap(std::int32_t floor) const;
    void VerifyFailed();
    void Close(bool& bFinished);
    void SearchAgain(const std::string& what, const std::string& text);
    void Clash();
    void LeaveGear(const std::string& what, const std::string& text);
    void Finish(bool& bFinished);
    bool GearBelow(std::int32_t randomAddress);
    void WithdrawAgain();
    void IgnoresWithdraw(std::int16_t shortAddress);
    bool HolderAloneAnswers(std::int16_t shortAddress);
    void RandomAddressTaken(std::int16_t shortAddress);
    void Redraw();
    void InitialiseUnlessLeft();
    void SetSearchBytes(std::int32_t randomAddress);
    bool StartNextRound();
    void NextRound();

    AddressingLine& m_line;
    RandomAddressingOptions m_options;
    RandomAddressingView m_view;
    RandomSearchState m_s;
    // Random addresses of the gear given a short address in this run, and how often each search
    // address has failed; gear that cannot be addressed are left.
    std::set<std::int32_t> m_found;
    std::map<std::int32_t, int> m_failures;
    std::vector<std::string> m_left;
    // The short address given at each random address, and the random addresses of gear left
    // (withdrawn without one); the random addresses of gear that ignored WITHDRAW.
    std::map<std::int32_t, std::int16_t> m_givenAt;
    std::set<std::int32_t> m_leftAt;
    std::set<std::int32_t> m_ignoredWithdraw;
    // The rounds for gear without a short address after the search: when the first began, gear
    // addressed when the last began, rounds in a row that found nobody, when the next may begin.
    std::int64_t m_roundsStartMs = -1;
    int m_addressedAtRound = 0;
    int m_emptyRounds = 0;
    std::int64_t m_nextRoundMs = 0;
    bool m_missingLeft = false;
    // The last QUERY MISSING SHORT ADDRESS stayed silent on a line that answers.
    bool m_nobodyMissing = false;
    bool m_stoppedByCollisions = false;
    std::int64_t m_checkMs = 0;
    bool m_endedAtLimit = false;
    // The bounds of a run: when it began, searches begun since a gear was last addressed, and
    // whether the ceiling on its line time ended it; the next INITIALISE stays out after gear
    // were left.
    std::int64_t m_runStartMs = 0;
    int m_roundsSinceProgress = 0;
    bool m_ceilingReached = false;
    bool m_skipInitialise = false;
};

// The handshake one step of the search asks for, while it lives: quick for the fast search, paced
// otherwise; a quick handshake given up during the step is noted as a recovery. bStart: the run's
// first step, which forgets what the quick handshake learned before.
class SearchPacing {
  public:
    SearchPacing(RandomAddressingSearch& search, bool bStart);
    ~SearchPacing();
    SearchPacing(const SearchPacing&) = delete;
    SearchPacing& operator=(const SearchPacing&) = delete;

  private:
    RandomAddressingSearch& m_search;
    Link& m_link;
    bool m_distrusted = false;
    Link::Pacing m_before = Link::Pacing::Paced;
};

}  // namespace zd
