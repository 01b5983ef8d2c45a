#include "tools/StoreFormat.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <unordered_set>

namespace modReg {

namespace {

std::string escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

} // namespace

std::string StoreName(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
}

std::vector<StoredValue> ParseValues(const std::string& text) {
    std::vector<StoredValue> values;
    std::unordered_set<std::string> seen;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) {
            continue;
        }
        auto name = unescape(line.substr(0, tab1));
        auto data = unescape(line.substr(tab2 + 1));
        int type = 0;
        const std::string typeText = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const auto [end2, ec] =
            std::from_chars(typeText.data(), typeText.data() + typeText.size(), type);
        if (!name || !data || ec != std::errc() || end2 != typeText.data() + typeText.size()) {
            continue;
        }
        // A set keeps a hostile file of many short lines from costing quadratic time.
        std::string key = StoreName(*name);
        if (seen.insert(key).second) {
            values.push_back({std::move(key), type, *data});
        }
    }
    return values;
}

std::string ValuesText(const std::vector<StoredValue>& values) {
    std::string text;
    for (const StoredValue& value : values) {
        text += escape(value.name) + "\t" + std::to_string(value.type) + "\t" + escape(value.data) +
                "\n";
    }
    return text;
}

} // namespace modReg
