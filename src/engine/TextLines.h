#pragma once

#include <cstddef>
#include <string_view>

/// Splits text into lines the way a line-by-line text read does: CR LF, a lone CR and a lone LF
/// each end a line; the last line needs no ending; bytes are never interpreted otherwise.
class TextLines {
public:
    explicit TextLines(std::string_view text) : m_text(text) {}

    /// Gives the next line; false at the end of the text.
    bool next(std::string_view& line) {
        if (m_pos >= m_text.size()) {
            return false;
        }
        const std::size_t end = m_text.find_first_of("\r\n", m_pos);
        if (end == std::string_view::npos) {
            line = m_text.substr(m_pos);
            m_pos = m_text.size();
            return true;
        }
        line = m_text.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        if (m_text[end] == '\r' && m_pos < m_text.size() && m_text[m_pos] == '\n') {
            ++m_pos;
        }
        return true;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};
