// Dialogs for the command line: every box is printed to stderr, and questions are answered from
// the command line's options instead of a person.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Utf8.h"

namespace zd {

// "error", "warning", "question", "info" or "message": how a box's icon reads on a console.
const char* IconWord(MsgIcon icon);
// Box texts use CR LF; a console wants LF, and valid UTF-8.
std::string ForConsole(std::string_view text);

class ConsoleDialogs : public Dialogs {
  public:
    explicit ConsoleDialogs(std::FILE* out = stderr) : m_out(out) {}

    MsgResult MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> FileDialog(const FileDialogRequest& request) override;

    // The answer to a Yes/No question (--yes gives Yes, otherwise No: nothing is destroyed
    // unasked).
    void SetAssumeYes(bool yes) { m_assumeYes = yes; }
    // The path a file dialog returns; without one the dialog counts as cancelled.
    void SetFilePath(std::optional<std::string> path) { m_filePath = std::move(path); }
    // Runs before a box is printed: a progress line on the console makes room for it.
    void SetBeforePrint(std::function<void()> beforePrint) {
        m_beforePrint = std::move(beforePrint);
    }
    // Error boxes are kept but not printed while held: a run that ends on one says what went
    // wrong once, as its error, rather than under the box's source and number.
    void SetHoldErrors(bool hold) { m_holdErrors = hold; }
    // Every box shown so far, in order, so that a command can report them with its result.
    const std::vector<MessageBoxRequest>& Shown() const { return m_shown; }
    // A session held open reports each job's boxes with that job alone.
    void ForgetShown() { m_shown.clear(); }
    void SetShown(std::vector<MessageBoxRequest> shown) { m_shown = std::move(shown); }
    bool AssumeYes() const { return m_assumeYes; }

  private:
    std::FILE* m_out;
    bool m_assumeYes = false;
    bool m_holdErrors = false;
    std::optional<std::string> m_filePath;
    std::vector<MessageBoxRequest> m_shown;
    std::function<void()> m_beforePrint;
};

}  // namespace zd
