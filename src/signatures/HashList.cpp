#include "signatures/HashList.h"

#include <array>
#include <cstring>
#include <utility>

namespace {

enum class LineKind { Entry, Skipped, Bad };

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool hasControlByte(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

/// The value of each hexadecimal digit, 0xFF for every other byte.
constexpr std::array<std::uint8_t, 256> kHexValues = [] {
    std::array<std::uint8_t, 256> values{};
    values.fill(0xFF);
    for (int i = 0; i < 10; ++i) {
        values['0' + i] = static_cast<std::uint8_t>(i);
    }
    for (int i = 0; i < 6; ++i) {
        values['a' + i] = static_cast<std::uint8_t>(10 + i);
        values['A' + i] = static_cast<std::uint8_t>(10 + i);
    }
    return values;
}();

bool readDigest(std::string_view hex, HashEntry& entry) {
    switch (hex.size()) {
    case 2 * platform::digestLength(platform::HashKind::Md5):
        entry.kind = platform::HashKind::Md5;
        break;
    case 2 * platform::digestLength(platform::HashKind::Sha1):
        entry.kind = platform::HashKind::Sha1;
        break;
    case 2 * platform::digestLength(platform::HashKind::Sha256):
        entry.kind = platform::HashKind::Sha256;
        break;
    default:
        return false;
    }
    entry.digest = {};
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const std::uint8_t high = kHexValues[static_cast<unsigned char>(hex[i])];
        const std::uint8_t low = kHexValues[static_cast<unsigned char>(hex[i + 1])];
        if ((high | low) > 0x0F) {
            return false;
        }
        entry.digest[i / 2] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

/// `*` for any size, else decimal digits that fit in 64 bits.
bool readSize(std::string_view text, std::optional<std::uint64_t>& size) {
    if (text == "*") {
        size.reset();
        return true;
    }
    if (text.empty()) {
        return false;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    size = value;
    return true;
}

LineKind readLine(std::string_view line, std::string_view defaultName, HashEntry& entry) {
    if (line.size() > kMaxHashLineBytes) {
        return LineKind::Bad;
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    line = trimmed(line);
    if (line.empty() || line.front() == '#') {
        return LineKind::Skipped;
    }
    const std::size_t first = line.find(':');
    if (first == std::string_view::npos) {
        entry.size.reset();
        entry.name = defaultName;
        return readDigest(line, entry) ? LineKind::Entry : LineKind::Bad;
    }
    const std::size_t second = line.find(':', first + 1);
    if (second == std::string_view::npos || line.find(':', second + 1) != std::string_view::npos) {
        return LineKind::Bad;
    }
    const std::string_view name = trimmed(line.substr(second + 1));
    if (!readDigest(trimmed(line.substr(0, first)), entry) ||
        !readSize(trimmed(line.substr(first + 1, second - first - 1)), entry.size) ||
        name.empty() || hasControlByte(name)) {
        return LineKind::Bad;
    }
    entry.name = name;
    return LineKind::Entry;
}

} // namespace

HashListParser::HashListParser(std::string defaultName, Sink sink)
    : m_defaultName(std::move(defaultName)), m_sink(std::move(sink)) {
    m_pending.reserve(kMaxHashLineBytes);
}

void HashListParser::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const void* found = std::memchr(bytes.data(), '\n', bytes.size());
        if (found == nullptr) {
            // The line goes on in the next piece. Only a line that may still be good is kept.
            if (!m_overlong) {
                if (m_pending.size() + bytes.size() > kMaxHashLineBytes) {
                    m_overlong = true;
                    m_pending.clear();
                } else {
                    m_pending.append(bytes);
                }
            }
            m_consumed += bytes.size();
            return;
        }
        const auto length =
            static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
        if (m_overlong || m_pending.size() + length > kMaxHashLineBytes) {
            ++m_lineNumber;
            badLine();
        } else if (m_pending.empty()) {
            line(bytes.substr(0, length));
        } else {
            m_pending.append(bytes.substr(0, length));
            line(m_pending);
        }
        m_overlong = false;
        m_pending.clear();
        m_consumed += length + 1;
        m_lineOffset = m_consumed;
        bytes.remove_prefix(length + 1);
    }
}

void HashListParser::finish() {
    if (m_overlong) {
        ++m_lineNumber;
        badLine();
    } else if (!m_pending.empty()) {
        line(m_pending);
    }
    m_overlong = false;
    m_pending.clear();
    m_lineOffset = m_consumed;
}

void HashListParser::line(std::string_view text) {
    ++m_lineNumber;
    HashEntry entry;
    switch (readLine(text, m_defaultName, entry)) {
    case LineKind::Entry:
        entry.lineOffset = m_lineOffset;
        entry.lineNumber = m_lineNumber;
        ++m_report.entries;
        m_sink(entry);
        break;
    case LineKind::Bad:
        badLine();
        break;
    case LineKind::Skipped:
        break;
    }
}

void HashListParser::badLine() {
    ++m_report.badLines;
    if (m_report.firstBadLines.size() < kMaxReportedBadLines) {
        m_report.firstBadLines.push_back(m_lineNumber);
    }
}

std::optional<HashEntry> ParseHashLine(std::string_view line, std::string_view defaultName) {
    HashEntry entry;
    if (readLine(line, defaultName, entry) != LineKind::Entry) {
        return std::nullopt;
    }
    return entry;
}
