#include "engine/ColourTemperature.h"

#include <cmath>
#include <utility>

#include "engine/LineCommands.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

constexpr std::uint8_t kEnableDeviceTypeByte = 0xC1;
constexpr std::uint8_t kDtr1Byte = 0xC3;
constexpr std::uint8_t kDtr2Byte = 0xC5;
// Extended commands of the colour part.
constexpr std::uint8_t kActivate = 0xE2;
constexpr std::uint8_t kSetTemporaryTc = 0xE7;
constexpr std::uint8_t kStoreTcLimit = 0xF2;
constexpr std::uint8_t kQueryGearFeatures = 0xF7;
constexpr std::uint8_t kQueryColourStatus = 0xF8;
constexpr std::uint8_t kQueryColourValue = 0xFA;
// QUERY COLOUR VALUE selectors.
constexpr std::uint8_t kValueActual = 2;
constexpr std::uint8_t kValueCoolest = 128;
constexpr std::uint8_t kValuePhysicalCoolest = 129;
constexpr std::uint8_t kValueWarmest = 130;
constexpr std::uint8_t kValuePhysicalWarmest = 131;
constexpr std::uint8_t kValueReport = 226;
// Which limit STORE COLOUR TEMPERATURE LIMIT stores (DTR2).
constexpr std::uint8_t kLimitCoolest = 0;
constexpr std::uint8_t kLimitWarmest = 1;
constexpr std::uint8_t kLimitPhysicalCoolest = 2;
constexpr std::uint8_t kLimitPhysicalWarmest = 3;

std::string MirekText(Language language, std::uint16_t mirek) {
    return HostText(language, "%1 K (%2 mirek)",
                    {std::to_string(KelvinFromMirek(mirek)), std::to_string(mirek)});
}

// The colour commands of one run on one terminal: the first failure of the link ends the run,
// and the outcome keeps it.
class ColourLine {
  public:
    ColourLine(EngineTerminal& terminal, EngineOutcome& outcome)
        : m_terminal(terminal), m_outcome(outcome) {}

    Language Lang() const { return m_terminal.context.messages.GetLanguage(); }
    bool Failed() const { return !m_outcome.Ok(); }

    // A frame the catalogue does not build. A frame that met another master reached nobody and
    // goes out again, as the catalogue's commands do.
    bool Word(std::uint16_t word, bool query = false) {
        if (Failed()) return false;
        Result result = SendWord(word, query);
        std::int64_t waitMs = kCollisionFirstWaitMs;
        for (int again = 0; result == Result::Collision && again < kCollisionRetries; ++again) {
            m_terminal.context.scheduler.Sleep(waitMs);
            waitMs *= 2;
            result = SendWord(word, query);
        }
        if (result == Result::Done || (query && result == Result::CorruptFrame)) return true;
        LinkFailed();
        return false;
    }

    bool Command(std::int16_t commandId, std::uint8_t data, const ColourTarget& target) {
        if (Failed()) return false;
        const LineCommandResult sent =
            SendLineCommand(m_terminal, {commandId, data, target.kind, target.address});
        if (sent.sent == Result::Done) return true;
        LinkFailed();
        return false;
    }

    bool Dtr0(std::uint8_t value) { return Command(kCmdDataTransferRegister, value, {}); }
    // DTR1 and DTR0 with a 16-bit value.
    bool Value16(std::uint16_t value) {
        return Word(static_cast<std::uint16_t>((kDtr1Byte << 8) | (value >> 8))) &&
               Dtr0(static_cast<std::uint8_t>(value & 0xFF));
    }
    bool Extended(const ColourTarget& target, std::uint8_t command, bool twice = false,
                  bool query = false) {
        const std::uint16_t word = static_cast<std::uint16_t>((AddressByte(target) << 8) | command);
        if (!twice)
            return Word((kEnableDeviceTypeByte << 8) | kDeviceTypeColour) && Word(word, query);
        // The terminal repeats only the standard's configuration commands; a device-type command
        // that needs a repeat goes out twice from here, and the gear takes it only when the
        // second frame follows within 100 ms. The paced handshake waits longer than that between
        // two commands once the fieldbus takes its time, so the pair goes out with the quick one:
        // each frame as soon as the one before is acknowledged.
        Link& link = m_terminal.link;
        const Link::Pacing pacing = link.CurrentPacing();
        link.SetPacing(Link::Pacing::Quick);
        const bool sent =
            Word((kEnableDeviceTypeByte << 8) | kDeviceTypeColour) && Word(word) && Word(word);
        link.SetPacing(pacing);
        return sent;
    }

