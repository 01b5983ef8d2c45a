#pragma once

#include "platform/CryptSource.h"
#include "platform/FileCrypt.h"

#include <cstddef>
#include <functional>
#include <span>
#include <system_error>
#include <vector>

/// The rewrite both directions of file encryption share: the file is read chunk by chunk, each
/// chunk turned into new bytes by the direction's step, and the new content replaces the file
/// only when all of it was written and the file did not change meanwhile.
namespace platform {

/// Bytes that are wiped however the function holding them returns.
class SecretBytes {
public:
    explicit SecretBytes(std::size_t size) : m_bytes(size) {}
    ~SecretBytes();
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    unsigned char* data() { return m_bytes.data(); }
    std::size_t size() const { return m_bytes.size(); }

private:
    std::vector<unsigned char> m_bytes;
};

/// How big a direction's chunks are: the bytes read from the file for each, and the most a step
/// makes of them.
struct CryptChunks {
    std::size_t read = 0;
    std::size_t written = 0;
};

/// One step of a rewrite: turns the `size` bytes read (less than a whole chunk only at the end
/// of the file) into the first `written` bytes of `out`, and says whether this chunk was the
/// `last`. An error stops the rewrite and leaves the file as it was.
using CryptStep =
    std::function<std::error_code(const unsigned char* in, std::size_t size, unsigned char* out,
                                  std::size_t& written, bool& last)>;

/// Rewrites the open file `source` through a temporary file beside it: writes `lead` first, then
/// reads chunks from where `source` stands and writes what `step` makes of each, until a step
/// says it made the last. Between chunks it tells `progress` how many bytes of the file were
/// read and asks `stop`. The file is replaced only when every one of its bytes was read, it did
/// not change meanwhile and no stop was asked for, even after the new content was flushed.
std::error_code rewriteInChunks(CryptSource& source, std::span<const unsigned char> lead,
                                CryptChunks chunks, const CryptStep& step,
                                const CryptProgress& progress, const CryptStop& stop);

} // namespace platform
