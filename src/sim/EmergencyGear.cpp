#include "sim/EmergencyGear.h"

#include <algorithm>
#include <cmath>

namespace zd::sim {

namespace {

constexpr std::int64_t kMinuteMs = 60 * 1000;
constexpr std::int64_t kDayMs = 24 * 60 * kMinuteMs;
constexpr std::int64_t kQuarterHourMs = 15 * kMinuteMs;
constexpr std::int64_t kInhibitMs = 15 * kMinuteMs;
constexpr std::int64_t kIdentifyMs = 10 * 1000;
constexpr double kFullCharge = 254.0;
// Charge below this is empty, above full minus this is full: the steps of the clock are whole
// milliseconds, the charge is not.
constexpr double kChargeSlack = 1e-6;

constexpr int kNoTest = 0;
constexpr int kFunctionTest = 1;
constexpr int kDurationTest = 2;

// Failure status bits.
constexpr std::uint8_t kBatteryDurationFailure = 0x02;
constexpr std::uint8_t kFunctionDelayExceeded = 0x10;
constexpr std::uint8_t kDurationDelayExceeded = 0x20;
constexpr std::uint8_t kFunctionTestFailed = 0x40;
constexpr std::uint8_t kDurationTestFailed = 0x80;
constexpr std::uint8_t kCauseBits = 0x0F;

constexpr std::uint8_t kFeatureAdjustableLevel = 0x10;
constexpr std::uint8_t kFeatureRelightInRest = 0x80;

std::int64_t CeilMs(double ms) {
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(ms)));
}

std::uint8_t Capped(std::int64_t value) {
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
}

}  // namespace

std::optional<EmergencyFailure> EmergencyFailureNamed(const std::string& name) {
    for (EmergencyFailure failure : kEmergencyFailures)
        if (name == EmergencyFailureName(failure)) return failure;
    return std::nullopt;
}

const char* EmergencyFailureName(EmergencyFailure failure) {
    switch (failure) {
        case EmergencyFailure::Circuit:
            return "circuit";
        case EmergencyFailure::Battery:
            return "battery";
        case EmergencyFailure::Lamp:
            return "lamp";
    }
    return "";
}

EmergencyGear::EmergencyGear(const EmergencyConfig& config, Micros nowUs)
    : m_s(config), m_charge(std::clamp(config.batteryCharge, 0, 254)), m_atUs(nowUs) {
    m_s.batteryMinutes = std::max(1, m_s.batteryMinutes);
    m_s.rechargeMinutes = std::max(1, m_s.rechargeMinutes);
    m_s.functionTestSeconds = std::max(1, m_s.functionTestSeconds);
    ScheduleAutomaticTests();
    HandleEvents();
}

void EmergencyGear::ScheduleAutomaticTests() {
    if (!m_s.nextFunctionTestMs && m_s.functionTestInterval > 0)
        m_s.nextFunctionTestMs = m_s.functionTestInterval * kDayMs;
    if (!m_s.nextDurationTestMs && m_s.durationTestInterval > 0)
        m_s.nextDurationTestMs = m_s.durationTestInterval * 7 * kDayMs;
}

double EmergencyGear::DrainPerMs() const {
    // A failed battery gives out within a minute.
    const int minutes = (m_s.failures & static_cast<std::uint8_t>(EmergencyFailure::Battery))
                            ? 1
                            : m_s.batteryMinutes;
    return kFullCharge / static_cast<double>(minutes * kMinuteMs);
}

double EmergencyGear::ChargePerMs() const {
    return kFullCharge / static_cast<double>(m_s.rechargeMinutes * kMinuteMs);
}

bool EmergencyGear::LampLit() const {
    return OnBattery() && !m_s.rest && m_charge > 0 &&
           !(m_s.failures & static_cast<std::uint8_t>(EmergencyFailure::Lamp));
}

