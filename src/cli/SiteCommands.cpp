#include "cli/SiteCommands.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "engine/Identify.h"
#include "engine/LineCommands.h"
#include "maintenance/SiteNames.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

std::int16_t ShortOption(const CommandArguments& arguments, const std::string& command) {
    const auto text = arguments.Value("--short");
    if (!text) throw UsageError(command + " needs --short A");
    return static_cast<std::int16_t>(ParseNumber(*text, 0, 63, "--short"));
}

SiteFile LoadSiteForCommand(const std::string& path) {
    try {
        return LoadSiteFile(path);
    } catch (const ControlError& error) {
        throw CommandFailed(error.Description() + "; the site file was left as it is",
                            {{"site", path}, {"failedStep", "site"}});
    }
}

}  // namespace

std::string SitePath(HeadlessSession& session) {
    const std::string& given = session.Options().connection.siteFile;
    return given.empty() ? DefaultSitePath(session.Registry().FileName()) : given;
}

void UpdateSiteNames(const std::string& command, HeadlessSession& session, Json& document) {
    const std::string path = SitePath(session);
    const std::int32_t position = session.Line().Terminal().position;
    SiteFile site;
    std::vector<SiteGear> gear;
    try {
        site = LoadSiteFile(path);
        const bool movesAddresses = command.rfind("address", 0) == 0 || command == "replace";
        if (movesAddresses && site.HasPosition(position) &&
            session.State().m_nOperationMode == kModeDali) {
            std::vector<std::int16_t> replaced;
            if (command == "replace" && document.contains("shortAddress") &&
                document.at("shortAddress").is_number_integer())
                replaced.push_back(document.at("shortAddress").get<std::int16_t>());
            gear = ReadListedGear(session);
            const std::lock_guard<std::mutex> guard(SiteFileMutex());
            site = LoadSiteFile(path);
            const std::vector<SiteMove> moves = FollowSiteGear(site, position, gear, replaced);
            if (!moves.empty()) {
                SaveSiteFile(path, site);
                document["siteMoves"] = SiteMovesJson(moves);
            }
        }
    } catch (const ControlError& error) {
        document["siteWarning"] =
            error.Description() + "; names are left out and the site file is left as it is";
        return;
    }
    // A name is shown only on its own gear: the random addresses not known yet are read.
    if (gear.empty() && session.State().m_nOperationMode == kModeDali &&
        !session.Line().TerminalLink().CommunicationLost()) {
        const std::vector<std::int16_t> check = AddressesToCheck(document, site, position);
        if (!check.empty()) gear = ReadSiteGear(session.Line().Terminal(), check);
    }
    AddSiteNames(document, site, position, gear);
}

PreparedCommand PrepareIdentify(const CommandArguments& arguments) {
    IdentifyOptions options;
    options.shortAddress = ShortOption(arguments, "identify");
    if (const auto seconds = arguments.Value("--seconds"))
        options.seconds = ParseNumber(*seconds, 1, kIdentifyMaxSeconds, "--seconds");
    if (const auto mode = arguments.Value("--mode")) {
        const auto named = IdentifyModeNamed(*mode);
        if (!named) throw UsageError("--mode takes flash, max or others-off");
        options.mode = *named;
    }
    return [options](HeadlessSession& session) {
        const Language language = session.Catalogue().GetLanguage();
        const std::string what = HostText(language, "identify");
        const IdentifyReport report = RunIdentify(
            session.Line(), options,
            [&](const ProgressState& progress) {
                session.ShowProgress(
                    {what,
                     HostText(language, "short address %1", {std::to_string(options.shortAddress)}),
                     progress.fraction, language});
            },
            [&] { return session.StopRequested(what); });
        session.EndEngineRun();
        if (report.outcome.failure == EngineFailure::Refused) throw UsageError(report.outcome.text);
        Json levels = Json::array();
        for (const IdentifyLevel& level : report.levels)
            levels.push_back({{"shortAddress", level.shortAddress},
                              {"level", level.level},
                              {"restored", level.restored}});
        Json document = {{"shortAddress", options.shortAddress},
                         {"mode", IdentifyModeName(options.mode)},
                         {"seconds", options.seconds},
                         {"identifyDevice", report.identifyDevice},
                         {"version", report.version ? Json(*report.version) : Json()},
                         {"shownMs", report.shownMs},
                         {"levels", levels}};
        if (!report.outcome.Ok()) throw CommandFailed(report.outcome.text, document);
        return document;
    };
}

