#pragma once

#include "guard/Guard.h"
#include "platform/InputFile.h"
#include "scanner/FileCheck.h"

#include <string>

class ExtraSignatures;
class SignatureDatabase;

/// Moves a listed file that was written into the quarantine folder, as a scan's quarantine
/// action moves a listed file: the file is reached again from its folder without following a
/// link, and moved only while it is still the file that was checked (`stamp`); one that changed
/// since is examined again with `database` and `extra` and moved only when still listed.
GuardActionResult QuarantineWrittenFile(const SignatureDatabase& database,
                                        const std::string& quarantineFolder,
                                        const std::string& path, const platform::FileStamp& stamp,
                                        const OpenFileVerdict& verdict,
                                        const ExtraSignatures* extra = nullptr);