std::int64_t EmergencyGear::NextEventMs(std::int64_t limitMs) const {
    std::int64_t next = limitMs;
    auto consider = [&next](std::int64_t ms) {
        if (ms > 0) next = std::min(next, ms);
    };
    if (m_s.runningTest == kFunctionTest)
        consider(m_s.functionTestSeconds * 1000LL - m_s.runningTestMs);
    if (m_s.runningTest == kDurationTest)
        consider(m_s.ratedMinutes * kMinuteMs - m_s.runningTestMs);
    if (OnBattery() && !m_s.rest && m_charge > 0) consider(CeilMs(m_charge / DrainPerMs()));
    if (!OnBattery() && m_charge < kFullCharge)
        consider(CeilMs((kFullCharge - m_charge) / ChargePerMs()));
    consider(m_s.inhibitRemainingMs);
    consider(m_s.prolongRemainingMs);
    consider(m_s.identifyRemainingMs);
    if (m_s.functionTestInterval > 0 && m_s.nextFunctionTestMs) consider(*m_s.nextFunctionTestMs);
    if (m_s.durationTestInterval > 0 && m_s.nextDurationTestMs) consider(*m_s.nextDurationTestMs);
    const std::int64_t timeoutMs =
        m_s.testExecutionTimeout == 0 ? kQuarterHourMs : m_s.testExecutionTimeout * kDayMs;
    if (m_s.functionPendingMs && !(m_s.failureStatus & kFunctionDelayExceeded))
        consider(timeoutMs - *m_s.functionPendingMs);
    if (m_s.durationPendingMs && !(m_s.failureStatus & kDurationDelayExceeded))
        consider(timeoutMs - *m_s.durationPendingMs);
    return next;
}

void EmergencyGear::RunFor(std::int64_t ms) {
    if (LampLit()) {
        m_s.lampEmergencyMs += ms;
        m_s.lampTotalMs += ms;
    }
    if (OnBattery()) {
        if (!m_s.rest) m_charge -= DrainPerMs() * static_cast<double>(ms);
    } else {
        m_charge += ChargePerMs() * static_cast<double>(ms);
    }
    if (m_charge < kChargeSlack) m_charge = 0;
    if (m_charge > kFullCharge - kChargeSlack) m_charge = kFullCharge;
    if (m_s.runningTest != kNoTest) m_s.runningTestMs += ms;
    for (std::int64_t* left :
         {&m_s.inhibitRemainingMs, &m_s.prolongRemainingMs, &m_s.identifyRemainingMs})
        *left = std::max<std::int64_t>(0, *left - ms);
    if (m_s.nextFunctionTestMs && m_s.functionTestInterval > 0) *m_s.nextFunctionTestMs -= ms;
    if (m_s.nextDurationTestMs && m_s.durationTestInterval > 0) *m_s.nextDurationTestMs -= ms;
    if (m_s.functionPendingMs) *m_s.functionPendingMs += ms;
    if (m_s.durationPendingMs) *m_s.durationPendingMs += ms;
}

