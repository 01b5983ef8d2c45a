#include "tools/UsbLock.h"

#include "product/Product.h"

namespace UsbLock {

std::string ReadMeText() {
    // The pieces are joined as they are: some end without a blank.
    return std::string("Note that this will only prevent usage of") +
           "newly plugged-in USB Removable Drives or flash drives," +
           "devices that were plugged-in while this option was not " +
           "configured will continue to function normally." +
           "Also, devices that use the same device or hardware ID " +
           "(for example - 2 identical flash drives made by the same manufacturer) " +
           "will still function if one of them was plugged-in prior to the " +
           "configuration of this setting. In order to successfully block them " +
           "you will need to make sure no USB Removable Drive is plugged-in " +
           "while you set this option." + "\r\n\r\n" +
           "Note: This tool will allow you to block usage of USB removable disks," +
           "but will continue to allow usage of USB mice, keyboards or any other " +
           "USB-based device that is NOT a portable disk.";
}

std::string AboutText() {
    return "Author" + std::string(10, ' ') + std::string(Product::kAuthor) + "\r" + "E-mail" +
           std::string(11, ' ') + std::string(Product::kEmail) + "\r" + "Web Site" +
           std::string(6, ' ') + std::string(Product::kWebSite) + "\r" + "\r" +
           "Thank you for using this program";
}

std::optional<std::uint32_t> StateOf(const modReg::Value& value) {
    const auto* number = std::get_if<std::uint32_t>(&value);
    if (number != nullptr && (*number == kLocked || *number == kUnLocked)) {
        return *number;
    }
    const auto* text = std::get_if<std::string>(&value);
    if (text != nullptr && (*text == "3" || *text == "4")) {
        return static_cast<std::uint32_t>((*text)[0] - '0');
    }
    return std::nullopt;
}

Status ReadStatus(const modReg::Locations& where) {
    return modReg::ReadUsbStor(where);
}

bool LinesDisagree(const Status& status) {
    if (std::holds_alternative<std::monostate>(status.start) || !status.blockingLines ||
        status.found != modReg::Found::Read) {
        return false;
    }
    const bool lockNumber = StateOf(status.start) == kLocked;
    return *status.blockingLines != (lockNumber ? modReg::kBlockingLines : 0);
}

std::optional<std::uint32_t> StateOf(const Status& status) {
    if (status.found != modReg::Found::Read || LinesDisagree(status)) {
        return std::nullopt;
    }
    return StateOf(status.start);
}

std::string StatusText(const Status& status) {
    if (const auto state = StateOf(status)) {
        return *state == kLocked ? kLockedText : kUnLockedText;
    }
    const std::string neither = std::string(kNeitherText) + " (";
    switch (status.found) {
    case modReg::Found::NoKey:
        return neither + "no USBSTOR key)";
    case modReg::Found::NoValue:
        return neither + "no Start value)";
    case modReg::Found::OtherType:
        return std::holds_alternative<std::string>(status.start)
                   ? neither + "Start=" + modReg::ValueText(status.start) + ", not a 32-bit number)"
                   : neither + "Start is not a 32-bit number)";
    case modReg::Found::Read:
    case modReg::Found::Unreadable:
        break;
    }
    std::string text = neither + "Start=" + modReg::ValueText(status.start);
    if (LinesDisagree(status)) {
        text += status.blockingLines == 0
                    ? std::string(", no blocking lines")
                    : ", " + std::to_string(*status.blockingLines) + " of " +
                          std::to_string(modReg::kBlockingLines) + " blocking lines";
    }
    return text + ")";
}

std::error_code SetLocked(bool lock, const modReg::Locations& where) {
    modReg::Value value = std::string(lock ? "4" : "3");
    if (modReg::RegWriteValue(modReg::HKEY_LOCAL_MACHINE, modReg::kUsbStorKey, "Start", value,
                              modReg::REG_DWORD, where)) {
        return {};
    }
    const std::error_code error = modReg::RegLastError();
    return error ? error : std::make_error_code(std::errc::io_error);
}

modReg::Value ReadStart(const modReg::Locations& where) {
    return modReg::RegReadValue(modReg::HKEY_LOCAL_MACHINE, modReg::kUsbStorKey, "Start", where);
}

std::string FailureText(bool lock, const std::error_code& error) {
    const modReg::UsbStorWords words = modReg::UsbStorWordsHere();
    std::string reason;
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted) {
        reason = std::string(words.rights) + " rights are needed to change the USB storage " +
                 words.thing + ".";
    } else if (error == std::errc::read_only_file_system) {
        reason = "The " + std::string(words.folder) + " is on a read-only file system.";
    } else {
        reason =
            "The " + std::string(words.store) + " could not be written: " + error.message() + ".";
    }
    return std::string(lock ? " USB Port could not be locked."
                            : " USB Port could not be un-locked.") +
           "\r\n" + reason;
}

Status StartWatcher::poll() {
    const std::string stamp = modReg::UsbStorStamp(m_where);
    // An unknown stamp (the folder cannot be searched) is never cached.
    if (!stamp.empty() && m_stamp == stamp) {
        return m_status;
    }
    m_status = ReadStatus(m_where);
    ++m_reads;
    m_stamp = stamp.empty() ? std::nullopt : std::optional<std::string>(stamp);
    return m_status;
}

} // namespace UsbLock
