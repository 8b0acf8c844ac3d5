// Random addressing searched by the control: the ballasts draw random addresses, a binary search
// with COMPARE finds the smallest one, which gets the next free short address, is verified, lit and
// withdrawn; then the search goes on above it.
//
// On a real line answers get lost, gear power up and down during the search, two gear draw one
// random address and some answer only every second question. The steps of the search stay as
// they are; where a check shows that a step would leave a duplicate address, a gear without one
// or a record no gear holds, the run gets over it and goes on, and notes what it did:
//  - an address is free only when QUERY CONTROL GEAR stayed silent twice;
//  - a search that closes on a gear given an address earlier in the run means that a gear turned
//    up below it: the search starts again from the bottom instead of programming that gear;
//  - after PROGRAM SHORT ADDRESS the address must be held by exactly the gear searched for:
//    VERIFY SHORT ADDRESS, then QUERY RANDOM ADDRESS H, M and L at the new address, which two
//    gear with different random addresses cannot answer alike;
//  - a verify that nobody answers twice (a lost COMPARE answer put the search where no gear is,
//    or the gear lost its mains) searches again for the gear still taking part;
//  - two gear on one address (one random address) give the address back and draw new random
//    addresses; a gear that fails again and again at the same random address is withdrawn and
//    left, so that every other gear is addressed, and the run ends with a box that says so;
//  - the COMPAREs that end the search (nobody takes part, nobody left) are asked twice;
//  - a search that closes on a gear given its address in this run, with nobody below it, meets a
//    gear that ignores WITHDRAW: the gear without a short address are initialised again without
//    it; gear left there come back that way and are withdrawn again;
//  - before the run ends, QUERY MISSING SHORT ADDRESS: gear that were not in the initialisation
//    state (late, still starting, the line's mains gone for a moment) are initialised again and
//    searched, in rounds with bounds;
//  - a command that meets another master on the line goes out again (AddressingLine); where
//    collisions go on, the run stops and says so.
//
// The fast search, the user's choice beside the paced one, runs the steps back to back. Each
// probe is the one that tells most about where the next gear lies per line time: a search
// address byte that changes costs a frame, so a probe mostly differs from the one before in one
// byte; the next gear is looked for just above the last one found, about as far as the gear found
// so far lie apart, further with each silence, and probes below the last gear found are known to
// stay silent and are not asked. It goes on to the next gear without the COMPARE at 0xFFFFFF in
// between and without a new INITIALISE while the initialisation state lasts, learns that nobody
// is left from a search that nobody answered, and takes the answers to QUERY RANDOM ADDRESS at
// the new short address as its verify.
#include "engine/RandomAddressing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "engine/internal/AddressingDrive.h"
#include "engine/internal/RandomAddressing.h"
#include "engine/internal/StepRunner.h"
#include "link/Commands.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

std::string UpperHex(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

std::string Hex(std::int32_t value) {
    return "0x" + UpperHex(value);
}

// The standard gives a gear 100 ms after RANDOMISE before its new random address holds; the fast
// search waits that long, and when nobody compares then, once more this long for slower gear.
constexpr std::int64_t kRandomiseSettleMs = 100;
constexpr std::int64_t kRandomiseSlowGearMs = 400;
// A search address at which a gear cannot be addressed (its verify fails, or two gear clash
// there) is tried this often before the gear there is left.
constexpr int kRndAddrAttempts = 3;
// Gear without a short address that still answer when the search is over were not in the
// initialisation state (powered up late, still starting, or the line lost its mains): they are
// initialised again and searched in further rounds, until two rounds in a row find nobody new
// (the second after a wait for gear still starting) or the rounds have taken this long.
constexpr int kMissingEmptyRounds = 2;
constexpr std::int64_t kMissingRoundWaitMs = 5000;
constexpr std::int64_t kMissingRoundsMs = 120000;
// Searches begun in a row without a gear addressed: past this many, the gear the search closes
// on next is left without an address (a pair that never parts, a gear that never keeps one), and
// the search goes on with the rest above it.
constexpr int kRoundsWithoutProgress = 16;
// The line time a whole run may take: a base for the first gear and the rounds after the search,
// and this much more for each gear found (addressed or left), far above what a paced search
// needs per gear. A run that reaches it stops and says what is left.
constexpr std::int64_t kRunCeilingBaseMs = 180000;
constexpr std::int64_t kRunCeilingPerGearMs = 30000;

// The gear stay in the initialisation state for 15 minutes after INITIALISE; the fast search
// renews it once this much of that time has gone.
constexpr std::int64_t kInitialiseRenewMs = 10 * 60 * 1000;

// What a probe of the fast search costs on the line, as weights: each search address byte that
// changes is a forward frame with its settling time, the COMPARE a frame and its answer window.
constexpr double kProbeByteMs = 25;
constexpr double kProbeCompareMs = 36;

std::int32_t FromBytes(const std::array<int, 3>& bytes) {
    return (bytes[0] << 16) | (bytes[1] << 8) | bytes[2];
}

std::array<int, 3> BytesOf(std::int32_t address) {
    return {SearchHigh(address), SearchMiddle(address), SearchLow(address)};
}

int BytesChanged(std::int32_t a, std::int32_t b) {
    return (SearchHigh(a) != SearchHigh(b)) + (SearchMiddle(a) != SearchMiddle(b)) +
           (SearchLow(a) != SearchLow(b));
}

// What a COMPARE answered with probability q tells, in bits.
double Bits(double q) {
    if (q <= 0 || q >= 1) return 0;
    return -(q * std::log2(q) + (1 - q) * std::log2(1 - q));
}

// The probe in [low, high - 1] that tells most per line time where the smallest random address
// still taking part lies, taken as equally likely anywhere in [low, reach]. Considered: the
// middle, every probe that changes one byte of the search address written last (current), and
// those that change two bytes near the middle.
std::int32_t CheapestProbe(std::int32_t low, std::int32_t high, std::int64_t reach,
                           std::int32_t current) {
    const auto middle = static_cast<std::int32_t>(low + (reach - low) / 2);
    std::int32_t best = middle;
    double bestScore = -1;
    const auto consider = [&](std::int32_t probe) {
        if (probe < low || probe >= high) return;
        const double q = std::min(
            1.0, static_cast<double>(probe - low + 1) / static_cast<double>(reach - low + 1));
        const double score =
            Bits(q) / (kProbeCompareMs + kProbeByteMs * BytesChanged(probe, current));
        if (score > bestScore) {
            bestScore = score;
            best = probe;
        }
    };
    consider(middle);
    const std::array<int, 3> now = BytesOf(current);
    const std::array<int, 3> aim = BytesOf(middle);
    for (std::size_t i = 0; i < 3; ++i) {
        for (int value = 0; value < 256; ++value) {
            std::array<int, 3> bytes = now;
            bytes[i] = value;
            consider(FromBytes(bytes));
        }
    }
    for (std::size_t keep = 0; keep < 3; ++keep) {
        const std::size_t upper = keep == 0 ? 1 : 0;
        const std::size_t lower = keep == 2 ? 1 : 2;
        for (int near = aim[upper] - 1; near <= aim[upper] + 1; ++near) {
            if (near < 0 || near > 255) continue;
            for (int value = 0; value < 256; ++value) {
                std::array<int, 3> bytes{};
                bytes[keep] = now[keep];
                bytes[upper] = near;
                bytes[lower] = value;
                consider(FromBytes(bytes));
            }
        }
    }
    return best;
}

}  // namespace