void EmergencyGear::HandleEvents() {
    if (m_faults.m_testNeverEnds) {
        // The running test goes on; the automatic tests and pending ones below still count.
    } else if (m_s.runningTest == kFunctionTest &&
               m_s.runningTestMs >= m_s.functionTestSeconds * 1000LL) {
        EndTest((m_s.failures & kCauseBits) == 0);
    } else if (m_s.runningTest == kDurationTest) {
        // A lamp or circuit that does not work ends the test as soon as it starts.
        const std::uint8_t broken =
            m_s.failures &
            static_cast<std::uint8_t>(static_cast<std::uint8_t>(EmergencyFailure::Lamp) |
                                      static_cast<std::uint8_t>(EmergencyFailure::Circuit));
        if (broken != 0 || m_charge <= 0) {
            EndTest(false);
        } else if (m_s.runningTestMs >= m_s.ratedMinutes * kMinuteMs) {
            EndTest(true);
        }
    }
    if (m_s.functionTestInterval > 0 && m_s.nextFunctionTestMs && *m_s.nextFunctionTestMs <= 0) {
        m_s.nextFunctionTestMs = m_s.functionTestInterval * kDayMs;
        StartOrPend(kFunctionTest);
    }
    if (m_s.durationTestInterval > 0 && m_s.nextDurationTestMs && *m_s.nextDurationTestMs <= 0) {
        m_s.nextDurationTestMs = m_s.durationTestInterval * 7 * kDayMs;
        StartOrPend(kDurationTest);
    }
    if (m_s.functionPendingMs && CanStart(kFunctionTest)) BeginTest(kFunctionTest);
    if (m_s.durationPendingMs && CanStart(kDurationTest)) BeginTest(kDurationTest);
    // A test that waits longer than the execution timeout is reported, and goes on waiting.
    const std::int64_t timeoutMs =
        m_s.testExecutionTimeout == 0 ? kQuarterHourMs : m_s.testExecutionTimeout * kDayMs;
    if (m_s.functionPendingMs && *m_s.functionPendingMs >= timeoutMs)
        m_s.failureStatus |= kFunctionDelayExceeded;
    if (m_s.durationPendingMs && *m_s.durationPendingMs >= timeoutMs)
        m_s.failureStatus |= kDurationDelayExceeded;
}

void EmergencyGear::Advance(Micros nowUs) {
    std::int64_t leftMs = (nowUs - m_atUs) / 1000;
    if (leftMs <= 0) return;
    m_atUs += leftMs * 1000;
    while (leftMs > 0) {
        const std::int64_t step = NextEventMs(leftMs);
        RunFor(step);
        leftMs -= step;
        HandleEvents();
    }
}

bool EmergencyGear::CanStart(int test) const {
    if (!m_s.mains || m_s.runningTest != kNoTest || m_s.inhibitRemainingMs > 0) return false;
    // A duration test needs a full battery; a function test only one that is not empty.
    return test == kDurationTest ? m_charge >= kFullCharge : m_charge > 0;
}

void EmergencyGear::StartOrPend(int test) {
    if (CanStart(test)) {
        BeginTest(test);
        return;
    }
    std::optional<std::int64_t>& pending =
        test == kFunctionTest ? m_s.functionPendingMs : m_s.durationPendingMs;
    if (!pending) pending = 0;
}

void EmergencyGear::BeginTest(int test) {
    if (test == kFunctionTest) {
        m_s.functionPendingMs.reset();
        m_s.failureStatus &=
            static_cast<std::uint8_t>(~(kFunctionDelayExceeded | kFunctionTestFailed));
    } else {
        m_s.durationPendingMs.reset();
        m_s.failureStatus &= static_cast<std::uint8_t>(
            ~(kDurationDelayExceeded | kDurationTestFailed | kBatteryDurationFailure));
    }
    m_s.failureStatus &= static_cast<std::uint8_t>(~kCauseBits);
    m_s.runningTest = test;
    m_s.runningTestMs = 0;
    m_s.prolongRemainingMs = 0;
}

void EmergencyGear::EndTest(bool passed) {
    if (m_faults.m_testEndsWithoutResult) {
        StopTest();
        return;
    }
    const std::uint8_t causes = m_s.failures & kCauseBits;
    if (m_s.runningTest == kFunctionTest) {
        m_s.functionTestDone = true;
        if (!passed) m_s.failureStatus |= static_cast<std::uint8_t>(kFunctionTestFailed | causes);
    } else {
        m_s.durationTestDone = true;
        m_s.durationResultMinutes = static_cast<int>(m_s.runningTestMs / kMinuteMs);
        if (!passed) {
            std::uint8_t bits = kDurationTestFailed | causes;
            if (m_charge <= 0) bits |= kBatteryDurationFailure;
            m_s.failureStatus |= bits;
        }
    }
    m_s.runningTest = kNoTest;
    m_s.runningTestMs = 0;
}

void EmergencyGear::StopTest() {
    m_s.runningTest = kNoTest;
    m_s.runningTestMs = 0;
}