    // A query of the catalogue, asked again once when nobody answered.
    ReadByte Query(int shortAddress, std::int16_t commandId, std::uint8_t data = 0) {
        ReadByte read;
        for (int ask = 0; ask < 2 && !Failed(); ++ask) {
            const LineCommandResult result = QueryLine(
                m_terminal,
                {commandId, data, AddressKind::Short, static_cast<std::int16_t>(shortAddress)});
            if (!Note(result, read)) break;
        }
        return read;
    }
    // A query of the colour part.
    ReadByte ExtendedQuery(int shortAddress, std::uint8_t command) {
        ReadByte read;
        const ColourTarget target{AddressKind::Short, static_cast<std::int16_t>(shortAddress)};
        for (int ask = 0; ask < 2 && !Failed(); ++ask) {
            if (!Extended(target, command, false, true)) break;
            LineCommandResult result;
            ReceiveLineAnswer(m_terminal, result);
            if (!Note(result, read)) break;
        }
        return read;
    }
    // QUERY COLOUR VALUE: the high byte answers, the low one is read from DTR0 after it.
    std::optional<std::uint16_t> Value(int shortAddress, std::uint8_t selector) {
        if (!Dtr0(selector)) return std::nullopt;
        const ReadByte high = ExtendedQuery(shortAddress, kQueryColourValue);
        if (!high.Answered()) return std::nullopt;
        const ReadByte low = Query(shortAddress, kCmdQueryContentDtr);
        if (!low.Answered()) return std::nullopt;
        return static_cast<std::uint16_t>((high.value << 8) | low.value);
    }
    std::optional<ColourLimits> Limits(int shortAddress) {
        const auto coolest = Value(shortAddress, kValueCoolest);
        const auto warmest = Value(shortAddress, kValueWarmest);
        const auto physicalCoolest = Value(shortAddress, kValuePhysicalCoolest);
        const auto physicalWarmest = Value(shortAddress, kValuePhysicalWarmest);
        if (!coolest || !warmest || !physicalCoolest || !physicalWarmest) return std::nullopt;
        return ColourLimits{*coolest, *warmest, *physicalCoolest, *physicalWarmest};
    }

    // Asks the device type of a short address, and ends the run for no gear or another type.
    // check: what the caller reports; none when the gear is one of ours.
    std::optional<ColourCheck> CheckType(const ColourTarget& target,
                                         std::optional<std::uint8_t>& type) {
        ReadByte read;
        return CheckType(target, type, read);
    }
    std::optional<ColourCheck> CheckType(const ColourTarget& target,
                                         std::optional<std::uint8_t>& type, ReadByte& read) {
        read = Query(target.address, kCmdQueryDeviceType);
        type = read.Value();
        if (Failed()) return ColourCheck::Unread;
        const std::string where = ColourTargetText(target);
        switch (read.state) {
            case ReadState::NoAnswer:
                m_outcome.Fail(EngineFailure::Incomplete,
                               HostText(Lang(), "No gear answers at %1.", {where}));
                return ColourCheck::NoGear;
            case ReadState::SeveralAnswered:
                m_outcome.Fail(EngineFailure::Incomplete,
                               HostText(Lang(), "Several gear answer at %1.", {where}));
                return ColourCheck::Unread;
            default:
                break;
        }
        if (read.value != kDeviceTypeColour) {
            m_outcome.Fail(EngineFailure::Refused,
                           HostText(Lang(),
                                    "The gear at %1 is of device type %2, not 8 (colour "
                                    "temperature): it ignores colour commands. Nothing was sent.",
                                    {where, std::to_string(read.value)}));
            return ColourCheck::OtherType;
        }
        return std::nullopt;
    }

    void Unread(const ColourTarget& target) {
        m_outcome.Fail(EngineFailure::Incomplete,
                       HostText(Lang(), "The gear at %1 did not answer the read-back.",
                                {ColourTargetText(target)}));
    }

    static std::uint8_t AddressByte(const ColourTarget& target) {
        switch (target.kind) {
            case AddressKind::Short:
                return static_cast<std::uint8_t>((target.address << 1) | 1);
            case AddressKind::Group:
                return static_cast<std::uint8_t>(0x81 | (target.address << 1));
            default:
                return 0xFF;
        }
    }

  private:
    // The word goes to the terminal as it is: the catalogue builds none of these frames, and the
    // terminal repeats none of them.
    Result SendWord(std::uint16_t word, bool query) {
        return m_terminal.link.SendDALIWord(word, query);
    }

