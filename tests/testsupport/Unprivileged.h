#pragma once

#include <functional>

namespace testsupport {

/// Runs `body` in a child process with the rights of an unprivileged user when the tests run as
/// root (else as the current user); returns its exit status, or -1 when it did not exit.
int runUnprivileged(const std::function<int()>& body);

} // namespace testsupport
