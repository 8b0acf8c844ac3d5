// How an engine procedure ended, typed: a failure kind a front end can branch on, the message a
// user reads by its number in the catalogue (or the host's wording) and its arguments, worded in
// the reader's language where it is shown. The same message type carries the notes and questions
// a procedure has for the user on its way: the engine shows nothing itself.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Messages.h"

namespace zd {

enum class EngineFailure {
    None,
    // Nothing was sent: the terminal's mode, firmware or the options do not allow the procedure.
    Refused,
    // The device communication failed: the connection is gone.
    CommunicationLost,
    // The procedure ran but did not achieve what it was started for (a duplicate address, gear
    // left without one, a device that did not answer).
    Incomplete,
    // The caller cancelled it.
    Cancelled,
    // An error inside the procedure (the control's error convention).
    Error,
};

inline const char* EngineFailureName(EngineFailure failure) {
    switch (failure) {
        case EngineFailure::None:
            return "none";
        case EngineFailure::Refused:
            return "refused";
        case EngineFailure::CommunicationLost:
            return "communication-lost";
        case EngineFailure::Incomplete:
            return "incomplete";
        case EngineFailure::Cancelled:
            return "cancelled";
        case EngineFailure::Error:
            return "error";
    }
    return "unknown";
}

inline std::ostream& operator<<(std::ostream& out, EngineFailure failure) {
    return out << EngineFailureName(failure);
}

// The catalogue's messages the engine tells a user about, by their number; the wording puts each
// together as the window has always shown it (its punctuation, a second line, a number).
namespace msg {
inline constexpr int kInternalError = 5095;  // ": " and the terminal's result byte
inline constexpr int kDoubleAddress = 5104;  // ": " and the address
inline constexpr int kNoFreeAddress = 5110;
inline constexpr int kAllAddressesChanged = 5111;
inline constexpr int kAddressLimit = 5114;  // with "The addressing will be terminate"
inline constexpr int kNotDaliMode = 5122;
inline constexpr int kNotDsiMode = 5123;
inline constexpr int kFirmwareLacksFunction = 5124;
inline constexpr int kNoProcessImage = 5135;  // with the setup mode's question
inline constexpr int kGearAddressed = 5140;   // ": " and their count
inline constexpr int kSameShortAddress = 5142;
inline constexpr int kNoCompareReply = 5143;
inline constexpr int kNoFreeShortAddress = 5144;
inline constexpr int kNoReplyAfterAddress = 5145;
inline constexpr int kStateMachineError = 5146;
inline constexpr int kKeepsClashing = 5151;
inline constexpr int kArchiveClearsDevices = 5157;  // the count and the addresses
inline constexpr int kCollisionsGoOn = 5158;
inline constexpr int kStillMissing = 5159;
}  // namespace msg

// One message for the user: a catalogue number, or (number 0) a wording of the host's texts in
// English with "%1".. for its arguments. Arguments are numbers, names and addresses: they stay as
// they are in every language.
struct EngineMessage {
    EngineMessage() = default;
    EngineMessage(int number, std::string hostWording = {}, std::vector<std::string> arguments = {})
        : id(number), wording(std::move(hostWording)), args(std::move(arguments)) {}

    int id = 0;
    std::string wording;
    std::vector<std::string> args;

    bool Empty() const { return id == 0 && wording.empty(); }
};

// The message as the user reads it in language.
std::string MessageText(const EngineMessage& message, Language language);

// How much a told message weighs, which the window shows as its box's icon and title.
enum class NoticeWeight { Information, Warning, Critical, Question };

// Something a procedure has to tell on its way or at its end: a failure (with its kind), a note,
// or a question (answered through the procedure's confirm call).
struct EngineNotice {
    EngineFailure failure = EngineFailure::None;
    EngineMessage message;
    NoticeWeight weight = NoticeWeight::Information;
};

// The box a window shows for the notice: its text, an OK button (Yes and No for a question), the
// icon of its weight and the catalogue's title for it.
MessageBoxRequest NoticeBox(const EngineNotice& notice, const MessageCatalogue& messages);

// Where a procedure's notices go the moment they arise, so that a front end can show them in
// their place between the frames (the window's boxes, the command line's messages). Without a
// listener they are only returned in the reports.
using NoticeListener = std::function<void(const EngineNotice&)>;

// The end of a procedure: no failure, or its kind, its message and that message's text in the
// language of the run.
struct EngineOutcome {
    EngineFailure failure = EngineFailure::None;
    std::string text;
    // The message the text was worded from; empty where the procedure worded the text itself.
    EngineMessage message;
    // What the procedure told on its way, in order; a failure it told is among them.
    std::vector<EngineNotice> notices;

    bool Ok() const { return failure == EngineFailure::None; }
    // Keeps the first failure met.
    void Fail(EngineFailure kind, std::string why) {
        if (failure != EngineFailure::None) return;
        failure = kind;
        text = std::move(why);
    }
    void Fail(EngineFailure kind, EngineMessage why, Language language) {
        if (failure != EngineFailure::None) return;
        failure = kind;
        text = MessageText(why, language);
        message = std::move(why);
    }
    void Fail(const EngineNotice& notice, Language language) {
        Fail(notice.failure, notice.message, language);
    }
};

}  // namespace zd