std::uint8_t EmergencyGear::Mode() const {
    if (m_s.runningTest == kFunctionTest) return 0x10;
    if (m_s.runningTest == kDurationTest) return 0x20;
    if (!m_s.mains) return m_s.rest ? 0x01 : 0x04;
    if (m_s.prolongRemainingMs > 0) return 0x08;
    return 0x02;
}

std::uint8_t EmergencyGear::Status() const {
    std::uint8_t status = 0;
    if (m_s.inhibitRemainingMs > 0) status |= 0x01;
    if (m_s.functionTestDone) status |= 0x02;
    if (m_s.durationTestDone) status |= 0x04;
    if (m_charge >= kFullCharge) status |= 0x08;
    if (m_s.functionPendingMs) status |= 0x10;
    if (m_s.durationPendingMs) status |= 0x20;
    if (m_s.identifyRemainingMs > 0) status |= 0x40;
    return status;
}

std::uint8_t EmergencyGear::ModeAt(Micros nowUs) {
    Advance(nowUs);
    return Mode();
}

std::uint8_t EmergencyGear::StatusAt(Micros nowUs) {
    Advance(nowUs);
    return Status();
}

std::optional<std::uint8_t> EmergencyGear::TestTiming(std::uint8_t selector) const {
    auto quarters = [](std::uint8_t interval, const std::optional<std::int64_t>& ms) {
        if (interval == 0 || !ms) return std::int64_t{0xFFFF};
        return std::clamp<std::int64_t>((*ms + kQuarterHourMs - 1) / kQuarterHourMs, 0, 0xFFFE);
    };
    switch (selector) {
        case 0:
        case 1:
        case 2:
        case 3: {
            const std::int64_t value =
                selector < 2 ? quarters(m_s.functionTestInterval, m_s.nextFunctionTestMs)
                             : quarters(m_s.durationTestInterval, m_s.nextDurationTestMs);
            // Without automatic tests both bytes read 255.
            return static_cast<std::uint8_t>(selector % 2 == 0 ? value >> 8 : value & 0xFF);
        }
        case 4:
            return m_s.functionTestInterval;
        case 5:
            return m_s.durationTestInterval;
        case 6:
            return m_s.testExecutionTimeout;
        case 7:
            return m_s.prolongTime;
        default:
            return std::nullopt;
    }
}

void EmergencyGear::FactorySettings() {
    const EmergencyConfig factory;
    m_s.functionTestInterval = factory.functionTestInterval;
    m_s.durationTestInterval = factory.durationTestInterval;
    m_s.testExecutionTimeout = factory.testExecutionTimeout;
    m_s.prolongTime = factory.prolongTime;
    m_s.emergencyLevel = factory.emergencyLevel;
    m_s.testDelay = 0;
    m_s.nextFunctionTestMs.reset();
    m_s.nextDurationTestMs.reset();
    ScheduleAutomaticTests();
}

void EmergencyGear::SetMains(bool on, Micros nowUs) {
    Advance(nowUs);
    if (on == m_s.mains) return;
    m_s.mains = on;
    if (!on) {
        // A test cannot go on without mains: it ends without a result, and the gear lights on
        // battery, or rests when it was inhibited.
        StopTest();
        m_s.rest = m_s.inhibitRemainingMs > 0;
        m_s.prolongRemainingMs = 0;
    } else {
        m_s.rest = false;
        m_s.prolongRemainingMs = m_s.prolongTime * 30 * 1000LL;
    }
    HandleEvents();
}

EmergencyConfig EmergencyGear::Capture(Micros nowUs) {
    Advance(nowUs);
    EmergencyConfig config = m_s;
    // Rounded down, so that a battery that is almost full is not saved as full.
    config.batteryCharge = static_cast<int>(std::floor(m_charge + kChargeSlack));
    return config;
}

