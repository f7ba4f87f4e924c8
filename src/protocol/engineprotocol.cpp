#include "engineprotocol.h"

#include <charconv>
#include <cstdio>

namespace quillivar::protocol {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void AppendPercent(std::string& out, unsigned char byte) {
    char buffer[4];
    std::snprintf(buffer, sizeof buffer, "%%%02X", byte);
    out += buffer;
}

}  // namespace

std::string Escape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (const char c : field) {
        if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
            AppendPercent(out, static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '%' && i + 2 < field.size()) {
            const int high = HexValue(field[i + 1]);
            const int low = HexValue(field[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::string JoinFields(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += '\t';
        line += Escape(fields[i]);
    }
    return line;
}

std::vector<std::string> SplitFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(Unescape(line.substr(start, tab == std::string_view::npos ? tab : tab - start)));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return fields;
}

std::optional<long long> ParseNumber(std::string_view text, long long lowest, long long highest) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < lowest || value > highest) return std::nullopt;
    return value;
}

std::string FileUrl(std::string_view absolutePath) {
    std::string url = "file://";
    for (const char c : absolutePath) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                                byte == '_' || byte == '~' || byte == '/';
        if (unreserved) {
            url += c;
        } else {
            AppendPercent(url, byte);
        }
    }
    return url;
}

}  // namespace quillivar::protocol
