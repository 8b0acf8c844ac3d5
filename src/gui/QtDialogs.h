// The control's message boxes and file dialogs in the window: QMessageBox and QFileDialog, with
// the catalogue's filters ("Description|*.ext") turned into Qt's ("Description (*.ext)").
#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "platform/Dialogs.h"
#include "platform/Messages.h"

class QTranslator;
class QWidget;

namespace zd {

class QtDialogs : public Dialogs {
  public:
    explicit QtDialogs(QWidget* parent = nullptr);
    ~QtDialogs() override;
    void SetParent(QWidget* parent) { m_parent = parent; }
    // The catalogue whose language the boxes' buttons and Qt's own dialogs speak.
    void SetMessages(const MessageCatalogue* messages) { m_messages = messages; }
    // Qt's own texts (the buttons of its dialogs, the file dialog) in the catalogue's language:
    // Qt's German translation where it is installed; the boxes' buttons are set here anyway.
    void FollowLanguage();

    MsgResult MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> FileDialog(const FileDialogRequest& request) override;

  private:
    QWidget* m_parent;
    const MessageCatalogue* m_messages = nullptr;
    std::unique_ptr<QTranslator> m_qtTexts;
};

// "Archive|*.xml|All files|*.*" becomes "Archive (*.xml);;All files (*.*)"; a filter without a
// bar is taken as one pattern.
QString QtFileFilter(const std::string& filter);

}  // namespace zd