void RandomAddressingSearch::Status(const std::string& text) {
    if (m_view.showStatus) m_view.showStatus(text);
}

double RandomAddressingSearch::Fraction() const {
    return static_cast<double>(std::max(m_s.lSearchLow, m_s.lRndAddrFloor)) /
           (kSearchAddressMax + 1.0);
}

// The fast search differs from the paced one only in its waits: the timer's pause between steps
// and the handshake's, which follows the terminal closely for this run's commands. A terminal
// that does not keep to what the quick handshake learned of it gets the paced handshake for the
// rest of the run.
SearchPacing::SearchPacing(RandomAddressingSearch& search, bool bStart)
    : m_search(search), m_link(search.m_line.TerminalLink()) {
    if (bStart) m_link.ResetQuickTiming();
    m_distrusted = m_link.QuickTimingDistrust().has_value();
    m_before = m_link.CurrentPacing();
    m_link.SetPacing(search.m_options.fast ? Link::Pacing::Quick : Link::Pacing::Paced);
}

SearchPacing::~SearchPacing() {
    m_link.SetPacing(m_before);
    if (m_search.m_options.fast && !m_distrusted && m_link.QuickTimingDistrust()) {
        m_search.m_line.NoteRecovery(
            "paced",
            "fast search went on with the paced handshake: " + *m_link.QuickTimingDistrust(), -1,
            -1);
    }
}

bool RandomAddressingSearch::RunOwnStep(bool& bFinished) {
    return RunSearchStep(bFinished);
}

bool RandomAddressingSearch::RunSearchStep(bool& bFinished) {
    RandomSearchState& s = m_s;
    if (s.nRndAddrState != RndAddrStep::Start && s.nRndAddrState != RndAddrStep::Idle &&
        s.nRndAddrState != RndAddrStep::Stop &&
        m_line.GetContext().scheduler.Now() - m_runStartMs > CeilingMs()) {
        // The search made too little progress for its line time: it ends here, and the run says
        // how many gear it addressed and that gear without an address still take part.
        m_ceilingReached = true;
        m_line.GetContext().dialogs.MessageBox({CeilingText(), MsgButtons::Ok, MsgIcon::Critical,
                                                m_line.GetContext().messages.Load(5113)});
        bFinished = true;
        s.nRndAddrState = RndAddrStep::Idle;
        return true;
    }
    switch (s.nRndAddrState) {
        case RndAddrStep::Start:
            Begin();
            break;
        case RndAddrStep::FirstCompare:
            FirstCompare(bFinished);
            break;
        case RndAddrStep::SetSearch:
            SetSearchAddress();
            // The fast search compares in the same step.
            if (m_options.fast) CompareAndHalve(bFinished);
            break;
        case RndAddrStep::CompareHalve:
            CompareAndHalve(bFinished);
            break;
        case RndAddrStep::FindFree:
            FindFreeAddress(bFinished);
            break;
        case RndAddrStep::Program:
            if (s.nRndAddrAddress > kMaxShortAddress) {
                bFinished = true;
                s.nRndAddrState = RndAddrStep::Idle;
                break;
            }
            m_line.Send(kCmdProgramShortAddress, AddressByte(s.nRndAddrAddress), AddressKind::Short,
                        0);
            Status(m_line.GetContext().messages.Load(5118) + ": " +
                   std::to_string(s.nRndAddrAddress));
            // The fast search's verify is the check of the holder's random address.
            s.nRndAddrState = m_options.fast ? RndAddrStep::CheckHolder : RndAddrStep::Verify;
            break;
        case RndAddrStep::Verify:
            Verify(bFinished);
            break;
        case RndAddrStep::CheckHolder:
            CheckHolder(bFinished);
            break;
        case RndAddrStep::ShowWithdraw:
            // The new lamp lights up while the others stay at minimum, and leaves the search.
            m_line.Send(kCmdRecallMaxLevel, 0, AddressKind::Short, s.nRndAddrAddress);
            m_line.Send(kCmdWithdraw, 0, AddressKind::Short, 0);
            if (m_options.fast) {
                s.nRndAddrState = RndAddrStep::FastNext;
                break;
            }
            m_line.Send(kCmdSearchAddrH, 255, AddressKind::Broadcast, 0);
            m_line.Send(kCmdSearchAddrM, 255, AddressKind::Broadcast, 0);
            m_line.Send(kCmdSearchAddrL, 255, AddressKind::Broadcast, 0);
            s.nRndAddrState = RndAddrStep::Next;
            break;
        case RndAddrStep::Next:
            NextBallast(bFinished);
            break;
        case RndAddrStep::FastNext:
            FastNext(bFinished);
            break;
        case RndAddrStep::Clash:
            Clash();
            break;
        case RndAddrStep::NextRound:
            NextRound();
            break;
        default:
            return false;
    }
    // A command that still collided after every try reached nobody: the steps after it would
    // build on nothing.
    if (m_line.CollisionsGoOn() && !m_stoppedByCollisions) {
        m_stoppedByCollisions = true;
        m_line.TellCollisions();
        bFinished = true;
        s.nRndAddrState = RndAddrStep::Idle;
    }
    return true;
}

