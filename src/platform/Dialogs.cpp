#include "platform/Dialogs.h"

namespace zd {

MsgResult RecordingDialogs::MessageBox(const MessageBoxRequest& request) {
    boxes.push_back(request);
    if (!answers.empty()) {
        MsgResult answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (request.buttons == MsgButtons::YesNo || request.buttons == MsgButtons::YesNoCancel)
               ? MsgResult::Yes
               : MsgResult::Ok;
}

std::optional<std::string> RecordingDialogs::FileDialog(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (paths.empty()) return std::nullopt;
    auto path = paths.front();
    paths.pop_front();
    return path;
}

}  // namespace zd
