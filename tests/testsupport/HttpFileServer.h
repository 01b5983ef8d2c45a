#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

/// A small HTTP/1.1 server on 127.0.0.1 for the tests of downloads: it answers GET requests with
/// the files of one folder, one connection at a time, on a thread of its own, and closes each
/// connection after its answer. A test can make it answer 404 for a name, or stop in the middle
/// of a file after a given number of bytes while the header promised the whole file.
class HttpFileServer {
public:
    /// Serves the files of `folder` on a free port; `port()` is 0 when it could not listen.
    explicit HttpFileServer(std::string folder);
    ~HttpFileServer();
    HttpFileServer(const HttpFileServer&) = delete;
    HttpFileServer& operator=(const HttpFileServer&) = delete;

    std::uint16_t port() const { return m_port; }
    /// "http://127.0.0.1:PORT/".
    std::string url() const;

    /// Answers 404 for `name` from now on, whether or not the folder holds it.
    void answerNotFound(const std::string& name);
    /// Sends only the first `bytes` bytes of `name` and then closes the connection.
    void stopAfter(const std::string& name, std::uint64_t bytes);
    /// The names asked for so far (percent escapes decoded), in order.
    std::vector<std::string> requests() const;

private:
    void serve();
    void answer(int connection);

    std::string m_folder;
    int m_listener = -1;
    int m_stopPipe[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::map<std::string, std::uint64_t> m_stopAfter;
    std::vector<std::string> m_notFound;
    std::vector<std::string> m_requests;
};

} // namespace testsupport