void RandomAddressingSearch::Begin() {
    RandomSearchState& s = m_s;
    m_found.clear();
    m_failures.clear();
    m_left.clear();
    m_givenAt.clear();
    m_leftAt.clear();
    m_ignoredWithdraw.clear();
    m_roundsStartMs = -1;
    m_addressedAtRound = 0;
    m_emptyRounds = 0;
    m_missingLeft = false;
    m_stoppedByCollisions = false;
    m_checkMs = 0;
    m_endedAtLimit = false;
    m_ceilingReached = false;
    m_roundsSinceProgress = 0;
    m_skipInitialise = false;
    m_runStartMs = m_line.GetContext().scheduler.Now();
    m_line.PrepareAddressing(m_options.newInstallation, m_options.deleteGroups,
                             m_options.deleteScenes);
    s.lRndAddrInitialisedMs = m_line.GetContext().scheduler.Now();
    m_line.Send(kCmdRandomise, 0, AddressKind::Broadcast, 0);
    s.lRndAddrRandomisedMs = m_line.GetContext().scheduler.Now();
    Status(m_line.GetContext().messages.Load(5117) + "...");
    s.nRndAddrAddress = m_options.startAddress;
    s.nRndAddrLampNo = 0;
    s.bRndAddrAddressGiven = false;
    s.nRndAddrState = RndAddrStep::FirstCompare;
}

// COMPARE and its reply; several ballasts answering at once give a collision or a corrupt frame,
// so everything but a timeout counts as an answer.
Result RandomAddressingSearch::Compare() {
    m_line.Send(kCmdCompare, 0, AddressKind::Broadcast, 0);
    std::uint8_t answer = 0;
    return m_line.Receive(answer);
}

// Whether anybody takes part, at the start and after the search had to start again. The fast
// search first gives the gear the time the standard allows after RANDOMISE, and when nobody
// compares then, a longer one for slow gear before it believes that nobody is there.
void RandomAddressingSearch::FirstCompare(bool& bFinished) {
    RandomSearchState& s = m_s;
    const bool fast = m_options.fast;
    Scheduler& clock = m_line.GetContext().scheduler;
    if (fast) {
        const std::int64_t readyMs = s.lRndAddrRandomisedMs + kRandomiseSettleMs;
        if (clock.Now() < readyMs) clock.Sleep(readyMs - clock.Now());
    }
    m_line.Send(kCmdSearchAddrH, 255, AddressKind::Broadcast, 0);
    m_line.Send(kCmdSearchAddrM, 255, AddressKind::Broadcast, 0);
    m_line.Send(kCmdSearchAddrL, 255, AddressKind::Broadcast, 0);
    Result result = Compare();
    if (result == Result::Timeout) {
        if (fast) clock.Sleep(kRandomiseSlowGearMs);
        result = Compare();
        if (result != Result::Timeout)
            m_line.NoteRecovery("second-ask", "COMPARE answered only when asked again", -1,
                                0xFFFFFF);
    }
    if (result == Result::Timeout) {
        Finish(bFinished);
        return;
    }
    s.byLastSearchH = s.byLastSearchM = s.byLastSearchL = 255;
    BeginSearch(0);
}

// The search over what still takes part, all of it at or above floor.
void RandomAddressingSearch::BeginSearch(std::int32_t floor) {
    RandomSearchState& s = m_s;
    ++m_roundsSinceProgress;
    s.lSearchHigh = kSearchAddressMax;
    s.lRndAddrFloor = floor;
    s.nRndAddrState = RndAddrStep::SetSearch;
    if (m_options.fast) {
        s.lSearchLow = floor;
        s.bRndAddrAnswered = false;
        s.lRndAddrStride = ExpectedGap(floor);
        if (!FastProbe()) s.nRndAddrState = RndAddrStep::CompareHalve;
        return;
    }
    s.lSearchLow = floor;
    s.lSearchAddress = s.lSearchLow + HalfRoundedEven(kSearchAddressMax - s.lSearchLow);
}

// How far above floor the fast search first looks for the next gear: as far as the gear found so
// far lie apart, and no less than the rest of the address space shared among as many gear as may
// still get a short address. With none found yet, the whole space is halved.
std::int32_t RandomAddressingSearch::ExpectedGap(std::int32_t floor) const {
    const std::int64_t space = kSearchAddressMax + 1 - static_cast<std::int64_t>(floor);
    const auto found = static_cast<std::int64_t>(
        std::min<std::size_t>(m_found.size(), static_cast<std::size_t>(kMaxShortAddress)));
    if (found == 0) return static_cast<std::int32_t>(space);
    return static_cast<std::int32_t>(
        std::max<std::int64_t>((floor + 1) / found, space / (kMaxShortAddress + 2 - found)));
}

// The next probe of the fast search, at or above the floor and below the top of the interval.
// False when the interval has closed.
bool RandomAddressingSearch::FastProbe() {
    RandomSearchState& s = m_s;
    s.lSearchLow = std::max(s.lSearchLow, s.lRndAddrFloor);
    if (s.lSearchLow >= s.lSearchHigh) return false;
    const std::int64_t reach =
        s.bRndAddrAnswered
            ? s.lSearchHigh
            : std::min<std::int64_t>(
                  s.lSearchHigh, s.lSearchLow + 2 * static_cast<std::int64_t>(s.lRndAddrStride));
    s.lSearchAddress =
        CheapestProbe(s.lSearchLow, s.lSearchHigh, reach,
                      FromBytes({s.byLastSearchH, s.byLastSearchM, s.byLastSearchL}));
    return true;
}

void RandomAddressingSearch::SendSearchByte(std::int16_t nCommandId, std::uint8_t nByte,
                                            std::uint8_t& nLast) {
    // The fast search sends only what changed; the paced one sends what the steps say.
    if (m_options.fast && nByte == nLast) return;
    m_line.Send(nCommandId, nByte, AddressKind::Broadcast, 0);
    nLast = nByte;
}

// Only the bytes that changed go on the line: the low end of the search moves one byte at a time.
void RandomAddressingSearch::SetSearchAddress() {
    RandomSearchState& s = m_s;
    Status(m_line.GetContext().messages.Load(5119) + ": 0x" + UpperHex(s.lSearchAddress));
    s.bySearchH = SearchHigh(s.lSearchAddress);
    s.bySearchM = SearchMiddle(s.lSearchAddress);
    s.bySearchL = SearchLow(s.lSearchAddress);
    if (s.bySearchH != s.byLastSearchH) {
        m_line.Send(kCmdSearchAddrH, s.bySearchH, AddressKind::Broadcast, 0);
        s.byLastSearchH = s.bySearchH;
    }
    if (s.bySearchM != s.byLastSearchM) {
        m_line.Send(kCmdSearchAddrM, s.bySearchM, AddressKind::Broadcast, 0);
        s.byLastSearchM = s.bySearchM;
    }
    if (s.bySearchL != s.byLastSearchL) {
        m_line.Send(kCmdSearchAddrL, s.bySearchL, AddressKind::Broadcast, 0);
        s.byLastSearchL = s.bySearchL;
    }
    s.nRndAddrState = RndAddrStep::CompareHalve;
}