    // Takes one answer into read; false when asking again is pointless.
    bool Note(const LineCommandResult& result, ReadByte& read) {
        switch (result.answer) {
            case QueryAnswer::Byte:
                read = {ReadState::Answered, result.answerByte};
                return false;
            case QueryAnswer::None:
                read = {ReadState::NoAnswer, 0};
                return true;
            case QueryAnswer::Several:
                read = {ReadState::SeveralAnswered, 0};
                return false;
            default:
                read = {ReadState::LinkFailed, 0};
                LinkFailed();
                return false;
        }
    }

    void LinkFailed() {
        const bool lost = m_terminal.link.CommunicationLost();
        m_outcome.Fail(lost ? EngineFailure::CommunicationLost : EngineFailure::Error,
                       HostText(Lang(), "The terminal did not take a command."));
    }

    EngineTerminal& m_terminal;
    EngineOutcome& m_outcome;
};

// Refuses what cannot be sent; true when refused.
bool Refused(EngineTerminal& terminal, const ColourTarget& target, EngineOutcome& outcome) {
    if (RefusedOutsideDaliMode(terminal, outcome)) return true;
    if (CheckDALIAddress(target.kind, target.address) != Result::Done) {
        outcome.Fail(EngineFailure::Refused,
                     EngineMessage{0, "A short address is 0 to 63, a group 0 to 15."},
                     terminal.context.messages.GetLanguage());
        return true;
    }
    return false;
}

void RefuseMirek(EngineTerminal& terminal, EngineOutcome& outcome) {
    outcome.Fail(EngineFailure::Refused,
                 EngineMessage{0, "A colour temperature is 1 to 65534 mirek (16 K to 1000000 K)."},
                 terminal.context.messages.GetLanguage());
}

bool ValidMirek(std::uint16_t mirek) {
    return mirek >= 1 && mirek < kMirekMask;
}

}  // namespace

std::optional<std::uint16_t> MirekFromKelvin(std::int64_t kelvin) {
    if (kelvin <= 0) return std::nullopt;
    const std::int64_t mirek = (1000000 + kelvin / 2) / kelvin;
    if (mirek < 1 || mirek >= kMirekMask) return std::nullopt;
    return static_cast<std::uint16_t>(mirek);
}

int KelvinFromMirek(std::uint16_t mirek) {
    if (mirek == 0) return 0;
    return static_cast<int>((1000000 + mirek / 2) / mirek);
}

const char* ColourCheckName(ColourCheck check) {
    switch (check) {
        case ColourCheck::Taken:
            return "taken";
        case ColourCheck::Clamped:
            return "clamped";
        case ColourCheck::RefusedOutsideLimits:
            return "refused-outside-limits";
        case ColourCheck::NoGear:
            return "no-gear";
        case ColourCheck::OtherType:
            return "other-device-type";
        case ColourCheck::NotChecked:
            return "not-checked";
        case ColourCheck::NotTaken:
            return "not-taken";
        case ColourCheck::Unread:
            return "unread";
    }
    return "unknown";
}

std::string ColourTargetText(const ColourTarget& target) {
    switch (target.kind) {
        case AddressKind::Short:
            return "A" + std::to_string(target.address);
        case AddressKind::Group:
            return "G" + std::to_string(target.address);
        default:
            return "broadcast";
    }
}

ColourReadout ReadColour(EngineTerminal& terminal, int shortAddress,
                         const ColourReadOptions& options) {
    ColourReadout readout;
    readout.shortAddress = shortAddress;
    const ColourTarget target{AddressKind::Short, static_cast<std::int16_t>(shortAddress)};
    if (Refused(terminal, target, readout.outcome)) return readout;
    ColourLine line(terminal, readout.outcome);
    std::optional<std::uint8_t> type;
    if (const auto check = line.CheckType(target, type, readout.deviceType)) {
        readout.check = *check;
        return readout;
    }
    readout.actual = line.Value(shortAddress, kValueActual);
    readout.limits = line.Limits(shortAddress);
    // A level query puts the colour that goes with it into the report value.
    if (options.details && line.Query(shortAddress, kCmdQueryPowerOnLevel).Answered())
        readout.powerOn = line.Value(shortAddress, kValueReport);
    if (options.details && line.Query(shortAddress, kCmdQuerySystemFailureLevel).Answered())
        readout.systemFailure = line.Value(shortAddress, kValueReport);
    if (options.details) {
        if (const auto status = line.ExtendedQuery(shortAddress, kQueryColourStatus).Value())
            readout.outOfRange = (*status & 0x02) != 0;
        if (const auto features = line.ExtendedQuery(shortAddress, kQueryGearFeatures).Value())
            readout.automaticActivation = (*features & 0x01) != 0;
    }
    if (options.scenes) {
        for (int scene = 0; scene < 16 && !line.Failed(); ++scene) {
            const auto level =
                line.Query(shortAddress, kCmdQuerySceneLevel, static_cast<std::uint8_t>(scene))
                    .Value();
            readout.sceneLevels[static_cast<std::size_t>(scene)] = level;
            if (level && *level != kDaliMask)
                readout.scenes[static_cast<std::size_t>(scene)] =
                    line.Value(shortAddress, kValueReport);
        }
    }
    if (!line.Failed() && (!readout.actual || !readout.limits)) {
        readout.check = ColourCheck::Unread;
        line.Unread(target);
    }
    return readout;
}

