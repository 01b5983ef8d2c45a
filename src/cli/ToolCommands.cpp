#include "cli/Commands.h"
#include "platform/FileCrypt.h"
#include "platform/Interrupt.h"
#include "tools/FileEncryption.h"
#include "tools/UsbLock.h"

namespace {

/// The failure text on one line: the window's CR LF becomes a blank.
std::string oneLine(const std::string& text) {
    const std::size_t at = text.find("\r\n");
    return at == std::string::npos ? text : text.substr(0, at) + " " + text.substr(at + 2);
}

int runCrypt(const CommandLine& line, CommandStreams streams, const std::string& keyFolder,
             bool encrypt) {
    const char* verb = encrypt ? "encrypt" : "decrypt";
    if (line.operands.size() != 1) {
        return usageError(streams, std::string(verb) + " takes exactly one FILE");
    }
    const std::string& path = line.operands.front();
    std::error_code error;
    {
        // Ctrl+C stops the rewrite between two chunks, so its temporary file is removed.
        const platform::InterruptGuard guard;
        const platform::CryptStop stop = [] { return platform::interruptRequested(); };
        error = encrypt ? platform::encryptFile(path, keyFolder, {}, stop)
                        : platform::decryptFile(path, keyFolder, {}, stop);
    }
    if (error) {
        streams.err << "kesto: cannot " << verb << " '" << path
                    << "': " << FileEncryption::FailureReason(error, keyFolder) << '\n';
        return error == platform::CryptError::Interrupted ? kExitInterrupted : kExitError;
    }
    streams.out << "Success\n";
    return kExitClean;
}

} // namespace

int runUsbLockAt(const CommandLine& line, CommandStreams streams, const modReg::Locations& where) {
    const std::string action = line.operands.size() == 1 ? line.operands.front() : std::string();
    if (action == "status") {
        const UsbLock::Status status = UsbLock::ReadStatus(where);
        if (status.found == modReg::Found::Unreadable) {
            streams.err << "kesto: the USB storage " << modReg::UsbStorPlace(where)
                        << " cannot be read\n";
            return kExitError;
        }
        streams.out << UsbLock::StatusText(status) << '\n';
        return kExitClean;
    }
    if (action == "lock" || action == "unlock") {
        const bool lock = action == "lock";
        if (const std::error_code error = UsbLock::SetLocked(lock, where)) {
            streams.err << "kesto:" << oneLine(UsbLock::FailureText(lock, error)) << '\n';
            return kExitError;
        }
        const std::string done = lock ? UsbLock::kLockedMessage : UsbLock::kUnLockedMessage;
        streams.out << done.substr(1) << '\n';
        return kExitClean;
    }
    return usageError(streams, "usb-lock takes one of: status, lock, unlock");
}

int runUsbLock(const CommandLine& line, CommandStreams streams) {
    return runUsbLockAt(line, streams, modReg::Locations{});
}

int runEncryptWith(const CommandLine& line, CommandStreams streams, const std::string& keyFolder) {
    return runCrypt(line, streams, keyFolder, true);
}

int runDecryptWith(const CommandLine& line, CommandStreams streams, const std::string& keyFolder) {
    return runCrypt(line, streams, keyFolder, false);
}

int runEncrypt(const CommandLine& line, CommandStreams streams) {
    return runEncryptWith(line, streams, platform::defaultKeyFolder());
}

int runDecrypt(const CommandLine& line, CommandStreams streams) {
    return runDecryptWith(line, streams, platform::defaultKeyFolder());
}
