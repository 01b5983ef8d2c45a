#include "cli/ReportLog.h"

namespace {

// Bytes collected before the log is written without a flush.
constexpr std::size_t kLogChunk = 64 * 1024;

} // namespace

ReportLog::~ReportLog() {
    writeLog();
}

std::error_code ReportLog::open(const std::string& path) {
    return m_file.open(path);
}

void ReportLog::writeLog() {
    if (m_pending.empty()) {
        return;
    }
    if (!m_error && m_file.isOpen()) {
        m_error = m_file.write(m_pending);
    }
    m_pending.clear();
}

std::error_code ReportLog::finish() {
    m_out.flush();
    writeLog();
    return m_error;
}

ReportLog::int_type ReportLog::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof())) {
        return traits_type::not_eof(ch);
    }
    const char c = traits_type::to_char_type(ch);
    return xsputn(&c, 1) == 1 ? ch : traits_type::eof();
}

std::streamsize ReportLog::xsputn(const char* text, std::streamsize count) {
    m_out.write(text, count);
    if (m_file.isOpen()) {
        m_pending.append(text, static_cast<std::size_t>(count));
        if (m_pending.size() >= kLogChunk) {
            writeLog();
        }
    }
    return count;
}

int ReportLog::sync() {
    m_out.flush();
    writeLog();
    return 0;
}
