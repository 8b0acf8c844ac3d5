// The luminaire bar of the window: the device chosen in the tree with its name and place from the
// site file, fields to change them, Identify, and during the naming round the steps of the round
// (save and on to the next unnamed device, skip, end).
#pragma once

#include <QDockWidget>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "engine/SiteFile.h"
#include "platform/Messages.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zd {

struct LuminaireFields {
    std::string name;
    std::string room;
    std::string floor;
    std::string note;
};

class LuminaireDock : public QDockWidget {
  public:
    LuminaireDock(Language language, QWidget* parent);

    // What the buttons do; the fields go with Save and Next.
    std::function<void()> onIdentify;
    std::function<void(const LuminaireFields&)> onSave;
    std::function<void(const LuminaireFields&)> onNext;
    std::function<void()> onSkip;
    std::function<void()> onEnd;

    // The device at address with its luminaire (none: not named yet); round: the naming round's
    // buttons instead of Save, with what it has come to ("3 of 5 named").
    void ShowDevice(int address, const SiteEntry* entry, bool round = false,
                    const std::string& roundText = {});
    // No device chosen: the fields and buttons are off.
    void ShowNone();
    // While the luminaire shows itself.
    void SetIdentifying(bool identifying, const std::string& text = {});
    LuminaireFields Fields() const;
    QLineEdit* NameEdit() const { return m_name; }

  private:
    Language m_language;
    QLabel* m_device;
    QLabel* m_state;
    // What the round has come to, shown again once an identify has ended.
    QString m_roundText;
    QLineEdit* m_name;
    QLineEdit* m_room;
    QLineEdit* m_floor;
    QLineEdit* m_note;
    QPushButton* m_identify;
    QPushButton* m_save;
    QPushButton* m_next;
    QPushButton* m_skip;
    QPushButton* m_end;
};

}  // namespace zd
