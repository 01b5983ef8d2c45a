#include "tools/UsbLock.h"

#include "platform/EntryStamp.h"
#include "product/Product.h"

namespace UsbLock {

namespace {

/// What tells one state of the rule file from another without reading it: "none" while there is
/// no file, empty when that cannot be told (say, the folder cannot be searched).
std::string ruleFileStamp(const std::string& path) {
    platform::FileStamp stamp;
    if (const std::error_code error = platform::entryStamp(path, stamp)) {
        return error == std::errc::no_such_file_or_directory ? "none" : "";
    }
    return std::to_string(stamp.device) + ":" + std::to_string(stamp.inode) + ":" +
           std::to_string(stamp.size) + ":" + std::to_string(stamp.modifiedNs) + ":" +
           std::to_string(stamp.changedNs);
}

} // namespace

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
    std::string text;
    if (modReg::ReadRuleText(where, text)) {
        return {};
    }
    return {modReg::StartFromRuleText(text), modReg::BlockingLinesIn(text)};
}

bool LinesDisagree(const Status& status) {
    if (std::holds_alternative<std::monostate>(status.start)) {
        return false;
    }
    const bool lockNumber = StateOf(status.start) == kLocked;
    return status.blockingLines != (lockNumber ? modReg::kBlockingLines : 0);
}

std::optional<std::uint32_t> StateOf(const Status& status) {
    return LinesDisagree(status) ? std::nullopt : StateOf(status.start);
}

std::string StatusText(const Status& status) {
    if (const auto state = StateOf(status)) {
        return *state == kLocked ? kLockedText : kUnLockedText;
    }
    std::string text = std::string(kNeitherText) + " (Start=" + modReg::ValueText(status.start);
    if (LinesDisagree(status)) {
        text += status.blockingLines == 0
                    ? std::string(", no blocking lines")
                    : ", " + std::to_string(status.blockingLines) + " of " +
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
    std::string reason;
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted) {
        reason = "Root rights are needed to change the USB storage rule.";
    } else if (error == std::errc::read_only_file_system) {
        reason = "The rule folder is on a read-only file system.";
    } else {
        reason = "The rule file could not be written: " + error.message() + ".";
    }
    return std::string(lock ? " USB Port could not be locked."
                            : " USB Port could not be un-locked.") +
           "\r\n" + reason;
}

Status StartWatcher::poll() {
    const std::string stamp = ruleFileStamp(m_where.ruleFolder + "/" + modReg::kRuleFileName);
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