void RandomAddressingSearch::CompareAndHalve(bool& bFinished) {
    RandomSearchState& s = m_s;
    if (m_options.fast) {
        // The interval may have closed without a probe (all of it below the floor).
        if (s.lSearchLow < s.lSearchHigh) {
            if (Compare() != Result::Timeout) {
                s.lSearchHigh = s.lSearchAddress;
                s.bRndAddrAnswered = true;
            } else {
                s.lSearchLow = s.lSearchAddress + 1;
                // Nobody that close: the gear lie further apart than thought.
                if (!s.bRndAddrAnswered)
                    s.lRndAddrStride = std::min(2 * s.lRndAddrStride, kSearchAddressMax + 1);
            }
        }
        if (FastProbe()) {
            s.nRndAddrState = RndAddrStep::SetSearch;
            return;
        }
        Close(bFinished);
        return;
    }
    if (Compare() != Result::Timeout) {
        s.lSearchHigh = s.lSearchAddress;
    } else {
        s.lSearchLow = s.lSearchAddress + 1;
    }
    s.lSearchAddress = s.lSearchLow + HalfRoundedEven(s.lSearchHigh - s.lSearchLow);
    if (s.lSearchHigh != s.lSearchLow) {
        s.nRndAddrState = RndAddrStep::SetSearch;
        return;
    }
    Close(bFinished);
}

// The interval has closed on the smallest random address still taking part.
void RandomAddressingSearch::Close(bool& bFinished) {
    RandomSearchState& s = m_s;
    const bool fast = m_options.fast;
    if (fast && !s.bRndAddrAnswered) {
        // Nobody answered this search: only a gear at 0xFFFFFF itself, which no probe reached,
        // can still take part. Its COMPARE decides whether the run is over: asked twice.
        SendSearchByte(kCmdSearchAddrH, 255, s.byLastSearchH);
        SendSearchByte(kCmdSearchAddrM, 255, s.byLastSearchM);
        SendSearchByte(kCmdSearchAddrL, 255, s.byLastSearchL);
        if (Compare() == Result::Timeout) {
            const CheckTime check(m_line.GetContext().scheduler, m_checkMs);
            if (Compare() == Result::Timeout) {
                Finish(bFinished);
                return;
            }
        }
        if (s.nRndAddrAddress > kMaxShortAddress) {
            EndAtLimit(bFinished);
            return;
        }
    }
    // Searches that keep ending without a gear addressed (a pair that parts on no new draw, a
    // gear that takes part again however often it leaves): the gear here is left, and the search
    // goes on with those above it.
    if (m_roundsSinceProgress > kRoundsWithoutProgress && m_leftAt.count(s.lSearchHigh) == 0 &&
        m_givenAt.count(s.lSearchHigh) == 0) {
        SetSearchBytes(s.lSearchHigh);
        LeaveGear("no-progress", "no gear was addressed in " +
                                     std::to_string(m_roundsSinceProgress) +
                                     " searches, which closed on " + Hex(s.lSearchHigh) +
                                     " last: the gear there left without a short address");
        return;
    }
    // A gear given an address earlier in this run lies there only when a gear below it answered
    // every COMPARE of this search (one that powered up since): that gear would take the address
    // again, so the search starts from the bottom instead.
    if (m_found.count(s.lSearchHigh) != 0) {
        if (!GearBelow(s.lSearchHigh)) {
            // Nobody lies below: a gear there still compares. A gear left there came back
            // with a new initialisation and leaves again. Where a gear was given its address,
            // QUERY SHORT ADDRESS tells whether it is that gear alone (it ignores WITHDRAW) or a
            // gear without an address that brought the same random address along.
            if (m_leftAt.count(s.lSearchHigh) != 0) {
                // Gear left there that come back again and again without anybody addressed
                // in between: nobody else is found any more.
                if (m_roundsSinceProgress > 2 * kRoundsWithoutProgress) {
                    m_left.push_back("no-progress");
                    Finish(bFinished);
                    return;
                }
                WithdrawAgain();
                return;
            }
            const auto given = m_givenAt.find(s.lSearchHigh);
            if (given != m_givenAt.end() && m_failures[s.lSearchHigh] < kRndAddrAttempts) {
                if (HolderAloneAnswers(given->second) &&
                    m_ignoredWithdraw.insert(s.lSearchHigh).second) {
                    IgnoresWithdraw(given->second);
                    return;
                }
                ++m_failures[s.lSearchHigh];
                RandomAddressTaken(given->second);
                return;
            }
        }
        // A search that keeps closing there has no gear below to find.
        if (++m_failures[s.lSearchHigh] > 2 * kRndAddrAttempts) {
            m_left.push_back("gear-below");
            Finish(bFinished);
            return;
        }
        SearchAgain("gear-below", "a gear turned up below " + Hex(s.lSearchHigh) +
                                      ", which has its address: searched from the bottom");
        return;
    }
    // Address it so that PROGRAM and WITHDRAW reach that ballast alone.
    if (fast) {
        SendSearchByte(kCmdSearchAddrH, SearchHigh(s.lSearchHigh), s.byLastSearchH);
        SendSearchByte(kCmdSearchAddrM, SearchMiddle(s.lSearchHigh), s.byLastSearchM);
        SendSearchByte(kCmdSearchAddrL, SearchLow(s.lSearchHigh), s.byLastSearchL);
    } else {
        m_line.Send(kCmdSearchAddrH, SearchHigh(s.lSearchHigh), AddressKind::Broadcast, 0);
        m_line.Send(kCmdSearchAddrM, SearchMiddle(s.lSearchHigh), AddressKind::Broadcast, 0);
        m_line.Send(kCmdSearchAddrL, SearchLow(s.lSearchHigh), AddressKind::Broadcast, 0);
    }
    s.nRndAddrState = RndAddrStep::FindFree;
}

