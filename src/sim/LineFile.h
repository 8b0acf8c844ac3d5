// The line description file: a JSON text that describes a simulated terminal (position, firmware,
// feature register, take-over delay, process-image layout, byte order) and the gear on its line.
// A bad file is refused as a whole with the file, the place and the reason; a line's state can be
// written back as such a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/Scheduler.h"
#include "sim/Ballast.h"
#include "sim/Terminal.h"

namespace zd::sim {

struct LineDescription {
    TerminalConfig terminal;
    std::vector<GearConfig> gear;
    // Which of the terminal's placement settings the file states itself (the others are
    // defaults), so that a host can tell a file that disagrees with its station document from one
    // that leaves the placement to it.
    bool positionStated = false;
    bool layoutStated = false;
    bool byteOrderStated = false;
};

// Line and column (from 1) for a syntax error; 0 and a JSON pointer for a value that is wrong.
class LineFileError : public ControlError {
  public:
    LineFileError(std::string file, int line, int column, std::string where, std::string reason);

    const std::string& File() const { return m_file; }
    int Line() const { return m_line; }
    int Column() const { return m_column; }
    // The JSON pointer of the offending value, empty for a syntax error.
    const std::string& Where() const { return m_where; }
    const std::string& Reason() const { return m_reason; }

  private:
    std::string m_file;
    int m_line;
    int m_column;
    std::string m_where;
    std::string m_reason;
};

// Throws LineFileError; fileName only names the text in the error.
LineDescription ParseLineDescription(const std::string& text, const std::string& fileName);
// Throws LineFileError, also when the file cannot be read.
LineDescription LoadLineFile(const std::string& path);
// A terminal with the described gear connected.
std::unique_ptr<Terminal> MakeTerminal(Scheduler& scheduler, const LineDescription& description);

// The terminal and its gear as they stand now (registers, layout, addresses, levels, limits,
// groups, scenes, lamps, DTR, flags, fades and initialisation windows), so that a later run
// continues from here rather than from a power-up. The take-over delay, which the terminal does
// not report about itself, is taken from settings; the random seed is drawn afresh from the line,
// so that the next run does not repeat the random addresses of this one.
LineDescription CaptureLine(Terminal& terminal, const TerminalConfig& settings);
// The text of a line description file that ParseLineDescription reads back as description.
std::string WriteLineDescription(const LineDescription& description);

}  // namespace zd::sim
