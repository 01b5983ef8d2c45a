#include "guard/GuardLog.h"

#include "platform/FileOps.h"
#include "platform/InputFile.h"
#include "platform/OutputHandle.h"
#include "platform/PathText.h"

namespace {

/// How long one wait for room in the text output lasts before the writer looks whether the log
/// is ending.
constexpr int kWaitSliceMs = 100;
/// How long an ending log waits for a stuck output, all records together.
constexpr auto kEndingGrace = std::chrono::seconds(1);

/// `text` as one line that a single write takes whole: cut (before a UTF-8 character that would
/// not fit, and marked "...") to kAtomicOutputWrite bytes with its line end.
std::string fittedLine(std::string text) {
    constexpr std::string_view kCut = "...";
    const std::size_t room = platform::kAtomicOutputWrite - 1;
    if (text.size() > room) {
        std::size_t end = room - kCut.size();
        for (int back = 0;
             back < 3 && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80;
             ++back) {
            --end;
        }
        text.resize(end);
        text.append(kCut);
    }
    text += '\n';
    return text;
}

} // namespace

GuardLog::GuardLog(GuardLogOptions options) : m_options(std::move(options)) {
    openFile();
    m_writer = std::thread([this] { run(); });
}

GuardLog::~GuardLog() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_giveUpAt = std::chrono::steady_clock::now() + kEndingGrace;
    m_ending.store(true, std::memory_order_release);
    m_wake.notify_all();
    m_writer.join();
}

void GuardLog::add(GuardRecord record) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping || m_queue.size() >= m_options.capacity) {
            m_dropped.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        m_queue.push_back(std::move(record));
    }
    m_wake.notify_one();
}

std::string GuardLog::fileProblem() const {
    const std::lock_guard lock(m_problemMutex);
    return m_fileProblem;
}

void GuardLog::run() {
    for (;;) {
        GuardRecord record;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
            if (m_queue.empty()) {
                return;
            }
            record = std::move(m_queue.front());
            m_queue.pop_front();
        }
        // The file first: it never waits for a reader, so a stuck journal leaves it behind by
        // one record at most.
        if (m_file.isOpen()) {
            writeFile(GuardRecordJson(record) + '\n');
        }
        if (m_options.textOutput != platform::kNoHandle && !m_textClosed) {
            writeText(fittedLine(GuardRecordText(record)));
        }
    }
}

void GuardLog::writeText(const std::string& line) {
    std::string_view rest = line;
    while (!rest.empty()) {
        if (!waitForText()) {
            return;
        }
        std::size_t written = 0;
        const std::error_code error = platform::writeOutput(m_options.textOutput, rest, written);
        if (error == std::errc::resource_unavailable_try_again ||
            error == std::errc::operation_would_block) {
            // A socket that said it had room took nothing after all: wait for it again.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (error) {
            m_textClosed = true;
            return;
        }
        rest.remove_prefix(written);
    }
}

bool GuardLog::waitForText() {
    for (;;) {
        if (m_ending.load(std::memory_order_acquire) &&
            std::chrono::steady_clock::now() >= m_giveUpAt) {
            return false;
        }
        switch (platform::waitForOutput(m_options.textOutput, kWaitSliceMs)) {
        case platform::OutputState::Ready:
            return true;
        case platform::OutputState::Closed:
            m_textClosed = true;
            return false;
        case platform::OutputState::Full:
            break;
        }
    }
}

void GuardLog::openFile() {
    const std::string& path = m_options.filePath;
    if (path.empty()) {
        return;
    }
    const std::size_t separator = platform::lastPathSeparator(path);
    if (separator != std::string::npos && separator > 0) {
        // The log folder holds what was found where: open to the administrators' group alone.
        if (const std::error_code error = platform::createFolder(path.substr(0, separator), 0750)) {
            giveUpFile("cannot make the log folder: " + error.message());
            return;
        }
    }
    if (const std::error_code error = m_file.open(path, 0640)) {
        giveUpFile("cannot open the log file: " + error.message());
    }
}

void GuardLog::writeFile(const std::string& line) {
    std::uint64_t size = 0;
    if (const std::error_code error = m_file.size(size)) {
        giveUpFile("cannot write the log file: " + error.message());
        return;
    }
    if (size > 0 && size + line.size() > m_options.fileLimit) {
        rotateFile();
        if (!m_file.isOpen()) {
            return;
        }
    }
    if (const std::error_code error = m_file.write(line)) {
        giveUpFile("cannot write the log file: " + error.message());
    }
}

void GuardLog::rotateFile() {
    m_file.close();
    const std::string& path = m_options.filePath;
    if (const std::error_code error = platform::renameFile(path, path + ".1")) {
        giveUpFile("cannot rename the full log file: " + error.message());
        return;
    }
    if (const std::error_code error = m_file.open(path, 0640)) {
        giveUpFile("cannot open the log file: " + error.message());
    }
}

void GuardLog::giveUpFile(const std::string& problem) {
    m_file.close();
    {
        const std::lock_guard lock(m_problemMutex);
        m_fileProblem = problem;
    }
    // Said on the text output too, where an administrator looks when the file stays empty.
    GuardRecord record;
    record.timeNs = platform::wallClockNs();
    record.event = GuardEvent::Error;
    record.path = m_options.filePath;
    record.detail = problem;
    add(std::move(record));
}