ColourSetResult SetColourTemperature(EngineTerminal& terminal, const ColourTarget& target,
                                     std::uint16_t mirek, const ColourOptions& options) {
    ColourSetResult result;
    result.target = target;
    result.asked = mirek;
    if (Refused(terminal, target, result.outcome)) return result;
    if (!ValidMirek(mirek)) {
        RefuseMirek(terminal, result.outcome);
        return result;
    }
    ColourLine line(terminal, result.outcome);
    const bool single = target.kind == AddressKind::Short;
    if (single && options.checkType) {
        if (const auto check = line.CheckType(target, result.deviceType)) {
            result.check = *check;
            return result;
        }
        result.limits = line.Limits(target.address);
        if (options.refuseOutsideLimits && result.limits && !result.limits->Contains(mirek)) {
            result.check = ColourCheck::RefusedOutsideLimits;
            result.outcome.Fail(
                EngineFailure::Refused,
                HostText(line.Lang(),
                         "%1 lies outside the limits of %2, %3 to %4. Nothing was sent.",
                         {MirekText(line.Lang(), mirek), ColourTargetText(target),
                          MirekText(line.Lang(), result.limits->warmest),
                          MirekText(line.Lang(), result.limits->coolest)}));
            return result;
        }
    }
    if (!line.Value16(mirek) || !line.Extended(target, kSetTemporaryTc) ||
        !line.Extended(target, kActivate))
        return result;
    if (!single || !options.readBack) {
        result.check = ColourCheck::NotChecked;
        return result;
    }
    result.actual = line.Value(target.address, kValueActual);
    if (!result.actual) {
        result.check = ColourCheck::Unread;
        line.Unread(target);
    } else if (*result.actual == mirek) {
        result.check = ColourCheck::Taken;
    } else if (result.limits && !result.limits->Contains(mirek) &&
               (*result.actual == result.limits->coolest ||
                *result.actual == result.limits->warmest)) {
        result.check = ColourCheck::Clamped;
    } else {
        result.check = ColourCheck::NotTaken;
        result.outcome.Fail(
            EngineFailure::Incomplete,
            HostText(line.Lang(), "%1 shows %2 instead of %3.",
                     {ColourTargetText(target), MirekText(line.Lang(), *result.actual),
                      MirekText(line.Lang(), mirek)}));
    }
    return result;
}