void RandomAddressingSearch::FindFreeAddress(bool& bFinished) {
    RandomSearchState& s = m_s;
    m_line.Send(kCmdQueryBallast, 0, AddressKind::Short, s.nRndAddrAddress);
    std::uint8_t answer = 0;
    if (m_line.Receive(answer) == Result::Timeout) {
        // Free only when it stays silent twice: a gear that missed one answer, or answers every
        // second question, would otherwise share the address with the new one.
        const CheckTime check(m_line.GetContext().scheduler, m_checkMs);
        m_line.Send(kCmdQueryBallast, 0, AddressKind::Short, s.nRndAddrAddress);
        if (m_line.Receive(answer) == Result::Timeout) {
            s.nRndAddrState = RndAddrStep::Program;
            return;
        }
        m_line.NoteRecovery("second-ask",
                            "address " + std::to_string(s.nRndAddrAddress) +
                                " answered only when asked again: taken",
                            s.nRndAddrAddress, -1);
    }
    ++s.nRndAddrAddress;
    if (s.nRndAddrAddress > kMaxShortAddress) {
        EndAtLimit(bFinished);
    }
}

void RandomAddressingSearch::Verify(bool& bFinished) {
    RandomSearchState& s = m_s;
    std::uint8_t answer = 0;
    const Result verified = m_line.QueryTwice(
        kCmdVerifyShortAddress, AddressByte(s.nRndAddrAddress), AddressKind::Short, 0, answer);
    if (verified == Result::Done) {
        s.nRndAddrState = RndAddrStep::CheckHolder;
        return;
    }
    // Several answers at once: several gear took the address.
    if (verified == Result::Collision || verified == Result::CorruptFrame) {
        s.nRndAddrState = RndAddrStep::Clash;
        return;
    }
    // A failure of the link itself has shown its own box.
    if (verified != Result::Timeout) {
        bFinished = true;
        return;
    }
    VerifyFailed();
}

void RandomAddressingSearch::VerifyFailed() {
    RandomSearchState& s = m_s;
    // Nobody holds the address: a lost COMPARE answer closed the search where no gear is, or the
    // gear lost its mains. Where it keeps failing, the gear there does not keep an address.
    if (++m_failures[s.lSearchHigh] >= kRndAddrAttempts) {
        LeaveGear("verify-failed",
                  "the gear at " + Hex(s.lSearchHigh) + " does not keep a short address: left");
        return;
    }
    SearchAgain("verify-failed", std::string("nobody answered ") +
                                     (m_options.fast ? "at address " : "VERIFY SHORT ADDRESS ") +
                                     std::to_string(s.nRndAddrAddress) + " after programming at " +
                                     Hex(s.lSearchHigh) + ": searched again");
}

// The new address must be held by the gear searched for and by no other: QUERY RANDOM ADDRESS
// H, M and L there answer with the bytes of the search address, and two gear with different
// random addresses cannot answer all three alike.
void RandomAddressingSearch::CheckHolder(bool& bFinished) {
    RandomSearchState& s = m_s;
    const CheckTime check(m_line.GetContext().scheduler, m_checkMs);
    std::int32_t holder = 0;
    for (const std::int16_t command :
         {kCmdQueryRandomAddressH, kCmdQueryRandomAddressM, kCmdQueryRandomAddressL}) {
        std::uint8_t answer = 0;
        const Result result =
            m_line.QueryTwice(command, 0, AddressKind::Short, s.nRndAddrAddress, answer);
        if (result == Result::Collision || result == Result::CorruptFrame) {
            s.nRndAddrState = RndAddrStep::Clash;
            return;
        }
        if (result == Result::Timeout && m_options.fast && command == kCmdQueryRandomAddressH) {
            // Nobody answers at the new address: the verify failed.
            VerifyFailed();
            return;
        }
        if (result == Result::Timeout) {
            // The gear answered its verify and then fell silent: it lost its mains.
            SearchAgain("vanished", "the gear at address " + std::to_string(s.nRndAddrAddress) +
                                        " fell silent: searched again");
            return;
        }
        if (result != Result::Done) {
            bFinished = true;
            return;
        }
        holder = (holder << 8) | answer;
    }
    if (holder != s.lSearchHigh) {
        // Another gear has the address alone: it missed both questions of the free-address
        // check. The gear found keeps its place in the search and takes the next free address.
        m_line.NoteRecovery("address-taken",
                            "address " + std::to_string(s.nRndAddrAddress) +
                                " belongs to the gear at " + Hex(holder) +
                                ": the next free address is used",
                            s.nRndAddrAddress, holder);
        ++s.nRndAddrAddress;
        s.nRndAddrState = RndAddrStep::FindFree;
        if (s.nRndAddrAddress > kMaxShortAddress) {
            EndAtLimit(bFinished);
        }
        return;
    }
    ++s.nRndAddrLampNo;
    m_roundsSinceProgress = 0;
    if (m_view.showLamp) m_view.showLamp(s.nRndAddrLampNo, s.nRndAddrAddress);
    m_line.AddAddressedDevice(s.nRndAddrAddress);
    m_found.insert(s.lSearchHigh);
    m_givenAt[s.lSearchHigh] = s.nRndAddrAddress;
    s.bRndAddrAddressGiven = true;
    s.nRndAddrState = RndAddrStep::ShowWithdraw;
}

void RandomAddressingSearch::NextBallast(bool& bFinished) {
    RandomSearchState& s = m_s;
    // A lost answer here would end the run with gear left: silence counts when it comes twice.
    if (Compare() == Result::Timeout) {
        const CheckTime check(m_line.GetContext().scheduler, m_checkMs);
        if (Compare() == Result::Timeout) {
            Finish(bFinished);
            return;
        }
    }
    if (s.bRndAddrAddressGiven) {
        ++s.nRndAddrAddress;
        s.bRndAddrAddressGiven = false;
    }
    if (s.nRndAddrAddress > kMaxShortAddress) {
        EndAtLimit(bFinished);
        return;
    }
    InitialiseUnlessLeft();
    // Every ballast still taking part lies at or above the one just found.
    if (!m_options.fast) s.byLastSearchH = s.byLastSearchM = s.byLastSearchL = 255;
    BeginSearch(s.lSearchLow);
}

