// The help of each command: what it does, its options and an example to start from.
#include <cstdio>
#include <map>
#include <string>

#include "cli/CommandHelp.h"
#include "cli/CommandLine.h"
#include "cli/DeviceCommands.h"

namespace zd {

namespace {

const std::map<std::string, const char*>& HelpTexts() {
    static const std::map<std::string, const char*> kTexts = {
        {"status",
         "zd4270 status [--short A] [--scan]\n"
         "\n"
         "The line at a glance: the level, status and device type of each device the store\n"
         "knows (of the one at A with --short), asked with QUERY ACTUAL LEVEL, QUERY STATUS and\n"
         "QUERY DEVICE TYPE. When the store knows no device, or with --scan, the line is\n"
         "scanned first. \"silent\" counts the devices that did not answer.\n"
         "  --scan  scan the line first, and keep the list found\n"
         "\n"
         "example:\n"
         "  zd4270 status --scan\n"},
        {"serve",
         "zd4270 serve [--listen ADDRESS:PORT] [--tls-cert FILE --tls-key FILE]\n"
         "             [--allow-host NAME]... [--virtual-time] [--station FILE]\n"
         "             [--pos N | --pos N,M,... | --all]\n"
         "             [--line FILE | --lines DIR | --modbus HOST:PORT | --modbus-rtu DEVICE]\n"
         "             [--save-line FILE] [--lang en|de]\n"
         "\n"
         "Serves the line to a browser (a phone or tablet on site, a computer): the devices,\n"
         "scan, the addressing runs with their progress, switching, dimming, a device's\n"
         "variables, groups and scenes, backup and the hand-over report to download, and the\n"
         "bus monitor, live. Several browsers see the same run; one procedure runs at a time.\n"
         "At start it prints the address with its access token (and a QR code of it on a\n"
         "terminal): every request needs the token. Scripts POST to /api/COMMAND with the\n"
         "command's options as a JSON object and get the command's document with its\n"
         "\"exitCode\" (see docs/serve.md).\n"
         "\n"
         "  --listen ADDRESS:PORT  where to listen (default 127.0.0.1:4270, this computer\n"
         "                         only; 0.0.0.0:4270 lets a phone on the network in)\n"
         "  --tls-cert, --tls-key  serve HTTPS with this PEM certificate and key\n"
         "  --allow-host NAME      a name the browser may use for this computer besides its\n"
         "                         addresses (a request naming another host is refused)\n"
         "  --virtual-time         the simulated line runs as fast as it can, as for a\n"
         "                         command, rather than in real time\n"
         "  --save-line FILE       where the simulated line's state goes when the server stops\n"
         "\n"
         "Ctrl-C or SIGTERM ends the procedure under way as it ends a command, then the server.\n"
         "\n"
         "example:\n"
         "  zd4270 serve --line examples/lines/sixteen-unaddressed.json --listen 0.0.0.0:4270\n"},
        {"demo",
         "zd4270 demo\n"
         "\n"
         "A short headless demonstration: the control is refreshed and a few DALI commands go\n"
         "through the terminal link, with their command words, results and log lines (text, not\n"
         "JSON). It also runs when zd4270 is started without a command and without a display.\n"
         "\n"
         "example:\n"
         "  zd4270 demo --line examples/lines/three-addressed.json\n"},
        {"scan",
         "zd4270 scan [--optical-feedback] [--ask-twice] [--quick]\n"
         "\n"
         "Asks every short address 0 to 63 whether a ballast answers and lists the devices,\n"
         "with \"conflict\" where several answer at once. The list is kept in the store.\n"
         "  --optical-feedback  as the device tab's check box: all lamps go to their minimum\n"
         "  --ask-twice         ask a silent address once more before taking it as free, for\n"
         "                      gear that lose answers (\"recovered\" lists those found so)\n"
         "  --quick             the addresses back to back, each question as soon as the\n"
         "                      terminal has passed on the one before (the scan after a fast\n"
         "                      search): about 2.5 s for the line instead of 6.5 s\n"
         "\n"
         "example:\n"
         "  zd4270 scan --line examples/lines/shared-address.json\n"},
        {"address random",
         "zd4270 address random [--start N] [--new-installation] [--delete-groups]\n"
         "                      [--delete-scenes] [--yes] [--optical-feedback] [--fast]\n"
         "\n"
         "Random addressing: the control searches the gear's random addresses (firmware before\n"
         "1M) or the terminal does it itself (\"variant\"), then a scan lists the line. Over\n"
         "Modbus a full line takes about a quarter of an hour; on a terminal stderr shows how\n"
         "far it has come. Fails (exit 1) when gear share an address or are left without one.\n"
         "On a messy line the control's search gets over lost answers, gear that power up or\n"
         "down, two gear with one random address, slow gear, commands that collide with a\n"
         "second master (sent again; collisions that go on stop the run), a gear that ignores\n"
         "WITHDRAW, and gear that were not in the initialisation state (further rounds while\n"
         "QUERY MISSING SHORT ADDRESS is answered, until two find nobody new or 2 minutes have\n"
         "passed), and says so in \"recovered\" (what, where, how often); the closing scan\n"
         "asks a silent address twice.\n"
         "  --start N            first short address to give (default 0)\n"
         "  --new-installation   delete every short address first (needs --yes)\n"
         "  --delete-groups      take the gear out of all groups (needs --yes)\n"
         "  --delete-scenes      take the gear out of all scenes (needs --yes)\n"
         "  --optical-feedback   the terminal lights each gear it addresses (terminal variant)\n"
         "  --fast               the control's search with its steps back to back instead of\n"
         "                       200 ms apart, at the pace the terminal shows (control\n"
         "                       variant; \"fastSearch\" says whether it applied, and a\n"
         "                       \"note\" why not on a terminal that searches itself)\n"
         "\n"
         "example:\n"
         "  zd4270 address random --line examples/lines/sixteen-unaddressed.json --save-line "
         "l.json\n"
         "  zd4270 address random --fast --line examples/lines/sixteen-unaddressed-1L.json\n"},
        {"address physical",
         "zd4270 address physical [--start N] [--new-installation --yes] [--delete-groups]\n"
         "                        [--delete-scenes] [--lamps N] [--timeout S]\n"
         "                        [--remove-lamp LIST [--lamp-delay S]]\n"
         "\n"
         "Physical selection: each ballast whose lamp is taken out and put back gets the next\n"
         "free short address, and blinks three times. A lamp put back too early, the same lamp\n"
         "taken out again, or two lamps out at once get no new address (\"recovered\" says\n"
         "which). The run ends when --lamps lamps are\n"
         "addressed, or when nothing has happened for --timeout seconds (default 120).\n"
         "On the simulated line nobody takes lamps out: --remove-lamp names the gear a script\n"
         "takes out and puts back, in order, each --lamp-delay seconds (default 5) after the\n"
         "control asks: a short address (5) or the place in the line file's gear list, counted\n"
         "from 1 as zd4270-sim --fault counts (index:2, the second gear).\n"
         "  --new-installation   delete every short address first; needs --yes\n"
         "\n"
         "examples:\n"
         "  zd4270 address physical --line examples/lines/sixteen-unaddressed.json \\\n"
         "         --remove-lamp index:4,index:1 --start 10\n"
         "  zd4270 address physical --modbus 192.168.1.20:502 --lamps 4 --timeout 300\n"},
        {"address single",
         "zd4270 address single N|mask --yes\n"
         "\n"
         "Every ballast on the line takes short address N (mask: none), then a scan lists the\n"
         "line. Refused without --yes.\n"
         "\n"
         "example:\n"
         "  zd4270 address single 9 --yes --line examples/lines/three-addressed.json\n"},
        {"address change",
         "zd4270 address change OLD:NEW [OLD:NEW ...]\n"
         "\n"
         "Scans the line, moves the devices to their new short addresses (NEW may be mask,\n"
         "which deletes the address) and scans again. Fails (exit 1) unless the line then\n"
         "holds the plan.\n"
         "\n"
         "example:\n"
         "  zd4270 address change 5:6 63:mask\n"},
        {"send",
         "zd4270 send COMMAND [--short A|--group G|--broadcast] [--data D] [--yes]\n"
         "zd4270 send --dsi BYTE\n"
         "\n"
         "One DALI command, by number (-1 to 270) or by its text in any case. \"add to group 3\"\n"
         "sends the first command of its range with data 3; by number, --data picks the group\n"
         "or scene. A command whose word leaves the data out refuses --data: the store DTR\n"
         "commands store the DTR, which \"data transfer register (DTR)\" --data D sets first.\n"
         "reset, and store DTR as short address to more than one gear, need --yes.\n"
         "Refused in DSI mode, where --dsi sends one DSI data byte instead. \"acknowledged\"\n"
         "says whether the terminal confirmed the command in time.\n"
         "\n"
         "examples:\n"
         "  zd4270 send \"recall max level\" --group 3\n"
         "  zd4270 send \"add to group 3\" --short 5\n"
         "  zd4270 send \"data transfer register (DTR)\" --data 9\n"
         "  zd4270 send \"store DTR as short address\" --short 5\n"},
        {"query",
         "zd4270 query QUERY [--short A|--group G|--broadcast] [--data D]\n"
         "\n"
         "A DALI query and its answer: a byte, null when nobody answered, \"several\" when\n"
         "several gear answered at once (a yes for yes/no queries). Only queries: a command\n"
         "that gets no answer is refused (send sends it).\n"
         "\n"
         "example:\n"
         "  zd4270 query \"query actual level\" --short 5\n"},
        {"archive upload",
         "zd4270 archive upload FILE [--yes]\n"
         "\n"
         "Reads the groups and scene levels of every known device and saves them as an\n"
         "archive. An existing FILE is replaced only with --yes.\n"
         "\n"
         "example:\n"
         "  zd4270 archive upload site.xml\n"},
        {"archive download",
         "zd4270 archive download FILE --yes\n"
         "\n"
         "Loads an archive and writes its groups and scene levels into the devices, over what\n"
         "they hold: refused without --yes. Every address is written: a gear the archive does\n"
         "not list loses its groups and scenes; the refusal names the known devices (from the\n"
         "store or the last scan) that would, and \"cleared\" lists those it found. A file\n"
         "that loads nothing is refused.\n"
         "\n"
         "example:\n"
         "  zd4270 archive download site.xml --yes\n"},
        {"options",
         "zd4270 options [--mode dali|dsi] [--power-supply on|off] [--count-devices on|off]\n"
         "\n"
         "Reads the terminal's options, and sets those given.\n"
         "\n"
         "example:\n"
         "  zd4270 options --power-supply off\n"},
        {"variables",
         "zd4270 variables --short A [--set NAME=VALUE] [--optical-feedback]\n"
         "\n"
         "Reads the twelve variables of the device at short address A, as its Variables page\n"
         "does; --set writes one first and reads them all back. NAME is one of actual-level,\n"
         "power-on-level, system-failure-level, min-level, max-level (0 to 255 or mask),\n"
         "fade-rate (1 to 15), fade-time (0 to 15). A new actual-level is read back once the\n"
         "gear's fade time has passed; a \"warning\" says when it is still fading.\n"
         "  --optical-feedback  the device's lamp lights at its maximum, the others at minimum\n"
         "\n"
         "example:\n"
         "  zd4270 variables --short 5 --set max-level=200\n"},
        {"groups",
         "zd4270 groups --short A [--add G,...] [--remove G,...] [--optical-feedback]\n"
         "\n"
         "The groups (0 to 15) the device at short address A belongs to, as its Groups page\n"
         "shows them; --add and --remove tick and clear the page's boxes, then the groups are\n"
         "read back.\n"
         "\n"
         "example:\n"
         "  zd4270 groups --short 5 --add 1,2 --remove 3\n"},
        {"scenes",
         "zd4270 scenes --short A [--set SCENE=LEVEL,...] [--optical-feedback]\n"
         "\n"
         "The levels of scenes 0 to 15 of the device at short address A (\"mask\": not in the\n"
         "scene), as its Scenes page shows them; the lamp stays as it is. --set stores levels\n"
         "(0 to 255 or mask), then the scenes are read back; like the page's editor, the lamp\n"
         "then shows the level of the scene being edited, and of scene 0 once the list is read.\n"
         "\n"
         "example:\n"
         "  zd4270 scenes --short 0 --set 3=128,4=mask\n"},
        {"colour",
         "zd4270 colour --short A\n"
         "zd4270 colour --short A|--group G|--broadcast --kelvin K|--mirek M\n"
         "              [--refuse-outside-limits]\n"
         "zd4270 colour --short A|--group G|--broadcast [--coolest K] [--warmest K]\n"
         "              [--physical-coolest K] [--physical-warmest K]\n"
         "zd4270 colour --short A|--group G|--broadcast --scene N --level L\n"
         "              [--kelvin K|--mirek M]\n"
         "\n"
         "The colour temperature of tunable-white gear (device type 8), as \"kelvin\" and\n"
         "\"mirek\" (1,000,000 / kelvin). With --short alone: the colour, the limits, the\n"
         "power-on and system failure colour. --kelvin or --mirek sets the colour (the gear\n"
         "goes there over its fade time). A colour outside the gear's limits is taken to the\n"
         "nearer limit by the gear (\"clamped\" and a \"warning\"), or with\n"
         "--refuse-outside-limits not sent. The limits take kelvin, or mirek written as\n"
         "154mirek; the gear keeps them in order (physical coolest, coolest, warmest, physical\n"
         "warmest). --scene and --level store a scene with its colour (without a colour the\n"
         "scene keeps the colour it had). A short address is asked for its device type first:\n"
         "no gear, or gear of another type (which ignore colour commands), end the run with\n"
         "nothing sent. A group or broadcast is not read back.\n"
         "\n"
         "examples:\n"
         "  zd4270 colour --short 5 --kelvin 3000\n"
         "  zd4270 colour --group 2 --mirek 250\n"
         "  zd4270 colour --short 5 --coolest 5000 --warmest 3000\n"
         "  zd4270 colour --short 5 --scene 3 --level 200 --kelvin 2700\n"},
        {"report",
         "zd4270 report [--format html|pdf|csv] FILE\n"
         "\n"
         "The hand-over report of the terminal, or with --all (--pos N,M,...) of the station's\n"
         "terminals: a scan, then each device's random address, device type, levels, groups and\n"
         "scene levels. HTML and PDF have a title page and a table per terminal with conflicts\n"
         "and silent devices marked; CSV has one row per device. The format comes from FILE's\n"
         "extension when --format is not given.\n"
         "\n"
         "scan and every address command take --report FILE [--format F] as well: once the\n"
         "command has ended on a terminal (failed or not), its devices are read and the report\n"
         "is written, so that new gear are addressed and reported in one run.\n"
         "\n"
         "examples:\n"
         "  zd4270 --station examples/building/station.xml --all --lines examples/building/lines\n"
         "         report handover.pdf\n"
         "  zd4270 --station examples/building/station.xml --all --lines examples/building/lines\n"
         "         --save-lines site address random --fast --report handover.pdf\n"},
        {"backup",
         "zd4270 backup FILE [--yes]\n"
         "\n"
         "Reads every device of the line (a scan, then each device's variables, groups and\n"
         "scenes, as its pages read them) into one JSON file: short and random address, device\n"
         "type, the twelve variables, groups and scene levels (examples/backup/FORMAT.md). An\n"
         "existing FILE is replaced only with --yes, and only once the new one is complete. A\n"
         "device that cannot be read whole is left out and named (exit 1). With --all, {pos} in\n"
         "FILE becomes each terminal's position.\n"
         "\n"
         "example:\n"
         "  zd4270 backup site-2024.json\n"},
        {"restore",
         "zd4270 restore FILE --dry-run|--yes [--other-gear]\n"
         "\n"
         "Compares the line with a backup device by device: the random address says whether the\n"
         "same gear holds each short address (unchanged, changed), another one (replaced), or\n"
         "nothing answers (missing); devices not in the file are new and left alone. The plan is\n"
         "printed before anything is sent; --dry-run stops there. With --yes the power-on,\n"
         "system failure, minimum and maximum level, fade rate and time, groups and scene\n"
         "levels that differ are written by short address through the device pages and read\n"
         "back. Missing devices, devices that could not be read and values a device did not\n"
         "take end with exit 1. A random addressing draws new random addresses: after one,\n"
         "every device reads as replaced. The plan names what does not fit (another terminal\n"
         "position, other device types); when no gear of the backup is on the line (no random\n"
         "address matches) nothing is sent unless --other-gear confirms it.\n"
         "\n"
         "examples:\n"
         "  zd4270 restore site-2024.json --dry-run\n"
         "  zd4270 --station st.xml --all restore 'site-{pos}.json' --yes\n"},
        {"replace",
         "zd4270 replace --short A --backup FILE [--physical [--remove-lamp index:N]\n"
         "               [--lamp-delay S] [--timeout S]]\n"
         "\n"
         "A failed gear's successor: the device at A must be silent and one gear without a\n"
         "short address on the line. That gear gets A through random addressing (start address\n"
         "A, no new installation; the control's search or the terminal's own, as its firmware\n"
         "decides, as address random does), then the levels, fade, groups and scenes the\n"
         "backup holds for A. With several new gear (or several silent addresses of the backup)\n"
         "--physical picks the new one by its lamp: take its lamp out when asked. Anything else\n"
         "(A answers, no new gear, several without --physical) is refused with what was found\n"
         "and nothing is sent but the scan and one query.\n"
         "\n"
         "examples:\n"
         "  zd4270 replace --short 5 --backup site-2024.json\n"
         "  zd4270 replace --short 5 --backup site-2024.json --physical --timeout 300\n"},
        {"help",
         "zd4270 help [COMMAND]\n"
         "zd4270 COMMAND --help\n"
         "\n"
         "Without COMMAND the usage: every command, the options every run takes and the exit\n"
         "codes. With COMMAND (scan, \"address random\", archive, ...) its options and an\n"
         "example; address and archive alone list their commands.\n"
         "\n"
         "example:\n"
         "  zd4270 help address random\n"},
        {"emergency status",
         "zd4270 emergency status --short A|--all-gear\n"
         "\n"
         "The state of emergency lighting gear (device type 1): mode, status and failures in\n"
         "words, battery charge, rated duration, the last duration test's time, lamp times and\n"
         "emergency levels. --all-gear scans the line and lists every gear, those of other\n"
         "types with their device type (\"gear\": \"other-type\"). With --short, an address\n"
         "without gear or with gear of another type fails (exit 1) and says so.\n"
         "\n"
         "examples:\n"
         "  zd4270 emergency status --short 5\n"
         "  zd4270 emergency status --all-gear\n"},
        {"emergency test",
         "zd4270 emergency test function|duration --short A [--poll S]\n"
         "zd4270 emergency test stop --short A\n"
         "\n"
         "Starts a function test (seconds) or a duration test (on battery for the rated\n"
         "duration, often 1 or 3 hours) and asks the gear every S seconds (default 2 for a\n"
         "function test, 60 for a duration test) until it reports the result; stderr shows\n"
         "whether it runs or waits (a duration test waits for a full battery). The result:\n"
         "\"passed\", the failure bits in words, the duration reached against the rated one,\n"
         "the battery. A failed test is a result with an exit code of its own (exit 3,\n"
         "\"passed\": false); the test is kept with its date in the store for the hand-over\n"
         "report. A value that could not be read (asked twice) is null (exit 1). A gear back\n"
         "in normal operation without a result ends with exit 1 (\"the gear gave no result\");\n"
         "a running function test may take 5 minutes, a duration test the rated duration and\n"
         "30 minutes, and any test with its waiting at most 30 minutes (function) or the rated\n"
         "duration and 2 hours (duration): then STOP TEST and exit 1. Ctrl+C stops the test\n"
         "(STOP TEST) and gives no result. \"stop\" ends a test that runs at A (STOP TEST),\n"
         "one that zd4270 serve follows in the gear or one started elsewhere.\n"
         "\n"
         "example:\n"
         "  zd4270 emergency test duration --short 5\n"},
        {"emergency timing",
         "zd4270 emergency timing --short A [--function-interval DAYS]\n"
         "                        [--duration-interval WEEKS] [--timeout DAYS]\n"
         "                        [--prolong HALF-MINUTES] [--test-delay QUARTER-HOURS]\n"
         "\n"
         "Reads the gear's automatic test settings and the time to its next tests; with an\n"
         "option, stores it first and reads it back (\"written\", \"notTaken\").\n"
         "  --function-interval  days between automatic function tests, 0 to 255 (0: none)\n"
         "  --duration-interval  weeks between automatic duration tests, 0 to 97 (0: none)\n"
         "  --timeout            days a test may wait before it counts as late (0: 15 min)\n"
         "  --prolong            time on battery after the mains returns, in 30 s units\n"
         "  --test-delay         puts off the next automatic tests, 0 to 65535 quarter hours\n"
         "                       (stagger neighbouring luminaires)\n"
         "\n"
         "example:\n"
         "  zd4270 emergency timing --short 5 --function-interval 30 --test-delay 4\n"},
        {"identify",
         "zd4270 identify --short A [--seconds S] [--mode flash|max|others-off]\n"
         "\n"
         "Makes the luminaire at short address A show itself for S seconds (10 by default, up\n"
         "to 600): flash (it flashes: IDENTIFY DEVICE where the gear knows it, version 2.0 and\n"
         "later, otherwise the control switches it between its maximum and minimum), max (it at\n"
         "its maximum, every other gear at its minimum) or others-off (it at its maximum, every\n"
         "other gear off). The levels are read first and every gear gets its level back\n"
         "afterwards (\"levels\"); Ctrl-C ends it early, the levels set back. Refused while\n"
         "another identify runs on the line, and for an address where no gear answers.\n"
         "\n"
         "example:\n"
         "  zd4270 identify --short 5 --mode max --seconds 20\n"},
        {"name",
         "zd4270 name --short A [TEXT] [--room R] [--floor F] [--note N]\n"
         "\n"
         "Names the luminaire at short address A in the site file (--site FILE, by default\n"
         "site.json beside the store), with its room, floor and a free note; what is not given\n"
         "stays as it was. The gear's random address is kept with the name, so that the name\n"
         "follows its gear when address change, replace or a random addressing moves it (the\n"
         "document's \"siteMoves\" says so). Every command's document then shows the names of\n"
         "the devices it lists; so do the window, the backup and the hand-over report.\n"
         "\n"
         "example:\n"
         "  zd4270 name --short 5 \"2.14 desk left\" --room 2.14 --floor 2\n"},
        {"settings",
         "zd4270 settings [--log-mapping on|off] [--log-user-data on|off]\n"
         "                [--log-addressing on|off]\n"
         "\n"
         "The logging switches in the store (the window's, or --registry FILE), set where\n"
         "given. From the next run on the control writes the mapping data and the user data at\n"
         "each refresh, and a log of each addressing run, into the current folder.\n"
         "\n"
         "example:\n"
         "  zd4270 settings --log-addressing on\n"},
    };
    return kTexts;
}

// address, archive and emergency are groups of commands: their synopses, each up to its first
// blank line.
void PrintGroupHelp(const std::string& group, std::FILE* out, Language language) {
    const bool german = language == Language::German;
    std::fprintf(out,
                 german ? "zd4270 %s: die Befehle der Gruppe\n\n"
                        : "zd4270 %s: the commands of the group\n\n",
                 group.c_str());
    for (const CommandSyntax& syntax : CommandTable()) {
        if (syntax.name.rfind(group + " ", 0) != 0) continue;
        const std::string text = CommandHelpText(syntax.name, language);
        std::fprintf(out, "%s\n", text.substr(0, text.find("\n\n")).c_str());
    }
    std::fprintf(out,
                 german ? "\nzd4270 help %s BEFEHL nennt die Optionen eines Befehls und ein "
                          "Beispiel.\n"
                        : "\nzd4270 help %s COMMAND gives a command's options and an example.\n",
                 group.c_str());
}

}  // namespace

const char* CommandHelpText(const std::string& name, Language language) {
    const std::map<std::string, const char*>& texts =
        language == Language::German ? GermanHelpTexts() : HelpTexts();
    const auto found = texts.find(name);
    return found == texts.end() ? nullptr : found->second;
}

int RunHelp(const std::vector<std::string>& words, std::FILE* out, Language language) {
    if (words.empty()) {
        PrintUsage(out, language);
        return 0;
    }
    std::string name = words[0];
    const char* text = CommandHelpText(name, language);
    if (!text && words.size() > 1) {
        name += " " + words[1];
        text = CommandHelpText(name, language);
    }
    if (!text && words.size() == 1 &&
        (name == "address" || name == "archive" || name == "emergency")) {
        PrintGroupHelp(name, out, language);
        return 0;
    }
    if (!text) throw UsageError("no command \"%1\"; zd4270 help lists them", {name});
    std::fputs(text, out);
    return 0;
}

}  // namespace zd
