#pragma once

#include "cli/Commands.h"

#include <map>
#include <string>

using CommandRunner = int (*)(const CommandLine&, CommandStreams);

/// The commands that need what only some systems provide (system facts, disk health, the USB
/// lock, file encryption), by name. Where the system has no backend for one, its runner says so
/// and fails.
const std::map<std::string, CommandRunner>& systemCommands();
