// Clickable models: the command button, the check box and the option button with its group.
// As in classic forms, a programmatic change of a value raises the same event as the user's
// gesture.
#pragma once

#include <string>
#include <vector>

#include "ui/Control.h"

namespace zd {

class Button : public Control {
  public:
    explicit Button(std::string name, std::string caption = {});

    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);

    // The user's click (or the code's): raises Clicked, unless the button cannot be used now
    // (disabled itself or in a disabled container); returns whether it was raised.
    bool Click();
    Event<> Clicked;

  private:
    std::string m_caption;
};

enum class CheckState { Unchecked = 0, Checked = 1, Grayed = 2 };

class CheckBox : public Control {
  public:
    explicit CheckBox(std::string name, std::string caption = {});

    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);

    CheckState Value() const { return m_value; }
    bool IsChecked() const { return m_value == CheckState::Checked; }
    // A new value raises Clicked, like the user's click; an equal one raises nothing.
    void SetValue(CheckState value);
    void SetChecked(bool checked) {
        SetValue(checked ? CheckState::Checked : CheckState::Unchecked);
    }

    // The user's click: toggles between checked and unchecked (grayed becomes checked); ignored
    // when the box cannot be used now.
    bool Click();
    Event<> Clicked;

  private:
    std::string m_caption;
    CheckState m_value = CheckState::Unchecked;
};

class OptionButton;

// The option buttons of which at most one is selected (the ones sharing a container on a form).
class OptionGroup {
  public:
    OptionGroup() = default;
    ~OptionGroup();
    OptionGroup(const OptionGroup&) = delete;
    OptionGroup& operator=(const OptionGroup&) = delete;

    void Add(OptionButton& option);
    void Remove(OptionButton& option);
    const std::vector<OptionButton*>& Options() const { return m_options; }
    // The selected option, or null.
    OptionButton* Selected() const;

  private:
    std::vector<OptionButton*> m_options;
};

class OptionButton : public Control {
  public:
    explicit OptionButton(std::string name, std::string caption = {});
    ~OptionButton() override;

    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);

    bool Value() const { return m_value; }
    // true on an unselected option: selects it, clears the others of its group, then raises Clicked
    // on this one. false clears it and raises nothing. An equal value raises nothing.
    void SetValue(bool value);

    // The user's click: selects the option; ignored when it cannot be used now.
    bool Click();
    Event<> Clicked;

    OptionGroup* Group() const { return m_group; }

  private:
    friend class OptionGroup;
    std::string m_caption;
    bool m_value = false;
    OptionGroup* m_group = nullptr;
};

}  // namespace zd