ColourLimitsResult SetColourLimits(EngineTerminal& terminal, const ColourTarget& target,
                                   const ColourLimitsChange& change, const ColourOptions& options) {
    ColourLimitsResult result;
    result.target = target;
    result.asked = change;
    if (Refused(terminal, target, result.outcome)) return result;
    for (const auto& value :
         {change.coolest, change.warmest, change.physicalCoolest, change.physicalWarmest}) {
        if (value && !ValidMirek(*value)) {
            RefuseMirek(terminal, result.outcome);
            return result;
        }
    }
    ColourLine line(terminal, result.outcome);
    const bool single = target.kind == AddressKind::Short;
    if (single) {
        if (const auto check = line.CheckType(target, result.deviceType)) {
            result.check = *check;
            return result;
        }
        result.before = line.Limits(target.address);
    }
    const auto store = [&](std::uint8_t which, std::uint16_t value) {
        return line.Value16(value) &&
               line.Word(static_cast<std::uint16_t>((kDtr2Byte << 8) | which)) &&
               line.Extended(target, kStoreTcLimit, true);
    };
    // The gear keeps its limits in order, so each is stored where the order lets it stand: the
    // physical ones first, then the configured ones, the one that moves away from the other
    // first.
    const auto storeAll = [&] {
        if (change.physicalWarmest) store(kLimitPhysicalWarmest, *change.physicalWarmest);
        if (change.physicalCoolest) store(kLimitPhysicalCoolest, *change.physicalCoolest);
        const bool warmestFirst =
            change.coolest && result.before && *change.coolest > result.before->warmest;
        if (warmestFirst && change.warmest) store(kLimitWarmest, *change.warmest);
        if (change.coolest) store(kLimitCoolest, *change.coolest);
        if (!warmestFirst && change.warmest) store(kLimitWarmest, *change.warmest);
    };
    storeAll();
    if (line.Failed()) return result;
    if (!single || !options.readBack) {
        result.check = ColourCheck::NotChecked;
        return result;
    }
    result.after = line.Limits(target.address);
    if (!result.after) {
        result.check = ColourCheck::Unread;
        line.Unread(target);
        return result;
    }
    const auto holds = [&](const ColourLimits& limits) {
        return (!change.coolest || limits.coolest == *change.coolest) &&
               (!change.warmest || limits.warmest == *change.warmest) &&
               (!change.physicalCoolest || limits.physicalCoolest == *change.physicalCoolest) &&
               (!change.physicalWarmest || limits.physicalWarmest == *change.physicalWarmest);
    };
    result.check = holds(*result.after) ? ColourCheck::Taken : ColourCheck::Clamped;
    if (result.check == ColourCheck::Clamped && result.before == result.after) {
        // Nothing moved at all: the gear did not take the stores, rather than keeping an order.
        result.check = ColourCheck::NotTaken;
        result.outcome.Fail(EngineFailure::Incomplete,
                            HostText(line.Lang(),
                                     "%1 did not take the limits: the repeat of each store must "
                                     "reach the gear within 100 ms.",
                                     {ColourTargetText(target)}));
    } else if (result.check == ColourCheck::Clamped) {
        result.outcome.Fail(
            EngineFailure::Incomplete,
            HostText(line.Lang(),
                     "%1 keeps its limits in order (physical coolest, coolest, warmest, physical "
                     "warmest) and holds other limits than asked.",
                     {ColourTargetText(target)}));
    }
    return result;
}

SceneColourResult StoreSceneColour(EngineTerminal& terminal, const ColourTarget& target, int scene,
                                   std::uint8_t level, std::optional<std::uint16_t> mirek,
                                   const ColourOptions& options) {
    SceneColourResult result;
    result.target = target;
    result.scene = scene;
    result.level = level;
    result.asked = mirek;
    if (Refused(terminal, target, result.outcome)) return result;
    const Language lang = terminal.context.messages.GetLanguage();
    if (scene < 0 || scene > 15 || level == kDaliMask) {
        result.outcome.Fail(EngineFailure::Refused,
                            EngineMessage{0, "A scene is 0 to 15 and its level 0 to 254."}, lang);
        return result;
    }
    if (mirek && !ValidMirek(*mirek)) {
        RefuseMirek(terminal, result.outcome);
        return result;
    }
    ColourLine line(terminal, result.outcome);
    const bool single = target.kind == AddressKind::Short;
    std::optional<ColourLimits> limits;
    if (single) {
        if (const auto check = line.CheckType(target, result.deviceType)) {
            result.check = *check;
            return result;
        }
        if (mirek) limits = line.Limits(target.address);
        result.outsideLimits = mirek && limits && !limits->Contains(*mirek);
        if (result.outsideLimits && options.refuseOutsideLimits) {
            result.check = ColourCheck::RefusedOutsideLimits;
            result.outcome.Fail(
                EngineFailure::Refused,
                HostText(lang, "%1 lies outside the limits of %2, %3 to %4. Nothing was sent.",
                         {MirekText(lang, *mirek), ColourTargetText(target),
                          MirekText(lang, limits->warmest), MirekText(lang, limits->coolest)}));
            return result;
        }
    }
    if (mirek && (!line.Value16(*mirek) || !line.Extended(target, kSetTemporaryTc))) return result;
    if (!line.Dtr0(level) ||
        !line.Command(kCmdStoreDtrAsScene, static_cast<std::uint8_t>(scene), target))
        return result;
    if (!single || !options.readBack) {
        result.check = ColourCheck::NotChecked;
        return result;
    }
    result.levelRead =
        line.Query(target.address, kCmdQuerySceneLevel, static_cast<std::uint8_t>(scene)).Value();
    if (result.levelRead) result.colourRead = line.Value(target.address, kValueReport);
    if (!result.levelRead || !result.colourRead) {
        result.check = ColourCheck::Unread;
        line.Unread(target);
    } else if (*result.levelRead == level && (!mirek || *result.colourRead == *mirek)) {
        result.check = ColourCheck::Taken;
    } else {
        result.check = ColourCheck::NotTaken;
        result.outcome.Fail(EngineFailure::Incomplete,
                            HostText(lang, "%1 did not take scene %2.",
                                     {ColourTargetText(target), std::to_string(scene)}));
    }
    return result;
}

}  // namespace zd
