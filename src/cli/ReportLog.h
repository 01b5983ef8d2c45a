#pragma once

#include "platform/AppendFile.h"

#include <ostream>
#include <streambuf>
#include <string>
#include <system_error>

/// `--log FILE`: a stream that writes to the result stream and appends the same bytes to a log
/// file. A failed write to the log never stops the report; it is kept to be told at the end.
class ReportLog final : private std::streambuf {
public:
    explicit ReportLog(std::ostream& out) : m_out(out), m_stream(this) {}
    ~ReportLog() override;
    ReportLog(const ReportLog&) = delete;
    ReportLog& operator=(const ReportLog&) = delete;

    /// Opens the log, which is created when missing; until then only `out` is written.
    std::error_code open(const std::string& path);
    /// Where the report goes.
    std::ostream& stream() { return m_stream; }
    /// Writes what the log still holds; the first write that failed, if any.
    std::error_code finish();

private:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;
    void writeLog();

    std::ostream& m_out;
    std::ostream m_stream;
    platform::AppendFile m_file;
    std::string m_pending; // bytes for the log since the last flush
    std::error_code m_error;
};
