// The control's message boxes and file dialogs in the window: QMessageBox and QFileDialog, with
// the catalogue's filters ("Description|*.ext") turned into Qt's ("Description (*.ext)").
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "platform/Dialogs.h"

class QWidget;

namespace zd {

class QtDialogs : public Dialogs {
  public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    MsgResult MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> FileDialog(const FileDialogRequest& request) override;

  private:
    QWidget* m_parent;
};

// "Archive|*.xml|All files|*.*" becomes "Archive (*.xml);;All files (*.*)"; a filter without a
// bar is taken as one pattern.
QString QtFileFilter(const std::string& filter);

}  // namespace zd
