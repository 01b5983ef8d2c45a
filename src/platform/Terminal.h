#pragma once

namespace platform {

/// Whether standard error is shown on a terminal (a console window on Windows; the NUL device
/// and files are not), so that a progress line redrawn in place can be shown there.
bool stderrIsTerminal();

/// Prepares the standard streams of the command line once, at start. On Windows: binary mode for
/// standard input, output and error (a "\n" written stays one byte, as scripts and JSON readers
/// expect), UTF-8 as the console's output code page, and escape sequences ("\r\033[K") on a
/// console. Nothing is needed on Linux.
void setUpConsole();

} // namespace platform
