// The DALI frames of the command line, run as users run it: each case of
// tests/data/frames/cases.txt runs the built zd4270 on the simulated line with --frame-log, and its
// frames (with their virtual times and answers) and its exit code must be those recorded beside it,
// made with the code before the engine refactor. A command that only reads must send nothing that
// changes a level or a setting; the scene-0 preview that the device pages send while they read is
// the one difference a new run may show, where the case allows it. ZD4270_FRAMES_RECORD=DIR writes
// each case's recording to DIR instead of comparing (scripts/compare-frames.sh).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/Commands.h"
#include "link/ForwardFrames.h"
#include "support/Examples.h"

namespace zd {
namespace {

const std::filesystem::path kFramesDir = ZD4270_FRAMES_DIR;

const std::set<std::string> kFlags = {"readonly", "readonly-pending", "read-preview", "station"};

struct FrameCase {
    std::string name;
    std::set<std::string> flags;
    std::vector<std::string> args;

    bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
    bool ReadOnly() const { return Has("readonly") || Has("readonly-pending"); }
};

// Words separated by blanks; a word in double quotes may hold blanks.
std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        if (line[at] == ' ' || line[at] == '\t') {
            ++at;
            continue;
        }
        if (line[at] == '"') {
            const std::size_t end = line.find('"', at + 1);
            if (end == std::string::npos) throw std::runtime_error("a quote is not closed");
            words.push_back(line.substr(at + 1, end - at - 1));
            at = end + 1;
            continue;
        }
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

// The case list; throws std::runtime_error naming the line that cannot be read.
std::vector<FrameCase> ReadCases() {
    std::ifstream in(kFramesDir / "cases.txt");
    if (!in) throw std::runtime_error("cannot read " + (kFramesDir / "cases.txt").string());
    std::vector<FrameCase> cases;
    std::set<std::string> names;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        const std::string where = "cases.txt:" + std::to_string(number) + ": ";
        std::vector<std::string> words;
        try {
            words = SplitWords(line);
        } catch (const std::runtime_error& error) {
            throw std::runtime_error(where + error.what());
        }
        const auto separator = std::find(words.begin(), words.end(), "--");
        if (separator == words.begin() || separator == words.end() || separator + 1 == words.end())
            throw std::runtime_error(where + "NAME [FLAG ...] -- ARGUMENT ... expected");
        FrameCase c;
        c.name = words.front();
        if (c.name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") != std::string::npos)
            throw std::runtime_error(where + "a name is made of a-z, 0-9 and -");
        if (!names.insert(c.name).second)
            throw std::runtime_error(where + c.name + " is named twice");
        for (auto flag = words.begin() + 1; flag != separator; ++flag) {
            if (!kFlags.count(*flag)) throw std::runtime_error(where + "no flag " + *flag);
            c.flags.insert(*flag);
        }
        if (c.Has("readonly") && c.Has("readonly-pending"))
            throw std::runtime_error(where + "readonly or readonly-pending, not both");
        for (auto arg = separator + 1; arg != words.end(); ++arg) {
            c.args.push_back(Replaced(Replaced(*arg, "{examples}", test::kExamplesDir.string()),
                                      "{inputs}", (kFramesDir / "inputs").string()));
        }
        cases.push_back(std::move(c));
    }
    return cases;
}

// Read once, for the test list and the tests; a list that cannot be read leaves no case to run,
// and CaseListAndRecordingsMatch says why.
const std::vector<FrameCase>& Cases() {
    static const std::vector<FrameCase> cases = [] {
        try {
            return ReadCases();
        } catch (const std::exception&) {
            return std::vector<FrameCase>();
        }
    }();
    return cases;
}

std::string Quoted(const std::string& word) {
    return "'" + Replaced(word, "'", "'\\''") + "'";
}

// What a run leaves for the comparison: its exit code, and each terminal's frame log in the order
// of the positions.
std::string RecordCase(const FrameCase& c, const std::filesystem::path& folder,
                       std::string& console) {
    std::string command = "cd " + Quoted(folder.string()) + " && exec " + Quoted(ZD4270_PROGRAM) +
                          " --lang en --quiet --registry store.ini --frame-log " +
                          (c.Has("station") ? "frames-{pos}.txt" : "frames.txt");
    for (const std::string& arg : c.args) command += " " + Quoted(arg);
    command += " >out.json 2>console.txt";
    const int status = std::system(command.c_str());
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    console = test::ReadFileText(folder / "console.txt");

    std::string recording = "# exit code " + std::to_string(exitCode) + "\n";
    if (!c.Has("station")) {
        if (!std::filesystem::exists(folder / "frames.txt")) return recording + "# no frame log\n";
        return recording + test::ReadFileText(folder / "frames.txt");
    }
    std::map<int, std::filesystem::path> logs;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("frames-") && name.ends_with(".txt"))
            logs[std::stoi(name.substr(7))] = entry.path();
    }
    if (logs.empty()) return recording + "# no frame log\n";
    for (const auto& [position, path] : logs)
        recording += "# position " + std::to_string(position) + "\n" + test::ReadFileText(path);
    return recording;
}

