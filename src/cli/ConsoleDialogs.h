// Dialogs for the command line: every box is printed to stderr, and questions are answered from
// the command line's options instead of a person.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "platform/Dialogs.h"

namespace zd {

class ConsoleDialogs : public Dialogs {
public:
    explicit ConsoleDialogs(std::FILE* out = stderr) : m_out(out) {}

    MsgResult MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> FileDialog(const FileDialogRequest& request) override;

    // The answer to a Yes/No question (--yes gives Yes, otherwise No: nothing is destroyed unasked).
    void SetAssumeYes(bool yes) { m_assumeYes = yes; }
    // The path a file dialog returns; without one the dialog counts as cancelled.
    void SetFilePath(std::optional<std::string> path) { m_filePath = std::move(path); }
    int BoxesShown() const { return m_boxesShown; }

private:
    std::FILE* m_out;
    bool m_assumeYes = false;
    std::optional<std::string> m_filePath;
    int m_boxesShown = 0;
};

}  // namespace zd
