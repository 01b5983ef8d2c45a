#pragma once

#include <type_traits>
#include <utility>

namespace platform {

/// Puts a replacement into a replaceable global handler (a test seam) for the lifetime of this
/// object, and what it replaced back when the object goes, however the scope is left.
///
/// `exchange` is the seam's setter: it installs its argument and returns the handler installed
/// before, as std::exchange does. Seams may nest; each puts back what it found.
template <class Handler> class ScopedSeam {
public:
    using Exchange = Handler (*)(Handler);

    ScopedSeam(Handler (*exchange)(Handler), std::type_identity_t<Handler> replacement)
        : m_exchange(exchange), m_previous(exchange(std::move(replacement))) {}
    ~ScopedSeam() { m_exchange(std::move(m_previous)); }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    Exchange m_exchange;
    Handler m_previous;
};

} // namespace platform