// The fast search goes on to the next gear at once; only at the address limit does it ask first
// whether anybody is left, as the paced one does, so that the limit is told only when it matters.
void RandomAddressingSearch::FastNext(bool& bFinished) {
    RandomSearchState& s = m_s;
    if (s.bRndAddrAddressGiven) {
        ++s.nRndAddrAddress;
        s.bRndAddrAddressGiven = false;
    }
    if (s.nRndAddrAddress > kMaxShortAddress) {
        SendSearchByte(kCmdSearchAddrH, 255, s.byLastSearchH);
        SendSearchByte(kCmdSearchAddrM, 255, s.byLastSearchM);
        SendSearchByte(kCmdSearchAddrL, 255, s.byLastSearchL);
        NextBallast(bFinished);
        return;
    }
    // The gear still taking part stay in the initialisation state; it is renewed before it ends,
    // unless gear were just left (they are to stay out of the search).
    const std::int64_t nowMs = m_line.GetContext().scheduler.Now();
    if (nowMs - s.lRndAddrInitialisedMs >= kInitialiseRenewMs) {
        InitialiseUnlessLeft();
        s.lRndAddrInitialisedMs = nowMs;
    }
    BeginSearch(s.lSearchHigh);
}

// Starts the search again from the top: whoever still takes part is found anew. The short
// address in hand stays free for the gear found next.
void RandomAddressingSearch::SearchAgain(const std::string& what, const std::string& text) {
    RandomSearchState& s = m_s;
    m_line.NoteRecovery(what, text, what == "gear-below" ? -1 : s.nRndAddrAddress, s.lSearchHigh);
    s.nRndAddrState = RndAddrStep::FirstCompare;
}

// Several gear took the address: they drew the same random address. They give it back and all
// gear without an address draw new random addresses, the gear with one out of the way first (a
// withdrawn gear would still take PROGRAM SHORT ADDRESS at its random address).
void RandomAddressingSearch::Clash() {
    RandomSearchState& s = m_s;
    m_line.Send(kCmdProgramShortAddress, kDaliMask, AddressKind::Short, 0);
    if (++m_failures[s.lSearchHigh] >= kRndAddrAttempts) {
        LeaveGear("clash-left", "gear at " + Hex(s.lSearchHigh) +
                                    " keep drawing one random address: left without a "
                                    "short address");
        return;
    }
    m_line.NoteRecovery("clash",
                        "several gear took address " + std::to_string(s.nRndAddrAddress) + " at " +
                            Hex(s.lSearchHigh) + ": address given back, new random addresses drawn",
                        s.nRndAddrAddress, s.lSearchHigh);
    Redraw();
}

// The gear at the search address cannot be addressed: it leaves the search without an address,
// so that every other gear still gets one, and the run says so at its end.
void RandomAddressingSearch::LeaveGear(const std::string& what, const std::string& text) {
    RandomSearchState& s = m_s;
    m_line.NoteRecovery(what, text, -1, s.lSearchHigh);
    m_left.push_back(what);
    m_line.Send(kCmdWithdraw, 0, AddressKind::Short, 0);
    m_found.insert(s.lSearchHigh);
    m_leftAt.insert(s.lSearchHigh);
    m_skipInitialise = true;
    SendSearchByte(kCmdSearchAddrH, 255, s.byLastSearchH);
    SendSearchByte(kCmdSearchAddrM, 255, s.byLastSearchM);
    SendSearchByte(kCmdSearchAddrL, 255, s.byLastSearchL);
    s.nRndAddrState = RndAddrStep::Next;
}

// A gear is left but no short address: the box of the address limit ends the run.
void RandomAddressingSearch::EndAtLimit(bool& bFinished) {
    m_line.TellAddressLimit();
    m_endedAtLimit = true;
    bFinished = true;
    m_s.nRndAddrState = RndAddrStep::Idle;
}

// Nobody takes part any more. Gear left without an address make the run end with the notice of
// what kept them from one.
void RandomAddressingSearch::Finish(bool& bFinished) {
    RandomSearchState& s = m_s;
    if (StartNextRound()) return;
    bFinished = true;
    s.nRndAddrState = RndAddrStep::Idle;
    // A pair left for its clash that parted in a later round has its addresses now.
    if (m_nobodyMissing)
        m_left.erase(std::remove(m_left.begin(), m_left.end(), "clash-left"), m_left.end());
    if (m_left.empty()) {
        if (m_missingLeft)
            m_line.Tell({EngineFailure::Incomplete, {msg::kStillMissing}, NoticeWeight::Critical});
        return;
    }
    // Gear that keep clashing have no address at all now, which the notice says.
    const bool clash = std::find(m_left.begin(), m_left.end(), "clash-left") != m_left.end();
    m_line.Tell({EngineFailure::Incomplete,
                 {clash ? msg::kKeepsClashing : msg::kNoReplyAfterAddress},
                 NoticeWeight::Critical});
}

// Whether a gear lies below a random address: COMPARE one below it.
bool RandomAddressingSearch::GearBelow(std::int32_t randomAddress) {
    RandomSearchState& s = m_s;
    if (randomAddress == 0) return false;
    const std::int32_t below = randomAddress - 1;
    m_line.Send(kCmdSearchAddrH, SearchHigh(below), AddressKind::Broadcast, 0);
    m_line.Send(kCmdSearchAddrM, SearchMiddle(below), AddressKind::Broadcast, 0);
    m_line.Send(kCmdSearchAddrL, SearchLow(below), AddressKind::Broadcast, 0);
    s.byLastSearchH = SearchHigh(below);
    s.byLastSearchM = SearchMiddle(below);
    s.byLastSearchL = SearchLow(below);
    return Compare() != Result::Timeout;
}

// Whether QUERY SHORT ADDRESS at the search address draws the clean answer of the gear given
// that address, and nobody else's.
bool RandomAddressingSearch::HolderAloneAnswers(std::int16_t shortAddress) {
    RandomSearchState& s = m_s;
    m_line.Send(kCmdSearchAddrH, SearchHigh(s.lSearchHigh), AddressKind::Broadcast, 0);
    m_line.Send(kCmdSearchAddrM, SearchMiddle(s.lSearchHigh), AddressKind::Broadcast, 0);
    m_line.Send(kCmdSearchAddrL, SearchLow(s.lSearchHigh), AddressKind::Broadcast, 0);
    s.byLastSearchH = SearchHigh(s.lSearchHigh);
    s.byLastSearchM = SearchMiddle(s.lSearchHigh);
    s.byLastSearchL = SearchLow(s.lSearchHigh);
    m_line.Send(kCmdQueryShortAddress, 0, AddressKind::Broadcast, 0);
    std::uint8_t answer = 0;
    return m_line.Receive(answer) == Result::Done && answer == AddressByte(shortAddress);
}

