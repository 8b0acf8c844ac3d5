// The headless commands over the control: each checks its words and options before the line is
// touched, then drives the control's models as a user would and reads the result back as JSON.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Session.h"
#include "maintenance/DeviceJson.h"
#include "platform/HostTexts.h"

namespace zd {

// A command line that cannot be run as written: nothing was sent. Exit code 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
    // A wording of the host's texts with its arguments, put into the reader's language by Text.
    UsageError(std::string english, std::vector<HostWording> args)
        : UsageError(HostWording(std::move(english), std::move(args))) {}
    explicit UsageError(const HostWording& wording)
        : std::runtime_error(wording.In(Language::English)), m_wording(wording) {}
    std::string Text(Language language) const {
        return m_wording ? m_wording->In(language) : HostMessage(language, what());
    }

  private:
    std::optional<HostWording> m_wording;
};

// A command's document and exit code, nothing printed but the console's lines on err.
struct CommandOutcome {
    Json document;
    int exitCode = 0;
};

// The words and options that follow a command's name.
struct CommandArguments {
    std::vector<std::string> words;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
    std::optional<std::string> Value(const std::string& option) const;
};

// A command that passed its checks, ready to run; returns the result document's fields.
using PreparedCommand = std::function<Json(HeadlessSession&)>;

struct CommandSyntax {
    std::string name;  // "scan", "address random", ...
    std::vector<std::string> valueOptions;
    std::vector<std::string> flags;
    std::size_t minWords = 0;
    std::size_t maxWords = 0;
    // Throws UsageError.
    PreparedCommand (*prepare)(const CommandArguments&);
};

// Every command, in the order the help lists them.
const std::vector<CommandSyntax>& CommandTable();

// A whole number in decimal or "0x" hexadecimal within low..high; UsageError names what otherwise.
int ParseNumber(const std::string& text, int low, int high, const std::string& what);
// A short address 0 to 63, or "mask" as 255.
int ParseAddressOrMask(const std::string& text, const std::string& what);
// "on" or "off".
bool ParseOnOff(const std::string& text, const std::string& what);

PreparedCommand PrepareScan(const CommandArguments& arguments);
PreparedCommand PrepareAddressRandom(const CommandArguments& arguments);
PreparedCommand PrepareAddressSingle(const CommandArguments& arguments);
PreparedCommand PrepareAddressChange(const CommandArguments& arguments);
PreparedCommand PrepareSend(const CommandArguments& arguments);
PreparedCommand PrepareQuery(const CommandArguments& arguments);
PreparedCommand PrepareArchiveUpload(const CommandArguments& arguments);
PreparedCommand PrepareArchiveDownload(const CommandArguments& arguments);
PreparedCommand PrepareOptions(const CommandArguments& arguments);

}  // namespace zd
