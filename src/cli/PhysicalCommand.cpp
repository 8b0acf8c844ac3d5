// Physical selection from the command line: the procedure of the addressing tab waits for a
// person to take a lamp out and put it back, lamp after lamp. On the simulated line the person is
// a script that takes out the lamps named on the command line a few seconds (of virtual time)
// after the control asks for one; over Modbus a real person does, and the run ends when nobody
// has done anything for the timeout or the lamps asked for are addressed.
#include <algorithm>
#include <limits>

#include "cli/DeviceCommands.h"
#include "engine/PhysicalSelection.h"
#include "link/Commands.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

constexpr int kDefaultTimeoutS = 120;
constexpr int kDefaultLampDelayS = 5;

// A lamp the script takes out: the gear at a short address, or the gear at a place of the line
// file's list (counted from 1, as zd4270-sim --fault counts), for gear that have no address yet.
struct ScriptedLamp {
    bool byIndex = false;
    int number = 0;
};

ScriptedLamp ParseScriptedLamp(const std::string& text) {
    ScriptedLamp lamp;
    if (text.rfind("index:", 0) == 0) {
        lamp.byIndex = true;
        lamp.number = ParseNumber(text.substr(6), 1, 1024, "--remove-lamp index");
    } else {
        lamp.number = ParseNumber(text, 0, kMaxShortAddress, "--remove-lamp");
    }
    return lamp;
}

HostWording LampName(const ScriptedLamp& lamp) {
    return HostWording(
        lamp.byIndex ? "gear number %1 of the line file" : "gear at short address %1",
        {std::to_string(lamp.number)});
}

// The simulated gear's id for each scripted lamp, found before the run changes any address.
std::vector<int> ResolveLamps(sim::Terminal& terminal, const std::vector<ScriptedLamp>& lamps) {
    const auto& gear = terminal.GetLine().Gear();
    std::vector<int> ids;
    for (const ScriptedLamp& lamp : lamps) {
        std::optional<int> id;
        if (lamp.byIndex) {
            if (static_cast<std::size_t>(lamp.number) <= gear.size())
                id = gear[static_cast<std::size_t>(lamp.number - 1)]->Id();
        } else {
            for (const auto& ballast : gear)
                if (ballast->ShortAddress() == lamp.number) id = ballast->Id();
        }
        if (!id) throw CommandFailed(HostWording("the simulated line has no %1", {LampName(lamp)}));
        if (std::find(ids.begin(), ids.end(), *id) != ids.end())
            throw CommandFailed(HostWording("the %1 is named twice", {LampName(lamp)}));
        ids.push_back(*id);
    }
    return ids;
}

Json LampRowsJson(const std::vector<std::pair<std::int16_t, std::int16_t>>& lamps) {
    Json rows = Json::array();
    for (const auto& [lamp, address] : lamps)
        rows.push_back({{"lamp", lamp}, {"shortAddress", address}});
    return rows;
}

}  // namespace

