// A small multicast event for the control models: any number of handlers, called in the order they
// were connected. Raising works on a copy, so a handler may connect or disconnect others meanwhile.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace zd {

template <typename... Args>
class Event {
  public:
    using Handler = std::function<void(Args...)>;
    using Connection = std::uint64_t;

    // Adds a handler; the result identifies it for Disconnect.
    Connection Connect(Handler handler) {
        const Connection id = ++m_lastId;
        m_handlers.emplace_back(id, std::move(handler));
        return id;
    }

    void Disconnect(Connection id) {
        std::erase_if(m_handlers, [id](const auto& entry) { return entry.first == id; });
    }

    void DisconnectAll() { m_handlers.clear(); }

    bool HasHandlers() const { return !m_handlers.empty(); }

    void Raise(Args... args) const {
        const auto handlers = m_handlers;
        for (const auto& entry : handlers) {
            entry.second(args...);
        }
    }

    void operator()(Args... args) const { Raise(args...); }

  private:
    std::vector<std::pair<Connection, Handler>> m_handlers;
    Connection m_lastId = 0;
};

}  // namespace zd
