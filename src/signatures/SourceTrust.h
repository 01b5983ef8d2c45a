#pragma once

#include "platform/FileFacts.h"

#include <cstdint>
#include <string>

/// Whether a signature source may feed this program's scans. A source decides what is listed, and
/// a listed file may be deleted: a file or folder that another user owns, or that others may
/// write to, would let that user steer a scan run by root (or by someone else). Returns why the
/// source is refused, or empty when it may be used. `user` is the effective user running the
/// scan; root's own files are trusted by everyone.
std::string SourceRefusal(const platform::FileFacts& facts, std::uint32_t user);
