#include "report/ColourReport.h"

#include "engine/ColourTemperature.h"
#include "maintenance/ColourBackup.h"
#include "maintenance/DeviceJson.h"
#include "platform/HostTexts.h"

namespace zd {

void AddColourToReport(ControlRun& run, int address, Json& device) {
    EngineTerminal terminal = RunTerminal(run);
    const ColourReadout read = ReadColour(terminal, address);
    if (!read.outcome.Ok() || !read.actual || !read.limits) {
        device["problems"].push_back("the colour temperature could not be read" +
                                     (read.outcome.text.empty() ? "" : ": " + read.outcome.text));
        return;
    }
    device["colour"] = {{"kelvin", KelvinFromMirek(*read.actual)},
                        {"mirek", *read.actual},
                        {"coolest", ColourValueJson(read.limits->coolest)},
                        {"warmest", ColourValueJson(read.limits->warmest)}};
}

bool ReportHasColour(const Json& station) {
    for (const Json& terminal : station.value("terminals", Json::array()))
        for (const Json& device : terminal.value("devices", Json::array()))
            if (device.contains("colour")) return true;
    return false;
}

std::string ReportColourText(const Json& device, Language language) {
    if (!device.contains("colour")) return "-";
    const Json& colour = device.at("colour");
    return HostText(language, "%1 K (%2 K to %3 K)",
                    {std::to_string(colour.at("kelvin").get<int>()),
                     std::to_string(colour.at("warmest").at("kelvin").get<int>()),
                     std::to_string(colour.at("coolest").at("kelvin").get<int>())});
}

}  // namespace zd