// A gear without a short address has the random address of a gear addressed in this run (one
// that powered up late with the address it brought along): the gear without an address draw new
// ones, the gear with one out of the way first.
void RandomAddressingSearch::RandomAddressTaken(std::int16_t shortAddress) {
    RandomSearchState& s = m_s;
    m_line.NoteRecovery("random-taken",
                        "a gear without a short address has the random address " +
                            Hex(s.lSearchHigh) + " of the gear at address " +
                            std::to_string(shortAddress) + ": new random addresses drawn",
                        shortAddress, s.lSearchHigh);
    Redraw();
}

// A new initialisation of the gear without a short address with new random addresses; TERMINATE
// first takes the gear addressed in this run out of it.
void RandomAddressingSearch::Redraw() {
    RandomSearchState& s = m_s;
    m_line.Send(kCmdTerminate, 0, AddressKind::Broadcast, 0);
    m_line.Send(kCmdInitialise, 255, AddressKind::Broadcast, 0);
    s.lRndAddrInitialisedMs = m_line.GetContext().scheduler.Now();
    m_line.Send(kCmdRandomise, 0, AddressKind::Broadcast, 0);
    s.lRndAddrRandomisedMs = m_line.GetContext().scheduler.Now();
    s.nRndAddrState = RndAddrStep::FirstCompare;
}

// Gear left at the search address took part again after a new initialisation: they leave the
// search as they did before.
void RandomAddressingSearch::WithdrawAgain() {
    RandomSearchState& s = m_s;
    m_line.Send(kCmdSearchAddrH, SearchHigh(s.lSearchHigh), AddressKind::Broadcast, 0);
    m_line.Send(kCmdSearchAddrM, SearchMiddle(s.lSearchHigh), AddressKind::Broadcast, 0);
    m_line.Send(kCmdSearchAddrL, SearchLow(s.lSearchHigh), AddressKind::Broadcast, 0);
    m_line.Send(kCmdWithdraw, 0, AddressKind::Short, 0);
    m_line.Send(kCmdSearchAddrH, 255, AddressKind::Broadcast, 0);
    m_line.Send(kCmdSearchAddrM, 255, AddressKind::Broadcast, 0);
    m_line.Send(kCmdSearchAddrL, 255, AddressKind::Broadcast, 0);
    s.byLastSearchH = s.byLastSearchM = s.byLastSearchL = 255;
    m_skipInitialise = true;
    s.nRndAddrState = RndAddrStep::Next;
}

// The INITIALISE 0xFF before the next gear is searched. Right after gear were left it stays out:
// gear that end a withdraw with every INITIALISE would take part again and the search would close
// on them over and over, never reaching the gear above; the initialisation window is long enough
// for the next search without it.
void RandomAddressingSearch::InitialiseUnlessLeft() {
    if (m_skipInitialise) {
        m_skipInitialise = false;
        return;
    }
    m_line.Send(kCmdInitialise, 255, AddressKind::Broadcast, 0);
}

// Puts the gear at a random address alone under the search address, for a WITHDRAW.
void RandomAddressingSearch::SetSearchBytes(std::int32_t randomAddress) {
    RandomSearchState& s = m_s;
    SendSearchByte(kCmdSearchAddrH, SearchHigh(randomAddress), s.byLastSearchH);
    SendSearchByte(kCmdSearchAddrM, SearchMiddle(randomAddress), s.byLastSearchM);
    SendSearchByte(kCmdSearchAddrL, SearchLow(randomAddress), s.byLastSearchL);
}

std::string RandomAddressingSearch::CeilingText() const {
    const int left = static_cast<int>(m_leftAt.size());
    return HostText(m_line.GetContext().messages.GetLanguage(),
                    "the random addressing stopped after %1 s of line time, its limit with %2 "
                    "gear found: %3 gear addressed, gear without a short address still take part",
                    {std::to_string(CeilingMs() / 1000), std::to_string(m_s.nRndAddrLampNo + left),
                     std::to_string(m_s.nRndAddrLampNo)});
}

std::int64_t RandomAddressingSearch::CeilingMs() const {
    if (m_options.ceilingMs > 0) return m_options.ceilingMs;
    return kRunCeilingBaseMs +
           kRunCeilingPerGearMs * static_cast<std::int64_t>(m_s.nRndAddrLampNo + m_leftAt.size());
}

// The gear given its address at the search address still compares: it ignores WITHDRAW and would
// be found again and again. It has its short address now, so a new initialisation of the gear
// without one (INITIALISE 0xFF, the random addresses kept) leaves it out of the search.
void RandomAddressingSearch::IgnoresWithdraw(std::int16_t shortAddress) {
    RandomSearchState& s = m_s;
    m_line.NoteRecovery("ignores-withdraw",
                        "the gear at address " + std::to_string(shortAddress) + " (" +
                            Hex(s.lSearchHigh) +
                            ") ignores WITHDRAW: the gear without a short address were "
                            "initialised again without it",
                        shortAddress, s.lSearchHigh);
    m_line.Send(kCmdTerminate, 0, AddressKind::Broadcast, 0);
    m_line.Send(kCmdInitialise, 255, AddressKind::Broadcast, 0);
    s.lRndAddrInitialisedMs = m_line.GetContext().scheduler.Now();
    s.nRndAddrState = RndAddrStep::FirstCompare;
}