PreparedCommand PrepareAddressPhysical(const CommandArguments& arguments) {
    const auto startText = arguments.Value("--start");
    const int start = startText ? ParseNumber(*startText, 0, kMaxShortAddress, "--start") : 0;
    const bool newInstallation = arguments.Has("--new-installation");
    const bool deleteGroups = arguments.Has("--delete-groups");
    const bool deleteScenes = arguments.Has("--delete-scenes");
    // A new installation deletes every short address on the line before the first lamp.
    if (newInstallation && !arguments.Has("--yes")) {
        throw UsageError(
            "address physical --new-installation deletes every short address on the line; "
            "confirm with --yes",
            {});
    }
    std::vector<ScriptedLamp> script;
    if (const auto text = arguments.Value("--remove-lamp"))
        script = ParseList(*text, "--remove-lamp", ParseScriptedLamp);
    const auto lampsText = arguments.Value("--lamps");
    const std::optional<int> lampsWanted =
        lampsText ? std::optional<int>(ParseNumber(*lampsText, 1, 64, "--lamps")) : std::nullopt;
    const auto timeoutText = arguments.Value("--timeout");
    const std::int64_t timeoutMs =
        1000LL *
        (timeoutText ? ParseNumber(*timeoutText, 1, 24 * 3600, "--timeout") : kDefaultTimeoutS);
    const auto delayText = arguments.Value("--lamp-delay");
    const std::int64_t lampDelayMs =
        1000LL *
        (delayText ? ParseNumber(*delayText, 0, 3600, "--lamp-delay") : kDefaultLampDelayS);
    if (delayText && script.empty()) throw UsageError("--lamp-delay goes with --remove-lamp", {});

    return [=](HeadlessSession& session) {
        const MessageCatalogue& msg = session.GetContext().messages;
        sim::Terminal* terminal = session.SimulatedTerminal();
        const std::vector<int> gearIds =
            terminal ? ResolveLamps(*terminal, script) : std::vector<int>{};
        // Without a count the run ends when nobody takes a lamp out any more.
        const int wanted = lampsWanted.value_or(script.empty() ? std::numeric_limits<int>::max()
                                                               : static_cast<int>(script.size()));

        const std::size_t mark = session.BoxCount();
        // The person (or the script) reads the status line, as on the addressing tab.
        const std::string waitingForRemoval = msg.Load(5081) + "...";
        const std::string waitingForReinsertion = msg.Load(5082) + "...";
        const Language language = msg.GetLanguage();
        const std::string what = HostText(language, "physical selection");
        std::size_t removed = 0;
        std::size_t reinserted = 0;
        ProgressState current;
        std::string lastStatus;
        int lastCount = 0;
        std::int64_t lastChangeMs = session.Clock().Now();
        bool timedOut = false;
        bool started = false;
        const PhysicalSelectionReport report = RunPhysicalSelection(
            session.Line(),
            {static_cast<std::int16_t>(start), newInstallation, deleteGroups, deleteScenes},
            session.Connection().LoggingAddressing(), session.AddressingLogPath(),
            [&](const ProgressState& progress) {
                current = progress;
                if (!started) {
                    started = true;
                    lastStatus = progress.detail;
                }
                std::string detail =
                    HostText(language, "%1 addressed", {std::to_string(progress.lamps.size())});
                if (!progress.detail.empty()) detail += ", " + progress.detail;
                session.ShowProgress({what, detail, std::nullopt, language});
            },
            [&] {
                if (session.StopRequested(what)) return true;
                const std::int64_t now = session.Clock().Now();
                const std::string& status = current.detail;
                const int count = static_cast<int>(current.lamps.size());
                if (status != lastStatus || count != lastCount) {
                    lastStatus = status;
                    lastCount = count;
                    lastChangeMs = now;
                }
                if (count >= wanted && status == waitingForRemoval) return true;
                if (terminal && status == waitingForRemoval && removed == reinserted &&
                    removed < gearIds.size() && static_cast<int>(removed) == count) {
                    terminal->ScheduleLamp(gearIds[removed++], sim::LampState::Removed,
                                           now + lampDelayMs);
                }
                if (terminal && status == waitingForReinsertion && reinserted < removed) {
                    terminal->ScheduleLamp(gearIds[reinserted++], sim::LampState::Present,
                                           now + lampDelayMs);
                }
                timedOut = now - lastChangeMs >= timeoutMs;
                return timedOut;
            });
        std::vector<std::int16_t> given;
        for (const auto& [number, address] : report.lamps) given.push_back(address);
        if (report.outcome.failure != EngineFailure::Refused)
            session.NoteAddressesGiven(given, newInstallation);
        session.EndEngineRun();
        if (report.outcome.failure == EngineFailure::Refused)
            throw CommandFailed(ForConsole(report.outcome.text));
        FailOnErrorBox(session, mark);

        Json document = {{"startAddress", start},
                         {"lamps", LampRowsJson(report.lamps)},
                         {"recovered", RecoveredJson(session.Line())}};
        const int addressed = static_cast<int>(report.lamps.size());
        RunDeviceScan(session, {true, false});
        document["devices"] = DevicesJson(session.State());
        const bool enough = lampsWanted || !script.empty() ? addressed >= wanted : addressed > 0;
        if (!enough) {
            std::string reason =
                wanted != std::numeric_limits<int>::max()
                    ? HostText(language, "%1 of %2 lamp(s) addressed",
                               {std::to_string(addressed), std::to_string(wanted)})
                    : HostText(language, "%1 lamp(s) addressed", {std::to_string(addressed)});
            if (timedOut) {
                reason = HostText(language, "%1: nothing happened for %2 s (%3)",
                                  {reason, std::to_string(timeoutMs / 1000), lastStatus});
            } else if (const auto notice = LastNoticeText(report.outcome, language)) {
                reason += ": " + *notice;
            }
            throw CommandFailed(reason, document);
        }
        return document;
    };
}

}  // namespace zd
