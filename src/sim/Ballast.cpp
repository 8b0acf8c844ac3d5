#include "sim/Ballast.h"

#include <algorithm>
#include <cmath>

namespace zd::sim {

namespace {

// Fade time X: 0.5 * sqrt(2^X) seconds; 0 means "as fast as possible", which we take as at once.
Micros FadeTimeUs(std::uint8_t fadeTime) {
    if (fadeTime == 0) return 0;
    return static_cast<Micros>(std::llround(500000.0 * std::sqrt(std::pow(2.0, fadeTime))));
}

// Fade rate X: 506 / sqrt(2^X) steps per second.
double FadeRateStepsPerSecond(std::uint8_t fadeRate) {
    return 506.0 / std::sqrt(std::pow(2.0, std::max<std::uint8_t>(fadeRate, 1)));
}

constexpr std::uint8_t kResetLevel = 254;
// IDENTIFY DEVICE of the second edition (version number 2.0, 8), and how long a gear shows itself.
constexpr std::uint8_t kIdentifyDevice = 37;
constexpr std::uint8_t kFirstIdentifyingVersion = 8;
constexpr Micros kIdentifyUs = 10'000'000;

}  // namespace

Ballast::Ballast(int id, const GearConfig& config, Micros nowUs)
    : m_id(id),
      m_kind(config.kind),
      m_actualLevel(0),
      m_powerOnLevel(config.powerOnLevel),
      m_systemFailureLevel(config.systemFailureLevel),
      m_minLevel(0),
      m_maxLevel(0),
      m_physicalMinimum(std::clamp<std::uint8_t>(config.physicalMinimum, 1, 254)),
      m_fadeTime(std::min<std::uint8_t>(config.fadeTime, 15)),
      m_fadeRate(std::clamp<std::uint8_t>(config.fadeRate, 1, 15)),
      m_randomAddress(config.randomAddress & 0xFFFFFF),
      m_dtr(config.dtr),
      m_groups(config.groups),
      m_scenes(config.scenes),
      m_deviceType(config.deviceType),
      m_version(config.version),
      m_lamp(config.lamp),
      m_powerFailure(config.powerFailure),
      m_limitError(config.limitError),
      m_withdrawn(config.withdrawn),
      m_physicalSelection(config.physicalSelection),
      m_faults(config.faults),
      m_powered(config.powered),
      m_poweredUpUs(nowUs) {
    m_maxLevel = std::clamp<std::uint8_t>(config.maxLevel, m_physicalMinimum, 254);
    m_minLevel =
        std::clamp(config.minLevel.value_or(m_physicalMinimum), m_physicalMinimum, m_maxLevel);
    SetShortAddress(config.shortAddress);
    if (m_deviceType == kColourDeviceType) m_colour.emplace(config.colour);
    for (std::uint32_t value : config.randomise) QueueRandomAddress(value);
    if (m_deviceType == 1) m_emergency = std::make_unique<EmergencyGear>(config.emergency, nowUs);
    // Power-up: the gear goes to its power-on level (MASK: the level it had, which a freshly
    // connected gear does not know, so its maximum).
    std::uint8_t level =
        config.actualLevel.value_or(m_powerOnLevel == kMask ? m_maxLevel : m_powerOnLevel);
    if (m_kind == GearKind::Dali && level != 0) level = std::clamp(level, m_minLevel, m_maxLevel);
    m_actualLevel = level;
    m_searchAddress = config.searchAddress & 0xFFFFFF;
    if (config.initialiseRemainingMs > 0)
        m_initialiseUntilUs = nowUs + config.initialiseRemainingMs * 1000;
    if (m_kind == GearKind::Dali && config.fade) {
        m_fade = Fade{nowUs, nowUs + std::max<std::int64_t>(0, config.fade->remainingMs) * 1000,
                      level, config.fade->target, config.fade->final};
        KeepWithinLimits(nowUs);
    }
}

GearConfig Ballast::Capture(Micros nowUs) const {
    GearConfig config;
    config.kind = m_kind;
    config.shortAddress = m_shortAddress;
    config.randomAddress = m_randomAddress;
    config.actualLevel = LevelAt(nowUs);
    config.powerOnLevel = m_powerOnLevel;
    config.systemFailureLevel = m_systemFailureLevel;
    config.minLevel = m_minLevel;
    config.maxLevel = m_maxLevel;
    config.physicalMinimum = m_physicalMinimum;
    config.fadeTime = m_fadeTime;
    config.fadeRate = m_fadeRate;
    config.groups = m_groups;
    config.scenes = m_scenes;
    config.lamp = m_lamp;
    config.deviceType = m_deviceType;
    config.version = m_version;
    if (m_colour) config.colour = m_colour->State();
    config.randomise.assign(m_queuedRandom.begin(), m_queuedRandom.end());
    config.dtr = m_dtr;
    config.powerFailure = m_powerFailure;
    config.limitError = m_limitError;
    config.searchAddress = m_searchAddress;
    config.powered = m_powered;
    config.faults = m_faults;
    if (m_emergency) config.emergency = m_emergency->Capture(nowUs);
    if (FadeRunningAt(nowUs)) {
        // Whole milliseconds, rounded up, so that a fade a few microseconds from its end is not
        // taken for one that has ended.
        config.fade =
            GearConfig::FadeState{m_fade->to, m_fade->final, (m_fade->endUs - nowUs + 999) / 1000};
    }
    if (InInitialisation(nowUs)) {
        config.initialiseRemainingMs = (m_initialiseUntilUs - nowUs) / 1000;
        config.withdrawn = m_withdrawn;
        config.physicalSelection = m_physicalSelection;
    }
    return config;
}

void Ballast::SetShortAddress(std::optional<std::uint8_t> address) {
    if (address && *address > 63) address.reset();
    m_shortAddress = address;
}

void Ballast::QueueRandomAddresses(std::initializer_list<std::uint32_t> values) {
    for (std::uint32_t value : values) QueueRandomAddress(value);
}

std::uint8_t Ballast::LevelAt(Micros nowUs) const {
    if (!Powered()) return 0;
    if (!m_fade) return m_actualLevel;
    if (nowUs >= m_fade->endUs) return m_fade->final;
    const Micros span = m_fade->endUs - m_fade->startUs;
    const Micros done = std::max<Micros>(0, nowUs - m_fade->startUs);
    const int delta = static_cast<int>(m_fade->to) - static_cast<int>(m_fade->from);
    return static_cast<std::uint8_t>(m_fade->from + delta * done / span);
}

bool Ballast::FadeRunningAt(Micros nowUs) const {
    return m_fade && nowUs < m_fade->endUs;
}

std::uint8_t Ballast::QueryActualLevelAt(Micros nowUs) const {
    return m_lamp == LampState::Present ? LevelAt(nowUs) : kMask;
}

// Every variable at its reset value, the random and search address included; the short address
// does not count, as RESET keeps it.
bool Ballast::ResetStateAt(Micros nowUs) const {
    return LevelAt(nowUs) == kResetLevel && m_powerOnLevel == kResetLevel &&
           m_systemFailureLevel == kResetLevel && m_minLevel == m_physicalMinimum &&
           m_maxLevel == kResetLevel && m_fadeRate == 7 && m_fadeTime == 0 && m_groups == 0 &&
           m_searchAddress == kNoRandomAddress && m_randomAddress == kNoRandomAddress &&
           std::all_of(m_scenes.begin(), m_scenes.end(), [](std::uint8_t s) { return s == kMask; });
}

std::uint8_t Ballast::StatusAt(Micros nowUs) const {
    const bool lampWorks = m_lamp == LampState::Present;
    std::uint8_t status = 0;
    if (m_faults.m_gearFailure) status |= 0x01;
    if (!lampWorks) status |= 0x02;
    if (lampWorks && LevelAt(nowUs) > 0) status |= 0x04;
    if (m_limitError) status |= 0x08;
    if (FadeRunningAt(nowUs)) status |= 0x10;
    if (ResetStateAt(nowUs)) status |= 0x20;
    if (!m_shortAddress) status |= 0x40;
    if (m_powerFailure) status |= 0x80;
    return status;
}

void Ballast::PowerDown() {
    m_powered = false;
    m_faults.m_powerDownAfterFrames = 0;
    // The initialisation state does not outlive the mains.
    m_initialiseUntilUs = 0;
}

void Ballast::PowerUp(Micros nowUs) {
    const bool wasPowered = Powered();
    m_powered = true;
    m_faults.m_powerUpAfterFrames = 0;
    if (wasPowered) return;
    m_poweredUpUs = nowUs;
    // MASK as power-on level: the level the gear had when it lost its mains.
    Settle(nowUs);
    std::uint8_t level = m_powerOnLevel == kMask ? m_actualLevel : m_powerOnLevel;
    if (m_kind == GearKind::Dali && level != 0) level = std::clamp(level, m_minLevel, m_maxLevel);
    SetLevelNow(level);
    m_powerFailure = true;
    m_dtr = 0;
    m_searchAddress = kNoRandomAddress;
    m_initialiseUntilUs = 0;
    m_withdrawn = false;
    m_physicalSelection = false;
    m_deviceTypeEnabled = false;
    m_pendingFrame.reset();
    m_randomReadyUs = 0;
    if (m_colour) m_colour->PowerUp();
}

std::optional<std::uint8_t> Ballast::ReceiveForward(std::uint16_t frame, Micros nowUs,
                                                    std::mt19937& random) {
    if (m_kind != GearKind::Dali) return std::nullopt;
    // Without mains the gear only sees the frames pass, until the one that brings it up.
    if (m_faults.m_powerUpAfterFrames > 0) {
        if (--m_faults.m_powerUpAfterFrames == 0) {
            m_powered = false;
            PowerUp(nowUs);
        }
        return std::nullopt;
    }
    if (!m_powered) return std::nullopt;
    // The frame that takes the mains away is still carried out and answered.
    if (m_faults.m_powerDownAfterFrames > 0 && --m_faults.m_powerDownAfterFrames == 0) {
        const std::optional<std::uint8_t> answer = ExecuteFrame(frame, nowUs, random);
        PowerDown();
        return GiveAnswer(answer);
    }
    return GiveAnswer(ExecuteFrame(frame, nowUs, random));
}

std::optional<std::uint8_t> Ballast::ExecuteFrame(std::uint16_t frame, Micros nowUs,
                                                  std::mt19937& random) {
    std::optional<std::uint8_t> answer;
    // A device-type command that needs a repeat comes as ENABLE DEVICE TYPE, the command, the
    // command: the repeat runs it as enabled by the first.
    const std::uint8_t addressByte = AddressByte(frame);
    const bool extended = !IsSpecialAddress(addressByte) && (addressByte & 1) != 0 &&
                          ((m_emergency && EmergencyGear::SendTwice(DataByte(frame))) ||
                           (m_colour && ColourGear::SendTwice(DataByte(frame))));
    const bool deviceTypeTwice = extended && (m_deviceTypeEnabled || m_pendingFrame == frame);
    if (IsSendTwice(frame) || deviceTypeTwice) {
        // The first frame of a pair only arms the gear; the second, unchanged and in time, runs it.
        if (m_pendingFrame == frame && nowUs - m_pendingUs <= kSendTwiceWindowUs) {
            m_pendingFrame.reset();
            m_deviceTypeEnabled = m_pendingDeviceType;
            answer = Execute(frame, nowUs, random);
        } else {
            m_pendingFrame = frame;
            m_pendingUs = nowUs;
            m_pendingDeviceType = deviceTypeTwice && m_deviceTypeEnabled;
            m_deviceTypeEnabled = false;
        }
    } else {
        // Any other frame in between cancels a pending first frame and is carried out as usual;
        // an ENABLE DEVICE TYPE that came before that first frame was spent on it.
        if (m_pendingFrame) m_deviceTypeEnabled = false;
        m_pendingFrame.reset();
        answer = Execute(frame, nowUs, random);
    }
    return answer;
}

std::optional<std::uint8_t> Ballast::GiveAnswer(std::optional<std::uint8_t> answer) {
    if (!answer) return std::nullopt;
    if (m_faults.m_silent) return std::nullopt;
    if (m_faults.m_missAnswers > 0) {
        --m_faults.m_missAnswers;
        return std::nullopt;
    }
    // Counted among the answers the gear sends; the Nth is lost on the way.
    if (m_faults.m_loseAnswer > 0 && --m_faults.m_loseAnswer == 0) return std::nullopt;
    return answer;
}

void Ballast::ReceiveDsi(std::uint8_t level) {
    if (m_kind == GearKind::Dsi && Powered()) SetLevelNow(level);
}

bool Ballast::Addressed(std::uint8_t address) const {
    if (address >= 0xFE) return true;
    if (address < 0x80) return m_shortAddress && *m_shortAddress == (address >> 1);
    if (address < 0xA0) return (m_groups >> ((address >> 1) & 0x0F)) & 1;
    return false;
}

std::optional<std::uint8_t> Ballast::Execute(std::uint16_t frame, Micros nowUs,
                                             std::mt19937& random) {
    const std::uint8_t address = AddressByte(frame);
    const std::uint8_t data = DataByte(frame);
    const bool deviceTypeEnabled = m_deviceTypeEnabled;
    m_deviceTypeEnabled = false;
    if (IsSpecialAddress(address)) {
        // Even codes of the special range are reserved: ignored.
        if ((address & 1) == 0) return std::nullopt;
        return ExecuteSpecial(address, data, nowUs, random);
    }
    // 111xxxxx other than the broadcast codes is reserved: ignored.
    if (address >= 0xE0 && address < 0xFE) return std::nullopt;
    if (!Addressed(address)) return std::nullopt;
    if ((address & 1) == 0) {
        m_identifyUntilUs = 0;
        if (m_colour) m_colour->DirectArcPower(data);
        ArcPower(data, nowUs);
        return std::nullopt;
    }
    // Application extended commands belong to a device type: without ENABLE DEVICE TYPE naming
    // the gear's own type just before, they are ignored, as commands of another type are.
    const std::optional<std::uint8_t> answer =
        data >= 224 ? (deviceTypeEnabled ? ExecuteExtended(data, nowUs) : std::nullopt)
                    : ExecuteCommand(data, nowUs);
    // Only commands 144 to 255 answer: every answer here is one to a query.
    if (answer && m_faults.m_answerEverySecondQuery) {
        m_skippedQuery = !m_skippedQuery;
        if (m_skippedQuery) return std::nullopt;
    }
    return answer;
}

std::optional<std::uint8_t> Ballast::ExecuteExtended(std::uint8_t command, Micros nowUs) {
    if (m_emergency) {
        m_emergency->SetFaults(m_faults.m_emergency);
        return m_emergency->Execute(command, m_dtr, nowUs);
    }
    if (m_colour) return m_colour->Extended(command, {m_dtr, m_dtr1, m_dtr2});
    // Every device-type part (LED gear included) has QUERY EXTENDED VERSION NUMBER as command 255;
    // the gear answers it with version 1 of its part. The other extended commands (for LED gear:
    // fast fade time, dimming curve, operating modes, failure status and their queries) are not
    // simulated: they are ignored and their queries draw no answer.
    if (command == 255) return std::uint8_t{1};
    return std::nullopt;
}

bool Ballast::SelectedForAddressing(Micros nowUs) const {
    // In physical selection the gear no longer compares random and search address. WITHDRAW only
    // takes a gear out of COMPARE: a withdrawn gear still takes PROGRAM and answers QUERY SHORT
    // ADDRESS at its own random address.
    if (InPhysicalSelection(nowUs)) return PhysicallySelected(nowUs);
    return RandomAddressReady(nowUs) && m_randomAddress == m_searchAddress;
}

std::optional<std::uint8_t> Ballast::ExecuteSpecial(std::uint8_t address, std::uint8_t data,
                                                    Micros nowUs, std::mt19937& random) {
    const bool initialised = InInitialisation(nowUs);
    switch (address) {
        case kTerminate:
            m_initialiseUntilUs = 0;
            m_physicalSelection = false;
            m_withdrawn = false;
            return std::nullopt;
        case kDataTransferRegister:
            m_dtr = data;
            return std::nullopt;
        case kDataTransferRegister1:
            m_dtr1 = data;
            return std::nullopt;
        case kDataTransferRegister2:
            m_dtr2 = data;
            return std::nullopt;
        case kInitialise: {
            bool selected = false;
            if (data == 0x00) {
                selected = true;
            } else if (data == 0xFF) {
                selected = !m_shortAddress;
            } else if ((data & 0x81) == 0x01) {
                selected = m_shortAddress && *m_shortAddress == (data >> 1);
            }
            if (!selected) return std::nullopt;
            if (m_faults.m_ignoreInitialiseMs > 0 &&
                nowUs < m_poweredUpUs + m_faults.m_ignoreInitialiseMs * 1000)
                return std::nullopt;
            // A gear already in the initialisation state only restarts its timer and stays
            // withdrawn (as in later editions of the standard); a gear entering it starts afresh.
            if (!initialised) {
                m_withdrawn = false;
                m_physicalSelection = false;
            } else if (m_faults.m_initialiseEndsWithdraw) {
                m_withdrawn = false;
            }
            m_initialiseUntilUs = nowUs + kInitialiseWindowUs;
            return std::nullopt;
        }
        default:
            break;
    }
    if (!initialised) {
        // Reserved codes and ENABLE DEVICE TYPE do not need the window.
        if (address == kEnableDeviceType) m_deviceTypeEnabled = data == m_deviceType;
        return std::nullopt;
    }
    switch (address) {
        case kRandomise:
            if (m_faults.m_randomiseAlwaysDraws != 0) {
                m_randomAddress = m_faults.m_randomiseAlwaysDraws & 0xFFFFFF;
            } else if (!m_queuedRandom.empty()) {
                m_randomAddress = m_queuedRandom.front();
                m_queuedRandom.pop_front();
            } else {
                m_randomAddress = random() & 0xFFFFFF;
            }
            m_randomReadyUs = nowUs + m_faults.m_randomiseDelayMs * 1000;
            return std::nullopt;
        case kCompare:
            if (!InPhysicalSelection(nowUs) && !m_withdrawn && RandomAddressReady(nowUs) &&
                m_randomAddress <= m_searchAddress)
                return kYes;
            return std::nullopt;
        case kWithdraw:
            if (!InPhysicalSelection(nowUs) && RandomAddressReady(nowUs) &&
                m_randomAddress == m_searchAddress && !m_faults.m_ignoreWithdraw)
                m_withdrawn = true;
            return std::nullopt;
        case kSearchAddrH:
            m_searchAddress =
                (m_searchAddress & 0x00FFFF) | (static_cast<std::uint32_t>(data) << 16);
            return std::nullopt;
        case kSearchAddrM:
            m_searchAddress =
                (m_searchAddress & 0xFF00FF) | (static_cast<std::uint32_t>(data) << 8);
            return std::nullopt;
        case kSearchAddrL:
            m_searchAddress = (m_searchAddress & 0xFFFF00) | data;
            return std::nullopt;
        case kProgramShortAddress:
            if (!SelectedForAddressing(nowUs) || m_faults.m_ignoreProgramming) return std::nullopt;
            if (data == 0xFF) {
                m_shortAddress.reset();
            } else if ((data & 0x81) == 0x01) {
                m_shortAddress = static_cast<std::uint8_t>(data >> 1);
            }
            return std::nullopt;
        case kVerifyShortAddress:
            // Answered only inside the initialisation window, like the other addressing
            // commands; a master verifies what it has just programmed there.
            if (m_shortAddress && data == ((*m_shortAddress << 1) | 1)) return kYes;
            return std::nullopt;
        case kQueryShortAddress:
            if (!SelectedForAddressing(nowUs)) return std::nullopt;
            return m_shortAddress ? static_cast<std::uint8_t>((*m_shortAddress << 1) | 1) : kMask;
        case kPhysicalSelection:
            // Sent again it keeps the mode: the physical addressing procedure sends it for every
            // lamp.
            m_physicalSelection = true;
            return std::nullopt;
        case kEnableDeviceType:
            m_deviceTypeEnabled = data == m_deviceType;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<std::uint8_t> Ballast::ExecuteCommand(std::uint8_t command, Micros nowUs) {
    Settle(nowUs);
    if (m_colour) m_colour->Command(command, *this);
    // Gear may miss commands for up to 300 ms after RESET; ours never do, so that a procedure
    // does not depend on the timing of one make of gear.
    if (command >= 32 && command <= 129) {
        ExecuteConfiguration(command, nowUs);
        return std::nullopt;
    }
    if (command >= 144) return Query(command, nowUs);
    const std::uint8_t level = LevelAt(nowUs);
    // Any arc power command ends the power failure, even GO TO SCENE of a scene the gear is not
    // in: the command was received, which is what the flag is about.
    if (command <= 8 || (command >= 16 && command <= 31)) m_powerFailure = false;
    // The limit error reflects the last level asked for. Commands 0 to 8 never ask for a level
    // outside the limits (OFF asks for none; the others move within them), so they clear it; a
    // scene asks for its level and is judged in ArcPower.
    if (command <= 8) m_limitError = false;
    if (command <= 31) m_identifyUntilUs = 0;
    switch (command) {
        case 0:
            SetLevelNow(0);
            break;
        case 1:
            FadeBy(+1, nowUs);
            break;
        case 2:
            FadeBy(-1, nowUs);
            break;
        case 3:
            if (level != 0) SetLevelNow(level >= m_maxLevel ? m_maxLevel : level + 1);
            break;
        case 4:
            if (level != 0) SetLevelNow(level <= m_minLevel ? m_minLevel : level - 1);
            break;
        case 5:
            SetLevelNow(m_maxLevel);
            break;
        case 6:
            SetLevelNow(m_minLevel);
            break;
        case 7:
            if (level != 0) SetLevelNow(level <= m_minLevel ? 0 : level - 1);
            break;
        case 8:
            if (level == 0) {
                SetLevelNow(m_minLevel);
            } else {
                SetLevelNow(level >= m_maxLevel ? m_maxLevel : level + 1);
            }
            break;
        default:
            if (command >= 16 && command <= 31) {
                const std::uint8_t scene = m_scenes[command - 16];
                if (scene != kMask) ArcPower(scene, nowUs);
            }
            // 9 to 15 and 130 to 143 are reserved: ignored.
            break;
    }
    return std::nullopt;
}

void Ballast::ExecuteConfiguration(std::uint8_t command, Micros nowUs) {
    switch (command) {
        case 32:
            ResetVariables();
            return;
        case kIdentifyDevice:
            if (m_version >= kFirstIdentifyingVersion) m_identifyUntilUs = nowUs + kIdentifyUs;
            return;
        case 33:
            m_dtr = LevelAt(nowUs);
            return;
        case 42:
            m_maxLevel = std::clamp<std::uint8_t>(m_dtr, m_minLevel, 254);
            KeepWithinLimits(nowUs);
            return;
        case 43:
            m_minLevel = std::clamp(m_dtr, m_physicalMinimum, m_maxLevel);
            KeepWithinLimits(nowUs);
            return;
        case 44:
            m_systemFailureLevel = m_dtr;
            return;
        case 45:
            m_powerOnLevel = m_dtr;
            return;
        case 46:
            m_fadeTime = std::min<std::uint8_t>(m_dtr, 15);
            return;
        case 47:
            m_fadeRate = std::clamp<std::uint8_t>(m_dtr, 1, 15);
            return;
        case 128:
            // A DTR that is neither 0AAAAAA1 nor MASK names no address: the gear keeps its own.
            if (m_faults.m_ignoreProgramming) return;
            if (m_dtr == 0xFF) {
                m_shortAddress.reset();
            } else if ((m_dtr & 0x81) == 0x01) {
                m_shortAddress = static_cast<std::uint8_t>(m_dtr >> 1);
            }
            return;
        default:
            break;
    }
    if (command >= 64 && command <= 79) {
        m_scenes[command - 64] = m_dtr;
    } else if (command >= 80 && command <= 95) {
        m_scenes[command - 80] = kMask;
    } else if (command >= 96 && command <= 111) {
        m_groups = static_cast<std::uint16_t>(m_groups | (1u << (command - 96)));
    } else if (command >= 112 && command <= 127) {
        m_groups = static_cast<std::uint16_t>(m_groups & ~(1u << (command - 112)));
    }
    // 34 to 41 (but IDENTIFY DEVICE), 48 to 63 and 129 are reserved in the first edition:
    // ignored.
}

std::optional<std::uint8_t> Ballast::Query(std::uint8_t command, Micros nowUs) const {
    auto yesIf = [](bool condition) -> std::optional<std::uint8_t> {
        if (condition) return kYes;
        return std::nullopt;
    };
    const bool lampWorks = m_lamp == LampState::Present;
    if (command >= 176 && command <= 191) return m_scenes[command - 176];
    switch (command) {
        case 144:
            return StatusAt(nowUs);
        case 145:
            return kYes;
        case 146:
            return yesIf(!lampWorks);
        case 147:
            return yesIf(lampWorks && LevelAt(nowUs) > 0);
        case 148:
            return yesIf(m_limitError);
        case 149:
            return yesIf(ResetStateAt(nowUs));
        case 150:
            return yesIf(!m_shortAddress);
        case 151:
            return m_version;
        case 152:
            return m_dtr;
        case 156:
            return m_dtr1;
        case 157:
            return m_dtr2;
        case 153:
            return m_deviceType;
        case 154:
            return m_physicalMinimum;
        case 155:
            return yesIf(m_powerFailure);
        case 160:
            return QueryActualLevelAt(nowUs);
        case 161:
            return m_maxLevel;
        case 162:
            return m_minLevel;
        case 163:
            return m_powerOnLevel;
        case 164:
            return m_systemFailureLevel;
        case 165:
            return static_cast<std::uint8_t>((m_fadeTime << 4) | m_fadeRate);
        case 192:
            return static_cast<std::uint8_t>(m_groups & 0xFF);
        case 193:
            return static_cast<std::uint8_t>(m_groups >> 8);
        case 194:
            return static_cast<std::uint8_t>(m_randomAddress >> 16);
        case 195:
            return static_cast<std::uint8_t>(m_randomAddress >> 8);
        case 196:
            return static_cast<std::uint8_t>(m_randomAddress);
        default:
            return std::nullopt;  // reserved queries: no answer
    }
}

void Ballast::Settle(Micros nowUs) {
    if (m_fade && nowUs >= m_fade->endUs) {
        m_actualLevel = m_fade->final;
        m_fade.reset();
    }
}

void Ballast::SetLevelNow(std::uint8_t level) {
    m_fade.reset();
    m_actualLevel = level;
}

void Ballast::ArcPower(std::uint8_t level, Micros nowUs) {
    Settle(nowUs);
    m_powerFailure = false;
    const std::uint8_t current = LevelAt(nowUs);
    if (level == kMask) {
        // MASK stops a fade where it is.
        SetLevelNow(current);
        return;
    }
    const Micros fadeUs = FadeTimeUs(m_fadeTime);
    // Off is no level outside the limits: it clears the limit error. With a fade time it fades to
    // the minimum over that time and then switches off, rather than switching off at once.
    if (level == 0) {
        m_limitError = false;
        if (current == 0 || fadeUs == 0) {
            SetLevelNow(0);
        } else {
            // Dims to the minimum over the fade time, then switches off.
            m_fade = Fade{nowUs, nowUs + fadeUs, current, m_minLevel, 0};
        }
        return;
    }
    const std::uint8_t target = std::clamp(level, m_minLevel, m_maxLevel);
    m_limitError = target != level;
    // A lamp that is off ignites at its minimum and fades up from there.
    const std::uint8_t from = current == 0 ? m_minLevel : current;
    if (fadeUs == 0 || from == target) {
        SetLevelNow(target);
    } else {
        m_fade = Fade{nowUs, nowUs + fadeUs, from, target, target};
    }
}

void Ballast::KeepWithinLimits(Micros nowUs) {
    // New limits take hold at once, fades included: the level now and the level a running fade
    // is heading for are both brought within them, and the fade goes on over its remaining time.
    // Off stays off.
    Settle(nowUs);
    auto within = [this](std::uint8_t level) {
        return level == 0 ? level : std::clamp(level, m_minLevel, m_maxLevel);
    };
    if (!m_fade) {
        m_actualLevel = within(m_actualLevel);
        return;
    }
    const std::uint8_t current = within(LevelAt(nowUs));
    const Fade fade{nowUs, m_fade->endUs, current, within(m_fade->to), within(m_fade->final)};
    if (fade.from == fade.to && fade.to == fade.final) {
        SetLevelNow(fade.final);
    } else {
        m_fade = fade;
    }
}

void Ballast::FadeBy(int direction, Micros nowUs) {
    // UP and DOWN fade for 200 ms at the fade rate, within the limits, and never switch on or off.
    const std::uint8_t current = LevelAt(nowUs);
    if (current == 0) return;
    const double rate = FadeRateStepsPerSecond(m_fadeRate);
    const int steps = std::max(1, static_cast<int>(std::lround(rate * 0.2)));
    const int wanted = current + direction * steps;
    const std::uint8_t target =
        static_cast<std::uint8_t>(std::clamp<int>(wanted, m_minLevel, m_maxLevel));
    if (target == current) {
        SetLevelNow(current);
        return;
    }
    const Micros spanUs =
        static_cast<Micros>(std::llround(std::abs(target - current) / rate * 1e6));
    m_fade = Fade{nowUs, nowUs + spanUs, current, target, target};
}

void Ballast::ResetVariables() {
    SetLevelNow(kResetLevel);
    m_powerOnLevel = kResetLevel;
    m_systemFailureLevel = kResetLevel;
    m_minLevel = m_physicalMinimum;
    m_maxLevel = kResetLevel;
    m_fadeRate = 7;
    m_fadeTime = 0;
    m_scenes = GearConfig::MaskScenes();
    m_groups = 0;
    m_searchAddress = kNoRandomAddress;
    m_randomAddress = kNoRandomAddress;
    m_powerFailure = false;
    m_limitError = false;
}

}  // namespace zd::sim