PreparedCommand PrepareName(const CommandArguments& arguments) {
    SiteNaming naming;
    naming.shortAddress = ShortOption(arguments, "name");
    if (!arguments.words.empty()) naming.name = arguments.words.front();
    naming.room = arguments.Value("--room");
    naming.floor = arguments.Value("--floor");
    naming.note = arguments.Value("--note");
    if (!naming.name && !naming.room && !naming.floor && !naming.note)
        throw UsageError("name needs the name TEXT, --room, --floor or --note");
    const std::pair<const char*, const std::optional<std::string>*> texts[] = {
        {"the name", &naming.name},
        {"--room", &naming.room},
        {"--floor", &naming.floor},
        {"--note", &naming.note}};
    for (const auto& [what, text] : texts) {
        if (!*text) continue;
        if (const auto refusal = SiteTextRefusal(**text))
            throw UsageError(std::string(what) + " cannot be used: " + *refusal);
    }
    return [naming](HeadlessSession& session) mutable {
        const std::string path = SitePath(session);
        // A site file that cannot be read is not written over: the names it holds stay.
        LoadSiteForCommand(path);
        naming.position = session.Line().Terminal().position;
        EngineTerminal& terminal = session.Line().Terminal();
        if (session.State().m_nOperationMode == kModeDali) {
            // The random address lets the name follow its gear; a gear that does not tell it is
            // named by its address alone.
            naming.randomAddress = ReadRandomAddress(terminal, naming.shortAddress);
            if (!naming.randomAddress &&
                QueryLine(terminal, {kCmdQueryBallast, 0, AddressKind::Short, naming.shortAddress})
                        .answer != QueryAnswer::Byte) {
                throw UsageError(HostText(session.Catalogue().GetLanguage(),
                                          "No device answers at short address %1.",
                                          {std::to_string(naming.shortAddress)}));
            }
        }
        const std::lock_guard<std::mutex> guard(SiteFileMutex());
        SiteFile site = LoadSiteForCommand(path);
        const SiteEntry& entry = ApplySiteNaming(site, naming);
        Json document = {{"site", path}, {"shortAddress", naming.shortAddress}};
        document.update(SiteEntryJson(entry));
        if (entry.randomAddress) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(*entry.randomAddress));
            document["randomAddress"] = text;
        }
        SaveSiteFile(path, site);
        // Naming reads; the device list the store holds stays as it was.
        session.KeepStoredDeviceList();
        return document;
    };
}

void NameBackup(HeadlessSession& session, LineBackup& backup) {
    try {
        AddSiteNamesToBackup(backup, LoadSiteFile(SitePath(session)),
                             session.Line().Terminal().position);
    } catch (const ControlError&) {
        // The document says so when the command ends (UpdateSiteNames).
    }
}

void RestoreBackupNames(HeadlessSession& session, const LineBackup& backup, Json& document) {
    if (std::none_of(backup.devices.begin(), backup.devices.end(),
                     [](const DeviceBackup& device) { return device.luminaire.has_value(); }))
        return;
    const std::string path = SitePath(session);
    const std::int32_t position = session.Line().Terminal().position;
    // A gear that took the place of the backup's (replaced) carries its luminaire's name on.
    std::vector<std::int16_t> replaced;
    for (const Json& plan : document.value("plan", Json::array()))
        if (plan.value("state", "") == "replaced")
            replaced.push_back(plan.at("shortAddress").get<std::int16_t>());
    try {
        const std::vector<SiteGear> gear = ReadListedGear(session);
        const std::lock_guard<std::mutex> guard(SiteFileMutex());
        SiteFile site = LoadSiteFile(path);
        const std::size_t restored = RestoreSiteNames(backup, site, position);
        if (restored == 0) return;
        FollowSiteGear(site, position, gear, replaced);
        SaveSiteFile(path, site);
        document["namesRestored"] = restored;
    } catch (const ControlError& error) {
        document["siteWarning"] = error.Description() +
                                  "; the backup's names were not put back and the site file is "
                                  "left as it is";
    }
}

}  // namespace zd
