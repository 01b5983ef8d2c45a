#include "testsupport/HttpFileServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

/// The longest request head read; a longer one is answered 400.
constexpr std::size_t kMaxHead = 8192;
/// How long a connection may take to send its request.
constexpr int kRequestTimeoutMs = 5000;

void sendAll(int connection, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

/// `text` with its %XX escapes decoded; a broken escape stays as it is.
std::string percentDecoded(const std::string& text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

/// The request head of `connection`, up to the blank line; empty when it does not come in time.
std::string readHead(int connection) {
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHead) {
        pollfd ready{connection, POLLIN, 0};
        if (::poll(&ready, 1, kRequestTimeoutMs) <= 0) {
            return {};
        }
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return {};
        }
        head.append(buffer, static_cast<std::size_t>(got));
    }
    return head;
}

} // namespace

HttpFileServer::HttpFileServer(std::string folder) : m_folder(std::move(folder)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0 || ::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        return;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

HttpFileServer::~HttpFileServer() {
    if (m_thread.joinable()) {
        const char stop = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_stopPipe[1], &stop, 1);
        m_thread.join();
    }
    for (const int descriptor : {m_listener, m_stopPipe[0], m_stopPipe[1]}) {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
}

std::string HttpFileServer::url() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

void HttpFileServer::answerNotFound(const std::string& name) {
    const std::lock_guard lock(m_mutex);
    m_notFound.push_back(name);
}

void HttpFileServer::stopAfter(const std::string& name, std::uint64_t bytes) {
    const std::lock_guard lock(m_mutex);
    m_stopAfter[name] = bytes;
}

std::vector<std::string> HttpFileServer::requests() const {
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

void HttpFileServer::serve() {
    for (;;) {
        pollfd ready[2] = {{m_listener, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0) {
            continue;
        }
        if (ready[1].revents != 0) {
            return;
        }
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            answer(connection);
            ::close(connection);
        }
    }
}

void HttpFileServer::answer(int connection) {
    const std::string head = readHead(connection);
    // "GET /NAME HTTP/1.1"
    const std::size_t pathStart = head.find(' ');
    const std::size_t pathEnd =
        pathStart == std::string::npos ? std::string::npos : head.find(' ', pathStart + 1);
    if (head.rfind("GET ", 0) != 0 || pathEnd == std::string::npos || head[pathStart + 1] != '/') {
        sendAll(connection, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n"
                            "Connection: close\r\n\r\n");
        return;
    }
    const std::string name = percentDecoded(head.substr(pathStart + 2, pathEnd - pathStart - 2));
    std::uint64_t limit = UINT64_MAX;
    bool notFound = false;
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(name);
        notFound = std::find(m_notFound.begin(), m_notFound.end(), name) != m_notFound.end();
        if (const auto stop = m_stopAfter.find(name); stop != m_stopAfter.end()) {
            limit = stop->second;
        }
    }
    std::ifstream file;
    if (!notFound && !name.empty() && name.find('/') == std::string::npos && name != "." &&
        name != "..") {
        file.open(m_folder + "/" + name, std::ios::binary);
    }
    if (!file.is_open() || !file) {
        sendAll(connection, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n"
                            "Connection: close\r\n\r\n");
        return;
    }
    const std::string body{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    sendAll(connection, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                        "Content-Length: " +
                            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n");
    sendAll(connection,
            std::string_view(body).substr(
                0, static_cast<std::size_t>(std::min<std::uint64_t>(limit, body.size()))));
}

} // namespace testsupport
