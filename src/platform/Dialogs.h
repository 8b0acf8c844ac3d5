// The message box and the file dialog as the control uses them. The window shows real dialogs, the
// command line prints them, and RecordingDialogs keeps every box for tests and answers from a
// script.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace zd {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgResult { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
    std::string text;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    std::string title;
};

struct FileDialogRequest {
    bool save = false;
    std::string title;
    std::string filter;  // "Description|*.pattern", as the catalogue stores it
    int flags = 0;
    std::string defaultExtension;
    std::string initialPath;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual MsgResult MessageBox(const MessageBoxRequest& request) = 0;
    // The chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> FileDialog(const FileDialogRequest& request) = 0;
};

class RecordingDialogs : public Dialogs {
  public:
    MsgResult MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> FileDialog(const FileDialogRequest& request) override;

    std::vector<MessageBoxRequest> boxes;
    std::vector<FileDialogRequest> fileRequests;
    // Scripted answers, used in order; when empty, the first button's answer (Ok or Yes).
    std::deque<MsgResult> answers;
    // Scripted paths, used in order; when empty, the file dialog is cancelled.
    std::deque<std::optional<std::string>> paths;
};

}  // namespace zd
