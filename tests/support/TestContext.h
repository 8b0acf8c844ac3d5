// A virtual clock, recording dialogs and an English catalogue, bundled for tests; and the error an
// action throws.
#pragma once

#include <functional>
#include <optional>

#include "platform/Context.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/VirtualScheduler.h"

namespace zd::test {

struct TestContext {
    VirtualScheduler scheduler;
    RecordingDialogs dialogs;
    MessageCatalogue messages{Language::English};
    Context context{scheduler, dialogs, messages};
};

// The error of type E the action throws; none when it throws none.
template <class E = ControlError>
std::optional<E> Thrown(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& error) {
        return error;
    }
    return std::nullopt;
}
// Its description, or "<no error>".
inline std::string ErrorOf(const std::function<void()>& action) {
    const auto error = Thrown(action);
    return error ? error->Description() : "<no error>";
}

}  // namespace zd::test
