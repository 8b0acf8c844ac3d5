#include "ui/Button.h"

#include <algorithm>
#include <utility>

namespace zd {

Button::Button(std::string name, std::string caption)
    : Control(std::move(name)), m_caption(std::move(caption)) {}

void Button::SetCaption(const std::string& caption) {
    Assign(m_caption, caption);
}

bool Button::Click() {
    if (!IsEffectivelyEnabled()) {
        return false;
    }
    Clicked.Raise();
    return true;
}

CheckBox::CheckBox(std::string name, std::string caption)
    : Control(std::move(name)), m_caption(std::move(caption)) {}

void CheckBox::SetCaption(const std::string& caption) {
    Assign(m_caption, caption);
}

void CheckBox::SetValue(CheckState value) {
    if (Assign(m_value, value)) {
        Clicked.Raise();
    }
}

bool CheckBox::Click() {
    if (!IsEffectivelyEnabled()) {
        return false;
    }
    SetChecked(m_value != CheckState::Checked);
    return true;
}

OptionGroup::~OptionGroup() {
    for (OptionButton* option : m_options) {
        option->m_group = nullptr;
    }
}

void OptionGroup::Add(OptionButton& option) {
    if (option.m_group == this) {
        return;
    }
    if (option.m_group) {
        option.m_group->Remove(option);
    }
    option.m_group = this;
    m_options.push_back(&option);
    // A group holds at most one selected option: the newcomer gives way to the one already there.
    if (option.Value()) {
        for (OptionButton* other : m_options) {
            if (other != &option && other->Value()) {
                option.SetValue(false);
                break;
            }
        }
    }
}

void OptionGroup::Remove(OptionButton& option) {
    const auto it = std::find(m_options.begin(), m_options.end(), &option);
    if (it != m_options.end()) {
        m_options.erase(it);
        option.m_group = nullptr;
    }
}

OptionButton* OptionGroup::Selected() const {
    for (OptionButton* option : m_options) {
        if (option->Value()) {
            return option;
        }
    }
    return nullptr;
}

OptionButton::OptionButton(std::string name, std::string caption)
    : Control(std::move(name)), m_caption(std::move(caption)) {}

OptionButton::~OptionButton() {
    if (m_group) {
        m_group->Remove(*this);
    }
}

void OptionButton::SetCaption(const std::string& caption) {
    Assign(m_caption, caption);
}

void OptionButton::SetValue(bool value) {
    if (m_value == value) {
        return;
    }
    if (value && m_group) {
        for (OptionButton* other : m_group->Options()) {
            if (other != this) {
                other->SetValue(false);
            }
        }
    }
    Assign(m_value, value);
    if (value) {
        Clicked.Raise();
    }
}

bool OptionButton::Click() {
    if (!IsEffectivelyEnabled()) {
        return false;
    }
    SetValue(true);
    return true;
}

}  // namespace zd