struct Line {
    std::string text;
    bool frame = false;
    std::string time;     // "65.833"
    std::string hex;      // "0191"; two digits: a DSI frame
    std::string content;  // the line without its time
    // What the master sent (the content without what it heard) and what it heard.
    std::string sent;
    std::string heard;
};

std::vector<Line> Lines(const std::string& text) {
    std::vector<Line> lines;
    std::istringstream in(text);
    for (std::string raw; std::getline(in, raw);) {
        Line line;
        line.text = raw;
        const std::size_t space = raw.find(' ');
        if (!raw.starts_with("#") && space != std::string::npos) {
            line.frame = true;
            line.time = raw.substr(0, space);
            line.content = raw.substr(space + 1);
            line.hex = line.content.substr(0, line.content.find(' '));
            // "0BA0 A5 query actual level -> 0xFE (254) [repeat]": the answer lies between the
            // arrow and the marks of a frame the terminal sent of itself.
            const std::size_t arrow = line.content.find(" -> ");
            if (arrow == std::string::npos) {
                line.sent = line.content;
            } else {
                const std::size_t marks =
                    std::min(line.content.find(" [", arrow), line.content.size());
                line.sent = line.content.substr(0, arrow) + line.content.substr(marks);
                line.heard = line.content.substr(arrow + 4, marks - arrow - 4);
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// Whether a frame changes a level or a setting of a gear: anything but the queries and the
// commands that search, compare, select or fill the DTR. A DSI frame is a level; a frame the
// catalogue does not know is not taken for harmless.
bool ChangesGear(const Line& line) {
    if (line.hex.size() != 4) return true;
    const DecodedFrame frame =
        DecodeForwardFrame(static_cast<std::uint16_t>(std::stoul(line.hex, nullptr, 16)));
    if (!frame.nCommandId) return true;
    const std::int16_t id = *frame.nCommandId;
    const bool query = (id >= kCmdQueryStatus && id <= kCmdQueryPowerFailure) ||
                       (id >= kCmdQueryActualLevel && id <= kCmdQueryFadeTimeFadeRate) ||
                       (id >= kCmdQuerySceneLevel && id <= kCmdQueryRandomAddressL) ||
                       id == kCmdQueryShortAddress;
    const bool harmless = id == kCmdStoreActualLevelInDtr || id == kCmdTerminate ||
                          id == kCmdDataTransferRegister || id == kCmdInitialise ||
                          id == kCmdCompare || id == kCmdWithdraw ||
                          (id >= kCmdSearchAddrH && id <= kCmdSearchAddrL) ||
                          id == kCmdVerifyShortAddress || id == kCmdEnableDeviceTypeX;
    return !query && !harmless;
}

// The scene-0 preview of the Scenes page: DIRECT ARC POWER to a gear right after the page asked
// it for the level of scene 15, the last of its list.
bool IsReadPreview(const std::vector<Line>& lines, std::size_t i) {
    if (i == 0 || !lines[i].frame || !lines[i - 1].frame) return false;
    if (lines[i].hex.size() != 4 || lines[i - 1].hex.size() != 4) return false;
    const DecodedFrame frame =
        DecodeForwardFrame(static_cast<std::uint16_t>(std::stoul(lines[i].hex, nullptr, 16)));
    const DecodedFrame before =
        DecodeForwardFrame(static_cast<std::uint16_t>(std::stoul(lines[i - 1].hex, nullptr, 16)));
    return frame.nCommandId == kCmdDirectArcPower && frame.nAddrType == AddressKind::Short &&
           before.nCommandId == kCmdQuerySceneLevel + 15 &&
           before.nAddrType == AddressKind::Short && before.nAddr == frame.nAddr;
}

// A few lines around a place of a log, numbered from 1, for a message.
std::string Around(const std::vector<Line>& lines, std::size_t at) {
    std::string text;
    const std::size_t first = at < 3 ? 0 : at - 3;
    for (std::size_t i = first; i < std::min(lines.size(), at + 4); ++i)
        text += (i == at ? "  > " : "    ") + std::to_string(i + 1) + ": " + lines[i].text + "\n";
    return text.empty() ? "    (end of the log)\n" : text;
}

struct Comparison {
    // Empty when the new run is as the recording allows.
    std::string problem;
    // The frames of the recording that the new run no longer sends, as the case allows.
    std::vector<std::string> dropped;
    // After a dropped frame: answers that changed with the gear's state ("recorded | new").
    std::vector<std::string> otherAnswers;
};

// The new run's lines must be the recording's, times and answers included, except that frames
// the case allows to go may be missing. A dropped frame leaves the gear in another state (a lamp
// at another level, the power-failure bit of QUERY STATUS cleared by any level command) and moves
// what follows: after the first one only what the master sends is compared, in order, and the
// answers that changed are listed.
Comparison Compare(const FrameCase& c, const std::string& recordedText,
                   const std::string& newText) {
    const std::vector<Line> recorded = Lines(recordedText);
    const std::vector<Line> now = Lines(newText);
    Comparison result;
    std::size_t j = 0;
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        const Line& r = recorded[i];
        const bool strict = result.dropped.empty();
        const bool sameSent = j < now.size() && now[j].frame == r.frame &&
                              (r.frame ? now[j].sent == r.sent : now[j].text == r.text);
        if (sameSent && (!r.frame || !strict || now[j].text == r.text)) {
            if (r.frame && now[j].heard != r.heard)
                result.otherAnswers.push_back(r.text + " | " + now[j].heard);
            ++j;
            continue;
        }
        const bool mayGo = r.frame && ((c.ReadOnly() && ChangesGear(r)) ||
                                       (c.Has("read-preview") && IsReadPreview(recorded, i)));
        if (mayGo && !sameSent) {
            result.dropped.push_back(r.text);
            continue;
        }
        result.problem = "line " + std::to_string(i + 1) + " of the recording:\n" +
                         Around(recorded, i) + "line " + std::to_string(j + 1) +
                         " of the new run:\n" + Around(now, j);
        if (sameSent)
            result.problem += "(the same frame, at another time or with another answer)\n";
        return result;
    }
    if (j < now.size()) {
        result.problem = "the new run sends more than the recording, from its line " +
                         std::to_string(j + 1) + ":\n" + Around(now, j);
    }
    return result;
}

// The frames of a log that change a level or a setting, each with its terminal's position in a
// log of several.
std::vector<std::string> ChangingFrames(const std::string& log) {
    std::vector<std::string> changing;
    std::string position;
    for (const Line& line : Lines(log)) {
        if (line.text.starts_with("# position ")) position = "pos " + line.text.substr(11) + ": ";
        if (line.frame && ChangesGear(line)) changing.push_back(position + line.text);
    }
    return changing;
}

// gtest names a failing case by this rather than by its bytes.
void PrintTo(const FrameCase& c, std::ostream* out) {
    *out << c.name;
}

class FrameLogTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameLogTest, FramesAsRecorded) {
    const FrameCase& c = GetParam();
    test::TempFolder folder("zd_frames_");
    std::string console;
    const std::string recording = RecordCase(c, folder.Path(), console);
    ASSERT_EQ(recording.find("# no frame log"), std::string::npos)
        << "no frame log was written; the console said:\n"
        << console;

    if (const char* dir = std::getenv("ZD4270_FRAMES_RECORD"); dir && *dir) {
        std::ofstream(std::filesystem::path(dir) / (c.name + ".txt"), std::ios::binary)
            << recording;
        return;
    }

    const std::filesystem::path recordedFile = kFramesDir / (c.name + ".txt");
    ASSERT_TRUE(std::filesystem::exists(recordedFile))
        << recordedFile << " is missing: record it with scripts/compare-frames.sh --update";
    const Comparison comparison = Compare(c, test::ReadFileText(recordedFile), recording);
    EXPECT_TRUE(comparison.problem.empty())
        << c.name << ": the frames differ from " << recordedFile.filename().string() << " at\n"
        << comparison.problem << "(scripts/compare-frames.sh shows the whole difference)";
    if (!comparison.dropped.empty()) {
        std::cout << "[ dropped  ] " << c.name << ": " << comparison.dropped.size()
                  << " frame(s) of the recording no longer sent, as the case allows:\n";
        for (const std::string& line : comparison.dropped) std::cout << "    " << line << "\n";
    }
    if (!comparison.otherAnswers.empty()) {
        std::cout << "[ answers  ] " << c.name << ": " << comparison.otherAnswers.size()
                  << " answer(s) changed after that (recorded | new):\n";
        for (const std::string& line : comparison.otherAnswers) std::cout << "    " << line << "\n";
    }

    if (!c.ReadOnly()) return;
    const std::vector<std::string> changing = ChangingFrames(recording);
    std::string list;
    for (const std::string& line : changing) list += "    " + line + "\n";
    if (c.Has("readonly")) {
        EXPECT_TRUE(changing.empty())
            << c.name << " only reads, and yet sends what changes a level or a setting:\n"
            << list;
        return;
    }
    // readonly-pending: the pages' preview is still sent today; once it is not, the flag goes.
    EXPECT_FALSE(changing.empty())
        << c.name
        << " is marked readonly-pending but sends nothing that changes a level or a "
           "setting any more: make it readonly in cases.txt";
    if (!changing.empty()) {
        std::cout << "[ pending  ] " << c.name << ": read-only, still sends " << changing.size()
                  << " level-changing frame(s):\n"
                  << list;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameLogTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<FrameCase>& param) {
                             std::string name = param.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// The case list reads, and each case has its recording and each recording its case.
TEST(FrameLogCases, CaseListAndRecordingsMatch) {
    std::vector<FrameCase> cases;
    ASSERT_NO_THROW(cases = ReadCases());
    ASSERT_FALSE(cases.empty());
    std::set<std::string> names;
    std::vector<std::string> pending;
    for (const FrameCase& c : cases) {
        names.insert(c.name);
        EXPECT_TRUE(std::filesystem::exists(kFramesDir / (c.name + ".txt"))) << c.name;
        if (c.Has("readonly-pending")) pending.push_back(c.name);
    }
    for (const auto& entry : std::filesystem::directory_iterator(kFramesDir)) {
        const std::filesystem::path& path = entry.path();
        if (path.extension() != ".txt" || path.filename() == "cases.txt") continue;
        EXPECT_TRUE(names.count(path.stem().string()))
            << path.filename() << " belongs to no case of cases.txt";
    }
    std::cout << "[ pending  ] read-only cases that still send the pages' preview:";
    for (const std::string& name : pending) std::cout << " " << name;
    std::cout << (pending.empty() ? " none\n" : "\n");
}

// The comparison itself: a recording's preview may go where the case allows it, nothing else.
TEST(FrameLogCases, OnlyAllowedFramesMayGo) {
    const std::string recording =
        "# exit code 0\n"
        "100.000 01BF A0 query scene level 15 -> 0xFF (255)\n"
        "150.000 00C8 A0 direct arc power 200 -> no answer\n"
        "200.000 0190 A0 query status information -> 0x84 (132)\n";
    // Without the preview the gear still reports its power failure, later.
    const std::string withoutPreview =
        "# exit code 0\n"
        "100.000 01BF A0 query scene level 15 -> 0xFF (255)\n"
        "160.000 0190 A0 query status information -> 0x04 (4)\n";
    const FrameCase plain{"plain", {}, {}};
    const FrameCase readOnly{"read", {"readonly"}, {}};
    const FrameCase preview{"preview", {"read-preview"}, {}};
    EXPECT_TRUE(Compare(plain, recording, recording).problem.empty());
    EXPECT_FALSE(Compare(plain, recording, withoutPreview).problem.empty());
    const Comparison read = Compare(readOnly, recording, withoutPreview);
    EXPECT_TRUE(read.problem.empty()) << read.problem;
    EXPECT_EQ(read.otherAnswers,
              std::vector<std::string>{
                  "200.000 0190 A0 query status information -> 0x84 (132) | 0x04 (4)"});
    EXPECT_EQ(Compare(preview, recording, withoutPreview).dropped,
              std::vector<std::string>{"150.000 00C8 A0 direct arc power 200 -> no answer"});
    // Times and answers count while nothing was dropped; the exit code always.
    EXPECT_FALSE(
        Compare(readOnly, recording, Replaced(recording, "200.000", "201.000")).problem.empty());
    EXPECT_FALSE(
        Compare(readOnly, recording, Replaced(recording, "(132)", "(133)")).problem.empty());
    EXPECT_FALSE(Compare(readOnly, recording, Replaced(recording, "exit code 0", "exit code 1"))
                     .problem.empty());
    // Only the preview right after the scene list goes where the case merely reads first, a
    // query never, and a run may not send more.
    const std::string scene14 =
        Replaced(recording, "01BF A0 query scene level 15", "01BE A0 query scene level 14");
    EXPECT_FALSE(
        Compare(preview, scene14,
                Replaced(scene14, "150.000 00C8 A0 direct arc power 200 -> no answer\n", ""))
            .problem.empty());
    EXPECT_FALSE(
        Compare(readOnly, recording,
                Replaced(recording, "200.000 0190 A0 query status information -> 0x84 (132)\n", ""))
            .problem.empty());
    EXPECT_FALSE(
        Compare(plain, recording, recording + "250.000 0BA0 A5 query actual level -> 0xFE (254)\n")
            .problem.empty());
}

}  // namespace
}  // namespace zd
