// How an engine procedure ended, typed: a failure kind a front end can branch on, with the text a
// user reads (the message catalogue's where the control has one).
#pragma once

#include <optional>
#include <ostream>
#include <string>

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

// The end of a procedure: no failure, or its kind and text.
struct EngineOutcome {
    EngineFailure failure = EngineFailure::None;
    std::string text;

    bool Ok() const { return failure == EngineFailure::None; }
    // Keeps the first failure met.
    void Fail(EngineFailure kind, std::string why) {
        if (failure != EngineFailure::None) return;
        failure = kind;
        text = std::move(why);
    }
};

}  // namespace zd
