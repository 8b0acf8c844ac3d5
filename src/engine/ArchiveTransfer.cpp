#include "engine/ArchiveTransfer.h"

#include <algorithm>

#include "link/Commands.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

constexpr int kUploadStepsPerAddress = kDeviceSceneCount;
constexpr int kDownloadStepsPerAddress = kDeviceSceneCount + kDeviceGroupCount;

// The transaction of a transfer: a command to one short address, and a query's answer. A frame
// that met another master on the line reached no gear and goes out again.
Result SendTo(Link& link, std::int16_t commandId, std::uint8_t data, std::int16_t address) {
    AddressKind kind = AddressKind::Short;
    int again = 0;
    return link.SendDALICommandAgainOnCollision(commandId, data, kind, address, nullptr, again);
}

Result QueryOf(Link& link, std::int16_t commandId, std::uint8_t data, std::int16_t address,
               std::uint8_t& answer) {
    const Result result = SendTo(link, commandId, data, address);
    if (result != Result::Done) return result;
    return link.ReceiveDALIData(answer, nullptr);
}

// The progress bar moves, then the user interface processes its messages: the window stays alive
// and the watchdog runs between the transactions.
void Step(EngineTerminal& terminal, const ArchiveTransferOptions& options,
          ArchiveDirection direction, std::int16_t address, int done,
          const ArchiveBallast* read = nullptr) {
    if (options.progress) {
        const int total =
            kArchiveAddresses * (direction == ArchiveDirection::Upload ? kUploadStepsPerAddress
                                                                       : kDownloadStepsPerAddress);
        ProgressState now;
        now.stage =
            direction == ArchiveDirection::Upload ? ProgressStage::Reading : ProgressStage::Writing;
        now.address = address;
        now.done = done;
        now.total = total;
        now.fraction = static_cast<double>(done) / total;
        now.archiveRead = read;
        options.progress(now);
    }
    terminal.context.scheduler.DoEvents();
}

// Runs the transfer's addresses inside one procedure of the link; an error ends it with its box.
template <class Body>
void RunProcedure(EngineTerminal& terminal, const ArchiveTransferOptions& options,
                  EngineOutcome& outcome, Body&& body) {
    terminal.link.BeginProcedure();
    try {
        body();
    } catch (...) {
        terminal.link.EndProcedure();
        ReportCurrentException(terminal.context, options.errorProcedure);
        outcome.Fail(EngineFailure::Error,
                     EngineMessage{0, "the archive transfer ended with an error"},
                     terminal.context.messages.GetLanguage());
        return;
    }
    terminal.link.EndProcedure();
    if (terminal.link.CommunicationLost())
        outcome.Fail(EngineFailure::CommunicationLost,
                     EngineMessage{0, "the connection to the terminal was lost"},
                     terminal.context.messages.GetLanguage());
}

}  // namespace

ArchiveBallast ArchiveBallast::Empty() {
    ArchiveBallast ballast;
    ballast.scenes.fill(kArchiveNotInScene);
    ballast.groups.fill(false);
    return ballast;
}

bool ArchiveBallast::HoldsAnything() const {
    const auto inScene = [](const std::optional<std::uint8_t>& level) {
        return level && *level != kArchiveNotInScene;
    };
    const auto member = [](const std::optional<bool>& group) { return group.value_or(false); };
    return std::any_of(scenes.begin(), scenes.end(), inScene) ||
           std::any_of(groups.begin(), groups.end(), member);
}

std::vector<std::int16_t> ArchiveUnlistedDevices(const Archive& archive, const ModuleState& state) {
    std::vector<std::int16_t> unlisted;
    if (!archive.listed || !state.devices) return unlisted;
    for (const auto& [key, device] : state.devices->Items()) {
        if (archive.listed->count(device->m_nShortAddress) == 0)
            unlisted.push_back(device->m_nShortAddress);
    }
    std::sort(unlisted.begin(), unlisted.end());
    return unlisted;
}

EngineNotice ArchiveClearingQuestion(const std::vector<std::int16_t>& unlisted) {
    std::string addresses;
    for (const std::int16_t address : unlisted)
        addresses += (addresses.empty() ? "" : ", ") + std::to_string(address);
    return {EngineFailure::None,
            {msg::kArchiveClearsDevices, {}, {std::to_string(unlisted.size()), addresses}},
            NoticeWeight::Question};
}

const char* ArchiveAddressStateName(ArchiveAddressState state) {
    switch (state) {
        case ArchiveAddressState::Done:
            return "done";
        case ArchiveAddressState::NoAnswer:
            return "no-answer";
        case ArchiveAddressState::NotAsked:
            return "not-asked";
    }
    return "unknown";
}

namespace {

// Asked between two addresses: a cancel, or a connection already lost (its box has been shown),
// ends the transfer, and the addresses left stay not asked rather than each failing with a box of
// its own.
bool EndsBeforeAddress(const ArchiveTransferOptions& options, const Link& link,
                       const char* direction, EngineOutcome& outcome, Language language) {
    if (options.cancel && options.cancel()) {
        outcome.Fail(EngineFailure::Cancelled,
                     HostText(language, std::string_view(direction) == "upload"
                                            ? "the archive upload was cancelled"
                                            : "the archive download was cancelled"));
        return true;
    }
    if (link.CommunicationLost()) {
        outcome.Fail(EngineFailure::CommunicationLost,
                     EngineMessage{0, "the connection to the terminal was lost"}, language);
        return true;
    }
    return false;
}

}  // namespace

