#include "platform/CryptStream.h"

#include "platform/AtomicFile.h"

#include <mutex>
#include <sodium.h>
#include <utility>

namespace platform {

namespace {

std::mutex& hookMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<void(CryptStage)>& hookSlot() {
    static std::function<void(CryptStage)> hook;
    return hook;
}

void reach(CryptStage stage) {
    std::function<void(CryptStage)> hook;
    {
        const std::lock_guard<std::mutex> lock(hookMutex());
        hook = hookSlot();
    }
    if (hook) {
        hook(stage);
    }
}

bool stopped(const CryptStop& stop) {
    return stop && stop();
}

/// Renames the new content over the file, unless the file changed since it was opened or a stop
/// was asked for. The last check comes after the slow flush of the new content, right before
/// the rename.
std::error_code finish(const CryptSource& source, AtomicReplacement& replacement,
                       const CryptStop& stop) {
    if (const std::error_code error = source.checkUnchanged()) {
        return error;
    }
    return replacement.commit([&]() -> std::error_code {
        reach(CryptStage::Flushed);
        if (stopped(stop)) {
            return make_error_code(CryptError::Interrupted);
        }
        return source.checkUnchanged();
    });
}

} // namespace

SecretBytes::~SecretBytes() {
    sodium_memzero(m_bytes.data(), m_bytes.size());
}

CryptHook setCryptHook(CryptHook hook) {
    const std::lock_guard<std::mutex> lock(hookMutex());
    return std::exchange(hookSlot(), std::move(hook));
}

std::error_code rewriteInChunks(CryptSource& source, std::span<const unsigned char> lead,
                                CryptChunks chunks, const CryptStep& step,
                                const CryptProgress& progress, const CryptStop& stop) {
    AtomicReplacement replacement;
    if (const std::error_code error =
            replacement.begin(source.folder(), source.name(), source.mode())) {
        return error;
    }
    if (!lead.empty()) {
        if (const std::error_code error = replacement.write(lead.data(), lead.size())) {
            return error;
        }
    }
    // Either side of a step may be plain text.
    SecretBytes in(chunks.read);
    SecretBytes out(chunks.written);
    for (;;) {
        if (stopped(stop)) {
            return make_error_code(CryptError::Interrupted);
        }
        std::size_t got = 0;
        if (const std::error_code error = source.read(in.data(), in.size(), got)) {
            return error;
        }
        std::size_t written = 0;
        bool last = false;
        if (const std::error_code error = step(in.data(), got, out.data(), written, last)) {
            return error;
        }
        if (progress) {
            progress(source.bytesRead(), source.size());
        }
        if (const std::error_code error = replacement.write(out.data(), written)) {
            return error;
        }
        reach(CryptStage::ChunkWritten);
        if (last) {
            return finish(source, replacement, stop);
        }
    }
}

} // namespace platform
