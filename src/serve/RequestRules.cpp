#include "serve/RequestRules.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>

#include "serve/ServedLine.h"

namespace zd {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
                   HexDigit(text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// A host name or address as a Host header or an origin gives it: letters, digits, dots, dashes,
// and for an IPv6 address in brackets colons as well.
bool PlausibleHost(std::string_view host, bool bracketed) {
    if (host.empty() || host.size() > 255) return false;
    return std::all_of(host.begin(), host.end(), [bracketed](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' ||
               (bracketed && (c == ':' || c == '%'));
    });
}

}  // namespace

bool SameToken(std::string_view given, std::string_view token) {
    if (given.size() != token.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

std::string CookieValue(std::string_view cookies, std::string_view name) {
    while (!cookies.empty()) {
        const auto end = cookies.find(';');
        std::string_view pair = Trimmed(cookies.substr(0, end));
        cookies = end == std::string_view::npos ? std::string_view() : cookies.substr(end + 1);
        const auto equals = pair.find('=');
        if (equals != std::string_view::npos && Trimmed(pair.substr(0, equals)) == name)
            return std::string(Trimmed(pair.substr(equals + 1)));
    }
    return {};
}

std::optional<std::string> QueryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const auto end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
        const auto equals = pair.find('=');
        if (PercentDecoded(pair.substr(0, equals)) == name)
            return equals == std::string_view::npos ? std::string()
                                                    : PercentDecoded(pair.substr(equals + 1));
    }
    return std::nullopt;
}

std::optional<std::string> BearerToken(std::string_view authorization) {
    authorization = Trimmed(authorization);
    if (authorization.size() < 7 || Lower(authorization.substr(0, 7)) != "bearer ")
        return std::nullopt;
    return std::string(Trimmed(authorization.substr(7)));
}

std::optional<Authority> ParseHost(std::string_view host, int defaultPort) {
    host = Trimmed(host);
    Authority authority;
    std::string_view rest;
    bool bracketed = false;
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        authority.host = Lower(host.substr(1, close - 1));
        rest = host.substr(close + 1);
        bracketed = true;
    } else {
        const auto colon = host.find(':');
        authority.host = Lower(host.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : host.substr(colon);
    }
    if (!PlausibleHost(authority.host, bracketed)) return std::nullopt;
    authority.port = defaultPort;
    if (!rest.empty()) {
        if (rest.front() != ':' || rest.size() < 2 || rest.size() > 6) return std::nullopt;
        rest.remove_prefix(1);
        int port = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), port);
        if (error != std::errc() || end != rest.data() + rest.size() || port < 1 || port > 65535)
            return std::nullopt;
        authority.port = port;
    }
    return authority;
}

std::optional<Origin> ParseOrigin(std::string_view origin) {
    origin = Trimmed(origin);
    const auto separator = origin.find("://");
    if (separator == std::string_view::npos) return std::nullopt;
    Origin parsed;
    parsed.scheme = Lower(origin.substr(0, separator));
    int defaultPort = 0;
    if (parsed.scheme == "http")
        defaultPort = 80;
    else if (parsed.scheme == "https")
        defaultPort = 443;
    else
        return std::nullopt;
    std::string_view authority = origin.substr(separator + 3);
    // An origin is scheme, host and port: no path, no user.
    if (authority.find_first_of("/@?#") != std::string_view::npos) return std::nullopt;
    const auto host = ParseHost(authority, defaultPort);
    if (!host) return std::nullopt;
    parsed.authority = *host;
    return parsed;
}

HostRules::HostRules(std::string scheme, int port, std::vector<std::string> names)
    : m_scheme(std::move(scheme)), m_port(port) {
    for (const std::string& name : names) {
        std::string lower = Lower(name);
        if (lower.size() >= 2 && lower.front() == '[' && lower.back() == ']')
            lower = lower.substr(1, lower.size() - 2);
        m_names.push_back(std::move(lower));
    }
}

bool HostRules::HostAllowed(std::string_view hostHeader) const {
    const auto host = ParseHost(hostHeader, m_scheme == "https" ? 443 : 80);
    if (!host || host->port != m_port) return false;
    return std::find(m_names.begin(), m_names.end(), host->host) != m_names.end();
}

bool HostRules::SameOrigin(std::string_view origin, std::string_view hostHeader) const {
    const auto parsed = ParseOrigin(origin);
    const auto host = ParseHost(hostHeader, m_scheme == "https" ? 443 : 80);
    return parsed && host && parsed->scheme == m_scheme && parsed->authority == *host;
}

nlohmann::ordered_json ReadRequestBody(std::string_view body) {
    if (Trimmed(body).empty()) return Json::object();
    std::vector<std::set<std::string>> objects;
    // The parser itself keeps no stack of its own calls; what walks the value afterwards does,
    // so the depth is bounded here, while it is read.
    auto guard = [&objects](int depth, Json::parse_event_t event, Json& parsed) {
        if (depth > kMaxBodyNesting)
            throw BadRequest("the body nests deeper than " + std::to_string(kMaxBodyNesting) +
                             " levels");
        if (event == Json::parse_event_t::object_start) objects.emplace_back();
        if (event == Json::parse_event_t::object_end && !objects.empty()) objects.pop_back();
        if (event == Json::parse_event_t::key && !objects.empty() &&
            !objects.back().insert(parsed.get<std::string>()).second)
            throw BadRequest("the body has the key " +
                             parsed.dump(-1, ' ', true, Json::error_handler_t::replace) +
                             " twice in one object");
        return true;
    };
    Json request;
    try {
        request = Json::parse(body.begin(), body.end(), guard);
    } catch (const Json::exception& error) {
        // A syntax error, and a number beyond what a double holds.
        throw BadRequest(std::string("the body is no JSON: ") + error.what());
    }
    if (!request.is_object()) throw BadRequest("the body must be a JSON object");
    return request;
}

}  // namespace zd
