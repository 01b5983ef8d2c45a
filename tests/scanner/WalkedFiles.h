#pragma once

#include "scanner/DetectionList.h"
#include "scanner/FolderWalk.h"

#include <functional>
#include <string>

namespace testsupport {

/// `path` as a walk rooted at its folder would hand it out (length 0 when it does not exist).
WalkedFile walkedFile(const std::string& path);

/// A row for the file at `path` as a scan rooted at its folder would list it.
DetectionEntry listedEntry(const std::string& path, const std::string& threat = "Test.Virus");

/// Runs `body` in a child process with the rights of an unprivileged user when the tests run as
/// root (else as the current user); returns its exit status, or -1 when it did not exit.
int runUnprivileged(const std::function<int()>& body);

} // namespace testsupport
