#include "update/HttpSource.h"

#include <algorithm>
#include <array>
#include <curl/curl.h>
#include <exception>
#include <functional>
#include <limits>
#include <new>

namespace {

/// How long a connection may take to open, and the speed below which a transfer that lasts a
/// minute is given up: a stalled server never holds an update run for ever.
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedBytesPerSecond = 1024;
constexpr long kLowSpeedSeconds = 60;
constexpr long kMaxRedirects = 5;

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

/// libcurl's global state, set up once for the whole program (its own first call is not safe
/// while other threads use libcurl).
bool curlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

/// A part of a parsed address, empty when it has none.
std::string urlPart(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) {
        return {};
    }
    const CurlText owned(text);
    return owned.get();
}

/// What one transfer has received, for the write callback.
struct Transfer {
    std::uint64_t limit = 0;
    std::uint64_t received = 0;
    const std::function<bool(std::string_view)>* sink = nullptr;
    /// Why the callback stopped the transfer, or empty.
    std::string stopped;
    /// An exception the sink threw, handed on once libcurl has returned.
    std::exception_ptr failure;
};

std::size_t receive(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    if (bytes > transfer.limit - transfer.received) {
        transfer.stopped = "more than " + std::to_string(transfer.limit) + " bytes arrived";
        return 0;
    }
    transfer.received += bytes;
    try {
        if (!(*transfer.sink)(std::string_view(data, bytes))) {
            transfer.stopped = "the data could not be kept";
            return 0;
        }
    } catch (...) {
        // Never through libcurl's C frames: the exception is thrown again after it returns.
        transfer.failure = std::current_exception();
        return 0;
    }
    return bytes;
}

class HttpSource : public UpdateSource {
public:
    HttpSource(std::unique_ptr<CURL, CurlDeleter> handle, std::string base, bool secure)
        : m_handle(std::move(handle)), m_base(std::move(base)), m_secure(secure) {}

    std::string fetch(const std::string& name, std::uint64_t limit,
                      const std::function<bool(std::string_view piece)>& sink) override {
        CURL* handle = m_handle.get();
        const CurlText escaped(
            curl_easy_escape(handle, name.data(), static_cast<int>(name.size())));
        if (!escaped) {
            throw std::bad_alloc();
        }
        const std::string url = m_base + escaped.get();
        Transfer transfer;
        transfer.limit = limit;
        transfer.sink = &sink;
        std::array<char, CURL_ERROR_SIZE> message{};
        curl_easy_reset(handle);
        const bool set =
            curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, m_secure ? "https" : "http,https") ==
                CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR,
                             m_secure ? "https" : "http,https") == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond) ==
                CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds) == CURLE_OK &&
            // A Content-Length above the limit fails before any byte is taken.
            curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE,
                             static_cast<curl_off_t>(std::min<std::uint64_t>(
                                 limit, std::numeric_limits<curl_off_t>::max()))) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_USERAGENT, "kesto-update") == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, message.data()) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receive) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer) == CURLE_OK;
        if (!set) {
            return name + ": libcurl refused the transfer's settings";
        }
        const CURLcode result = curl_easy_perform(handle);
        // The buffer is this call's own: the handle must not keep pointing at it.
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, nullptr);
        if (transfer.failure) {
            std::rethrow_exception(transfer.failure);
        }
        if (result == CURLE_OK) {
            return {};
        }
        const std::string where = " (" + url + ")";
        if (!transfer.stopped.empty()) {
            return name + ": " + transfer.stopped + where;
        }
        if (result == CURLE_HTTP_RETURNED_ERROR) {
            long status = 0;
            curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
            return name + ": the server answered HTTP status " + std::to_string(status) + where;
        }
        if (result == CURLE_FILESIZE_EXCEEDED) {
            return name + ": the server offers more than " + std::to_string(limit) + " bytes" +
                   where;
        }
        const std::string reason = message[0] != '\0' ? message.data() : curl_easy_strerror(result);
        if (result == CURLE_PARTIAL_FILE) {
            return name + ": the transfer stopped early: " + reason + where;
        }
        return name + ": " + reason + where;
    }

    std::string describe() const override { return m_base; }

private:
    std::unique_ptr<CURL, CurlDeleter> m_handle;
    std::string m_base;
    bool m_secure;
};

} // namespace

std::unique_ptr<UpdateSource> OpenHttpSource(const std::string& url, std::string& error) {
    if (!curlReady()) {
        error = "libcurl could not be set up";
        return nullptr;
    }
    const std::unique_ptr<CURLU, CurlUrlDeleter> parsed(curl_url());
    if (!parsed) {
        throw std::bad_alloc();
    }
    // Only addresses that name their scheme: "example.org/x" is never guessed to be http.
    if (curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        error = "'" + url + "' is not a valid address";
        return nullptr;
    }
    const std::string scheme = urlPart(parsed.get(), CURLUPART_SCHEME);
    if (scheme != "http" && scheme != "https") {
        error = "'" + url + "' is neither an http:// nor an https:// address";
        return nullptr;
    }
    if (!urlPart(parsed.get(), CURLUPART_QUERY).empty() ||
        !urlPart(parsed.get(), CURLUPART_FRAGMENT).empty()) {
        error = "'" + url + "' names a folder, so it has no query or fragment";
        return nullptr;
    }
    // The files are found below the address's folder, so its path ends with '/'.
    std::string path = urlPart(parsed.get(), CURLUPART_PATH);
    if (path.empty() || path.back() != '/') {
        path += '/';
        if (curl_url_set(parsed.get(), CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK) {
            error = "'" + url + "' is not a valid address";
            return nullptr;
        }
    }
    const std::string base = urlPart(parsed.get(), CURLUPART_URL);
    std::unique_ptr<CURL, CurlDeleter> handle(curl_easy_init());
    if (base.empty() || !handle) {
        error = "libcurl could not prepare a transfer for '" + url + "'";
        return nullptr;
    }
    return std::make_unique<HttpSource>(std::move(handle), base, scheme == "https");
}