ArchiveUploadReport UploadArchive(EngineTerminal& terminal, const ArchiveTransferOptions& options) {
    ArchiveUploadReport report;
    report.addresses.fill(ArchiveAddressState::NotAsked);
    if (RefusedOutsideDaliMode(terminal, report.outcome)) return report;
    Link& link = terminal.link;
    RunProcedure(terminal, options, report.outcome, [&] {
        for (std::int16_t address = 0; address < kArchiveAddresses; ++address) {
            if (EndsBeforeAddress(options, link, "upload", report.outcome,
                                  terminal.context.messages.GetLanguage()))
                return;
            ArchiveBallast& ballast = report.archive.ballasts[static_cast<std::size_t>(address)];
            const int first = address * kUploadStepsPerAddress;
            int scene = 0;
            bool failed = false;
            for (; scene < kDeviceSceneCount; ++scene) {
                std::uint8_t level = 0;
                if (QueryOf(link, kCmdQuerySceneLevel, static_cast<std::uint8_t>(scene), address,
                            level) != Result::Done) {
                    failed = true;
                    break;
                }
                ballast.scenes[static_cast<std::size_t>(scene)] =
                    level > 254 ? kArchiveNotInScene : level;
                Step(terminal, options, ArchiveDirection::Upload, address, first + scene + 1,
                     &ballast);
            }
            if (failed) {
                ballast = ArchiveBallast{};
                report.addresses[static_cast<std::size_t>(address)] = ArchiveAddressState::NoAnswer;
                Step(terminal, options, ArchiveDirection::Upload, address, first + scene + 1);
                continue;
            }
            const std::int16_t groupQueries[] = {kCmdQueryGroups0To7, kCmdQueryGroups8To15};
            for (int half = 0; half < 2; ++half) {
                std::uint8_t bits = 0;
                if (QueryOf(link, groupQueries[half], 0, address, bits) != Result::Done) continue;
                for (int bit = 0; bit < 8; ++bit)
                    ballast.groups[static_cast<std::size_t>(half * 8 + bit)] = (bits >> bit) & 1;
            }
            report.addresses[static_cast<std::size_t>(address)] = ArchiveAddressState::Done;
        }
    });
    return report;
}

ArchiveDownloadReport DownloadArchive(EngineTerminal& terminal, const Archive& archive,
                                      const ArchiveTransferOptions& options) {
    ArchiveDownloadReport report;
    report.addresses.fill(ArchiveAddressState::NotAsked);
    if (RefusedOutsideDaliMode(terminal, report.outcome)) return report;
    const std::vector<std::int16_t> unlisted = ArchiveUnlistedDevices(archive, terminal.state);
    if (!unlisted.empty() && options.confirmClearing) {
        const EngineNotice question = ArchiveClearingQuestion(unlisted);
        report.outcome.notices.push_back(question);
        if (!options.confirmClearing(question)) {
            report.outcome.Fail(EngineFailure::Cancelled,
                                EngineMessage{0, "the archive download was cancelled"},
                                terminal.context.messages.GetLanguage());
            return report;
        }
    }
    Link& link = terminal.link;
    RunProcedure(terminal, options, report.outcome, [&] {
        for (std::int16_t address = 0; address < kArchiveAddresses; ++address) {
            if (EndsBeforeAddress(options, link, "download", report.outcome,
                                  terminal.context.messages.GetLanguage()))
                return;
            const std::size_t index = static_cast<std::size_t>(address);
            const int first = address * kDownloadStepsPerAddress;
            Step(terminal, options, ArchiveDirection::Download, address, first);
            std::uint8_t answer = 0;
            if (QueryOf(link, kCmdQueryBallast, 0, address, answer) != Result::Done) {
                report.addresses[index] = ArchiveAddressState::NoAnswer;
                continue;
            }
            report.addresses[index] = ArchiveAddressState::Done;
            if (archive.listed && archive.listed->count(address) == 0)
                report.cleared.push_back(address);
            const ArchiveBallast& ballast = archive.ballasts[index];
            int& failures = report.failedCommands[index];
            for (int scene = 0; scene < kDeviceSceneCount; ++scene) {
                Step(terminal, options, ArchiveDirection::Download, address, first + scene);
                const std::optional<std::uint8_t> level =
                    ballast.scenes[static_cast<std::size_t>(scene)];
                if (!level) continue;
                // The level goes through the DTR; only a DTR that was set is stored.
                if (SendTo(link, kCmdDataTransferRegister, *level, address) != Result::Done) {
                    ++failures;
                    continue;
                }
                if (SendTo(link, kCmdStoreDtrAsScene, static_cast<std::uint8_t>(scene), address) !=
                    Result::Done)
                    ++failures;
            }
            for (int group = 0; group < kDeviceGroupCount; ++group) {
                Step(terminal, options, ArchiveDirection::Download, address,
                     first + kDeviceSceneCount + group);
                const std::optional<bool> member = ballast.groups[static_cast<std::size_t>(group)];
                if (!member) continue;
                if (SendTo(link, *member ? kCmdAddToGroup : kCmdRemoveFromGroup,
                           static_cast<std::uint8_t>(group), address) != Result::Done)
                    ++failures;
            }
        }
    });
    return report;
}

}  // namespace zd
