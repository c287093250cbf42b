#include "platform/smb_url.h"

#include <charconv>

#include "platform/text.h"

namespace rd::smb {

namespace {

constexpr std::string_view kScheme = "smb://";

// One name of the address, decoded; false with `problem` set when it cannot be.
bool Decode(std::string_view text, std::string& out, std::string& problem) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? text::HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? text::HexDigit(text[i + 2]) : -1;
        if (low < 0) {
            problem = "a '%' that is not followed by two hexadecimal digits";
            return false;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (out.find('\0') != std::string::npos) {
        problem = "a name with a NUL character";
        return false;
    }
    if (out.find('/') != std::string::npos) {
        problem = "a name with an encoded '/'";
        return false;
    }
    return true;
}

bool ParsePort(std::string_view text, Url& url, std::string& problem) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 65535) {
        problem = "the port '" + std::string(text) + "' is not a number from 1 to 65535";
        return false;
    }
    url.port = static_cast<uint16_t>(value);
    return true;
}

// "[user@]host[:port]"
bool ParseServer(std::string_view text, Url& url, std::string& problem) {
    if (const size_t at = text.rfind('@'); at != std::string_view::npos) {
        const std::string_view user = text.substr(0, at);
        if (user.find(':') != std::string_view::npos) {
            problem = "a password in the address (give it in a credentials file)";
            return false;
        }
        if (!Decode(user, url.user, problem))
            return false;
        text.remove_prefix(at + 1);
    }
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos ||
            (close + 1 < text.size() && text[close + 1] != ':')) {
            problem = "an IPv6 address without its closing ']'";
            return false;
        }
        url.host = text.substr(1, close - 1);
        if (close + 1 < text.size())
            port = text.substr(close + 2);
        if (close + 1 < text.size() && !ParsePort(port, url, problem))
            return false;
    } else {
        const size_t colon = text.find(':');
        url.host = text.substr(0, colon);
        if (colon != std::string_view::npos && !ParsePort(text.substr(colon + 1), url, problem))
            return false;
    }
    if (url.host.empty()) {
        problem = "no server";
        return false;
    }
    return true;
}

// "share/folder/..." with empty names ("a//b", a trailing "/") and "." left out.
bool ParseNames(std::string_view text, Url& url, std::string& problem) {
    std::string name;
    bool first = true;
    while (!text.empty() || first) {
        const size_t slash = text.find('/');
        const std::string_view part = text.substr(0, slash);
        text = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
        if (!Decode(part, name, problem))
            return false;
        if (name == "..") {
            problem = "a '..' name";
            return false;
        }
        if (first && (name.empty() || name == ".")) {
            problem = "no share";
            return false;
        }
        if (first)
            url.share = name;
        else if (!name.empty() && name != ".")
            url.folders.push_back(name);
        first = false;
    }
    return true;
}

}  // namespace

std::string Url::Server() const {
    std::string server = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (port)
        server += ":" + std::to_string(*port);
    return server;
}

std::string Url::Path() const {
    std::string path;
    for (const std::string& folder : folders)
        path += (path.empty() ? "" : "/") + folder;
    return path;
}

bool IsUrl(std::string_view text) {
    if (text.size() < kScheme.size())
        return false;
    for (size_t i = 0; i < kScheme.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != kScheme[i])
            return false;
    }
    return true;
}

std::optional<Url> ParseUrl(std::string_view text, std::string& problem) {
    if (!IsUrl(text)) {
        problem = "not an smb:// address";
        return std::nullopt;
    }
    if (text.find('\0') != std::string_view::npos) {
        problem = "a name with a NUL character";
        return std::nullopt;
    }
    text.remove_prefix(kScheme.size());
    const size_t slash = text.find('/');
    Url url;
    if (!ParseServer(text.substr(0, slash), url, problem))
        return std::nullopt;
    if (slash == std::string_view::npos) {
        problem = "no share";
        return std::nullopt;
    }
    if (!ParseNames(text.substr(slash + 1), url, problem))
        return std::nullopt;
    return url;
}

}  // namespace rd::smb
