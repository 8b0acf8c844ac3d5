// What the served page decides about a request from its text alone, before anything runs: whose
// token it carries, whether its Host names this server and its Origin is the page's own, and
// whether its body is a JSON object of bounded depth without a key twice. No sockets here: the
// HTTP layer asks, these answer.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace zd {

// Bodies nest no deeper than this: a backup's own limit and the body around it, with room.
constexpr int kMaxBodyNesting = 40;

// Compares without telling by its time how much of the token was right.
bool SameToken(std::string_view given, std::string_view token);

// The value of the cookie `name` among a Cookie header's pairs, or empty.
std::string CookieValue(std::string_view cookies, std::string_view name);

// The percent-decoded value of `name` in a query string ("a=1&token=x"), or none.
std::optional<std::string> QueryValue(std::string_view query, std::string_view name);

// The token of a "Bearer TOKEN" Authorization header, or none when it is no bearer.
std::optional<std::string> BearerToken(std::string_view authorization);

// Where a request is meant to go: the host (lower case, IPv6 without brackets) and the port.
struct Authority {
    std::string host;
    int port = 0;
    bool operator==(const Authority&) const = default;
};

// A Host header ("name", "name:port", "[v6]:port"); the port defaults to the scheme's. None for
// what is no host.
std::optional<Authority> ParseHost(std::string_view host, int defaultPort);

// An Origin header ("scheme://host[:port]"): its scheme and authority. None for "null" and for
// what is no origin.
struct Origin {
    std::string scheme;
    Authority authority;
};
std::optional<Origin> ParseOrigin(std::string_view origin);

// The names a request's Host may give for this server: the scheme it serves, its port, and the
// addresses and names it answers to.
class HostRules {
  public:
    HostRules() = default;
    HostRules(std::string scheme, int port, std::vector<std::string> names);

    // The Host header names this server (an allowed name or address, and its port).
    bool HostAllowed(std::string_view hostHeader) const;
    // The Origin is the page this server serves: the same scheme, and the host and port of the
    // request's Host header.
    bool SameOrigin(std::string_view origin, std::string_view hostHeader) const;

    const std::string& Scheme() const { return m_scheme; }
    int Port() const { return m_port; }

  private:
    std::string m_scheme = "http";
    int m_port = 0;
    std::vector<std::string> m_names;
};

// A request's body as the commands read it: empty, or one JSON object nested no deeper than
// kMaxBodyNesting with no key twice in an object. Throws BadRequest (ServedLine.h) naming what is
// wrong.
nlohmann::ordered_json ReadRequestBody(std::string_view body);

}  // namespace zd