// Before the run ends: does any gear without a short address still answer? Then a new round
// begins (false: the run ends; MissingLeft() says whether gear were still missing).
bool RandomAddressingSearch::StartNextRound() {
    RandomSearchState& s = m_s;
    m_nobodyMissing = false;
    if (m_line.CollisionsGoOn() || m_line.TerminalLink().CommunicationLost()) return false;
    std::uint8_t answer = 0;
    const Result missing =
        m_line.QueryTwice(kCmdQueryMissingShortAddress, 0, AddressKind::Broadcast, 0, answer);
    bool dark = false;
    if (missing == Result::Timeout) {
        // Nobody is missing, or nobody hears: the gear addressed in this run answer QUERY
        // CONTROL GEAR unless the line has lost its mains.
        m_nobodyMissing = true;
        if (s.nRndAddrLampNo == 0) return false;
        m_line.Send(kCmdQueryBallast, 0, AddressKind::Broadcast, 0);
        if (m_line.Receive(answer) != Result::Timeout) return false;
        m_nobodyMissing = false;
        dark = true;
    } else if (missing != Result::Done && missing != Result::CorruptFrame &&
               missing != Result::Collision) {
        // Several answers at once come as a corrupt frame or a collision; anything else is a
        // failure of the link, which has shown its box.
        return false;
    }
    const std::int64_t nowMs = m_line.GetContext().scheduler.Now();
    if (m_roundsStartMs < 0) {
        m_roundsStartMs = nowMs;
    } else if (m_addressedAtRound == s.nRndAddrLampNo) {
        ++m_emptyRounds;
    } else {
        m_emptyRounds = 0;
    }
    if (m_emptyRounds >= kMissingEmptyRounds || nowMs - m_roundsStartMs > kMissingRoundsMs) {
        m_missingLeft = true;
        return false;
    }
    m_addressedAtRound = s.nRndAddrLampNo;
    m_nextRoundMs = nowMs + (m_emptyRounds > 0 ? kMissingRoundWaitMs : 0);
    if (dark) {
        m_line.NoteRecovery("line-dark",
                            "nobody answered after the search, not even the gear addressed in "
                            "it (the line's mains?): initialised again and searched",
                            -1, -1);
    } else {
        m_line.NoteRecovery("missing",
                            "gear without a short address still answered after the search: "
                            "initialised again and searched",
                            -1, -1);
    }
    s.nRndAddrState = RndAddrStep::NextRound;
    return true;
}

// A new initialisation of the gear without a short address, once the wait is over.
// The gear that come in now may bring any random address along (a gear powered up late has the
// one it had, maybe that of a gear addressed in this run): they draw new ones.
void RandomAddressingSearch::NextRound() {
    if (m_line.GetContext().scheduler.Now() < m_nextRoundMs) return;
    Redraw();
}

// The run as the window's Start button and timer drive it (the same steps, waits and log lines),
// without the window.
RandomAddressingReport RunRandomAddressing(AddressingLine& line,
                                           const RandomAddressingRequest& request,
                                           const ProgressFn& progress,
                                           const std::function<bool()>& cancelled) {
    RandomAddressingReport report;
    EngineTerminal& terminal = line.Terminal();
    const Context& context = terminal.context;
    const MessageCatalogue& msg = context.messages;
    Link& link = terminal.link;
    report.variant = RandomAddressingVariantOf(terminal.state.m_nFirmwareVersion);
    if (report.variant == RandomAddressingVariant::None) {
        Tell(terminal, report.outcome,
             {EngineFailure::Refused, {msg::kFirmwareLacksFunction}, NoticeWeight::Information});
        return report;
    }
    if (RefusedOutsideDaliMode(terminal, report.outcome)) return report;
    if (report.variant == RandomAddressingVariant::Terminal) {
        report.outcome.Fail(
            EngineFailure::Refused,
            EngineMessage{0, "this terminal (firmware 1M or later) searches itself"},
            msg.GetLanguage());
        return report;
    }

    RandomAddressingSearch search(line);
    search.SetOptions(request.options);
    std::string status;
    search.SetView(
        {[&](const std::string& text) { status = text; },
         [&](std::int16_t, std::int16_t address) { report.addressed.push_back(address); }});
    report.fastSearch = request.options.fast;
    bool failed = false;
    const auto step = [&](bool bStart, bool bStop, bool& bFinished) {
        const SearchPacing pacing(search, bStart);
        EngineMachineStep(
            context, search.MachineState(), bStart, bStop, bFinished, "RandomAddressing",
            [&] { return search.RunOwnStep(bFinished); },
            [&] {
                // TERMINATE ends the gear's initialisation state.
                status.clear();
                line.Send(kCmdTerminate, 0, AddressKind::Broadcast, 0);
            },
            [&] { status = msg.Load(5112); }, failed);
    };
    status = msg.Load(5080) + "...";
    const std::int64_t startMs = context.scheduler.Now();
    AddressingDrive drive;
    drive.logWords = "random addressing";
    drive.log = request.log;
    drive.logPath = request.logPath;
    // The pace is chosen before the start step, with what the quick handshake knew then.
    drive.intervalMs = request.options.fast && !link.QuickTimingDistrust() ? kRndAddrFastIntervalMs
                                                                           : kRndAddrIntervalMs;
    drive.step = step;
    drive.stepped = [&] {
        if (!progress) return;
        ProgressState now;
        now.detail = status;
        now.addressed = search.Addressed();
        now.fraction = search.Fraction();
        now.elapsedMs = context.scheduler.Now() - startMs;
        progress(now);
    };
    drive.cancelled = cancelled;
    const AddressingDriveEnd end = DriveAddressingRun(line, drive);
    const bool cancel = end.cancelled;
    if (end.timedOut)
        report.outcome.Fail(EngineFailure::Error,
                            EngineMessage{0, "the random addressing did not end in time"},
                            msg.GetLanguage());

    report.recovered = line.Recovered();
    report.checkMs = search.CheckMs();
    if (link.CommunicationLost()) {
        report.outcome.Fail(EngineFailure::CommunicationLost,
                            EngineMessage{0,
                                          "the connection to the terminal was lost "
                                          "during the random addressing"},
                            msg.GetLanguage());
    } else if (cancel) {
        report.outcome.Fail(EngineFailure::Cancelled,
                            EngineMessage{0, "the random addressing was cancelled"},
                            msg.GetLanguage());
    } else if (failed) {
        report.outcome.Fail(EngineFailure::Error,
                            EngineMessage{0, "the random addressing ended with an error"},
                            msg.GetLanguage());
    } else if (search.StoppedByCollisions()) {
        report.outcome.Fail(EngineFailure::Incomplete, {msg::kCollisionsGoOn}, msg.GetLanguage());
    } else if (search.CeilingReached()) {
        report.outcome.Fail(EngineFailure::Incomplete, search.CeilingText());
    } else if (search.EndedAtLimit()) {
        report.outcome.Fail(EngineFailure::Incomplete, msg.Load(5114) + "!");
    } else if (!search.Left().empty()) {
        const bool clash = std::find(search.Left().begin(), search.Left().end(), "clash-left") !=
                           search.Left().end();
        report.outcome.Fail(EngineFailure::Incomplete,
                            {clash ? msg::kKeepsClashing : msg::kNoReplyAfterAddress},
                            msg.GetLanguage());
    } else if (search.MissingLeft()) {
        report.outcome.Fail(EngineFailure::Incomplete, {msg::kStillMissing}, msg.GetLanguage());
    }
    report.outcome.notices = line.Told();
    return report;
}

}  // namespace zd
