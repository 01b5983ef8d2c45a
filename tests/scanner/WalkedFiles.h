#pragma once

#include "scanner/DetectionList.h"
#include "scanner/FolderWalk.h"
#include "testsupport/Unprivileged.h"

#include <functional>
#include <string>

namespace testsupport {

/// `path` as a walk rooted at its folder would hand it out (length 0 when it does not exist).
WalkedFile walkedFile(const std::string& path);

/// A row for the file at `path` as a scan rooted at its folder would list it.
DetectionEntry listedEntry(const std::string& path, const std::string& threat = "Test.Virus");

} // namespace testsupport
