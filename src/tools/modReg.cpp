#include "tools/modReg.h"

namespace modReg {

namespace {

thread_local std::error_code t_lastError;

} // namespace

long Fail(std::error_code error, long status) {
    t_lastError = error;
    return status;
}

bool RegEnsureKey(std::uint32_t root, const std::string& path, const Locations& where) {
    KeyHandle key;
    return RegOpenKey(root, path, true, key, where) == ERROR_SUCCESS;
}

bool RegWriteValue(std::uint32_t root, const std::string& path, const std::string& name,
                   Value& value, int type, const Locations& where) {
    const std::error_code ensureError =
        RegEnsureKey(root, path, where) ? std::error_code() : RegLastError();
    if (const auto* text = std::get_if<std::string>(&value); text != nullptr && text->empty()) {
        value = std::string(" ");
    }
    KeyHandle key;
    const bool written = RegOpenKey(root, path, false, key, where) == ERROR_SUCCESS &&
                         RegSetTyped(key, name, type, value) == ERROR_SUCCESS;
    // A key (or rule folder) that is missing because it could not be made, say for want of the
    // right to make it, fails for that reason rather than for being missing.
    if (!written && ensureError && RegLastError() == std::errc::no_such_file_or_directory) {
        t_lastError = ensureError;
    }
    return written;
}

Value RegReadValue(std::uint32_t root, const std::string& path, const std::string& name,
                   const Locations& where) {
    KeyHandle key;
    Value value;
    if (RegOpenKey(root, path, false, key, where) != ERROR_SUCCESS ||
        RegQueryTyped(key, name, value) != ERROR_SUCCESS) {
        return {};
    }
    if (const auto* text = std::get_if<std::string>(&value); text != nullptr && *text == " ") {
        return std::string();
    }
    return value;
}

std::error_code RegLastError() {
    return t_lastError;
}

} // namespace modReg
