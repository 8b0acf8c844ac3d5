#include "frame/PageEvents.h"

#include <limits>

#include "devices/NumericText.h"
#include "platform/Error.h"

namespace zd {

namespace {

constexpr std::int32_t kErrInvalidArgument = 5;

template <typename T>
void Store(T* target, std::int32_t value) {
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
        throw ControlError("Overflow", kLibraryTitle, kErrOverflow);
    }
    *target = static_cast<T>(value);
}

}  // namespace

EventParams& EventParams::BindRef(std::string name, Ref ref) {
    for (auto& [n, r] : m_params) {
        if (n == name) {
            r = ref;
            return *this;
        }
    }
    m_params.emplace_back(std::move(name), ref);
    return *this;
}

const EventParams::Ref* EventParams::Find(std::string_view name) const {
    for (const auto& [n, r] : m_params) {
        if (n == name) return &r;
    }
    return nullptr;
}

std::int32_t EventParams::Get(std::string_view name) const {
    const Ref* ref = Find(name);
    if (!ref) {
        throw ControlError("Invalid procedure call or argument: " + std::string(name),
                           kLibraryTitle, kErrInvalidArgument);
    }
    return std::visit(
        [](auto* p) -> std::int32_t {
            if constexpr (std::is_same_v<std::remove_pointer_t<decltype(p)>, std::string>) {
                return TextToLong(*p);
            } else {
                return static_cast<std::int32_t>(*p);
            }
        },
        *ref);
}

void EventParams::Set(std::string_view name, std::int32_t value) {
    const Ref* ref = Find(name);
    if (!ref) {
        throw ControlError("Invalid procedure call or argument: " + std::string(name),
                           kLibraryTitle, kErrInvalidArgument);
    }
    std::visit(
        [value](auto* p) {
            if constexpr (std::is_same_v<std::remove_pointer_t<decltype(p)>, std::string>) {
                *p = std::to_string(value);
            } else {
                Store(p, value);
            }
        },
        *ref);
}

const char* PageClassName(PageKind kind) {
    switch (kind) {
        case PageKind::Commands:
            return "configZD4270Commands";
        case PageKind::LightControl:
            return "configZD4270LightControl";
        case PageKind::Variables:
            return "configZD4270Variables";
        case PageKind::Groups:
            return "configZD4270Groups";
        case PageKind::Scenes:
            return "configZD4270Scenes";
        case PageKind::Emergency:
            return "configZD4270Emergency";
    }
    return "";
}

}  // namespace zd