std::optional<std::uint8_t> EmergencyGear::Execute(std::uint8_t command, std::uint8_t dtr,
                                                   Micros nowUs) {
    Advance(nowUs);
    std::optional<std::uint8_t> answer;
    switch (command) {
        case 0xE0:
            if (!m_s.mains) m_s.rest = true;
            break;
        case 0xE1:
            if (m_s.mains) m_s.inhibitRemainingMs = kInhibitMs;
            break;
        case 0xE2:
            m_s.inhibitRemainingMs = 0;
            if (m_s.rest && (m_s.features & kFeatureRelightInRest)) m_s.rest = false;
            break;
        case 0xE3:
            if (m_s.runningTest != kFunctionTest) StartOrPend(kFunctionTest);
            break;
        case 0xE4:
            if (m_s.runningTest != kDurationTest) StartOrPend(kDurationTest);
            break;
        case 0xE5:
            StopTest();
            m_s.functionPendingMs.reset();
            m_s.durationPendingMs.reset();
            break;
        case 0xE6:
            m_s.functionTestDone = false;
            break;
        case 0xE7:
            m_s.durationTestDone = false;
            break;
        case 0xE8:
            m_s.lampEmergencyMs = 0;
            m_s.lampTotalMs = 0;
            break;
        case 0xE9:
            if (m_s.features & kFeatureAdjustableLevel)
                m_s.emergencyLevel = std::clamp(dtr, m_s.emergencyMinLevel, m_s.emergencyMaxLevel);
            break;
        case 0xEA:
        case 0xEB:
            m_s.testDelay = command == 0xEA
                                ? static_cast<std::uint16_t>((dtr << 8) | (m_s.testDelay & 0xFF))
                                : static_cast<std::uint16_t>((m_s.testDelay & 0xFF00) | dtr);
            // The delay puts off the next automatic tests, so that neighbours do not test at once.
            if (m_s.functionTestInterval > 0)
                m_s.nextFunctionTestMs = m_s.testDelay * kQuarterHourMs;
            if (m_s.durationTestInterval > 0)
                m_s.nextDurationTestMs = m_s.testDelay * kQuarterHourMs;
            break;
        case 0xEC:
            m_s.functionTestInterval = dtr;
            m_s.nextFunctionTestMs = dtr * kDayMs;
            break;
        case 0xED:
            if (dtr <= 97) {
                m_s.durationTestInterval = dtr;
                m_s.nextDurationTestMs = dtr * 7 * kDayMs;
            }
            break;
        case 0xEE:
            m_s.testExecutionTimeout = dtr;
            break;
        case 0xEF:
            m_s.prolongTime = dtr;
            break;
        case 0xF0:
            m_s.identifyRemainingMs = kIdentifyMs;
            break;
        case 0xF1:
            answer = static_cast<std::uint8_t>(std::floor(m_charge + kChargeSlack));
            break;
        case 0xF2:
            answer = TestTiming(dtr);
            break;
        case 0xF3:
            answer = Capped(m_s.durationResultMinutes / 2);
            break;
        case 0xF4:
            answer = Capped(m_s.lampEmergencyMs / (60 * kMinuteMs));
            break;
        case 0xF5:
            answer = Capped(m_s.lampTotalMs / (4 * 60 * kMinuteMs));
            break;
        case 0xF6:
            answer = m_s.emergencyLevel;
            break;
        case 0xF7:
            answer = m_s.emergencyMinLevel;
            break;
        case 0xF8:
            answer = m_s.emergencyMaxLevel;
            break;
        case 0xF9:
            answer = Capped(m_s.ratedMinutes / 2);
            break;
        case 0xFA:
            answer = Mode();
            break;
        case 0xFB:
            answer = m_s.features;
            break;
        case 0xFC:
            answer = m_s.failureStatus;
            break;
        case 0xFD:
            answer = Status();
            break;
        case 0xFE:
            if (dtr == 0) FactorySettings();
            break;
        case 0xFF:
            answer = std::uint8_t{1};
            break;
        default:
            break;
    }
    HandleEvents();
    return answer;
}

}  // namespace zd::sim
