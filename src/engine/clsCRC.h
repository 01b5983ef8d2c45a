#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// A CRC-32 result as callers receive it: the signed 32-bit bit pattern of the checksum, or no
/// value when no checksum could be made (empty, missing or unreadable file).
using CrcResult = std::optional<std::int32_t>;

/// CRC-32 calculator with a running register. Results are the standard CRC-32 (zip, PNG) handed out
/// as signed 32-bit values. `Algorithm` is kept for callers but does not change the computation.
class clsCRC {
public:
    clsCRC();

    /// Runs `bytes` through the register; an empty buffer changes nothing. Returns `Value()`.
    std::int32_t AddBytes(std::string_view bytes);
    /// Any non-zero value reads back as -1; resets the register.
    void Algorithm(std::int32_t value);
    std::int32_t Algorithm() const { return m_algorithmFlag; }
    /// Clears, then adds `bytes`.
    std::int32_t CalculateBytes(std::string_view bytes);
    /// CRC-32 of the whole file, or no value for an empty, missing or unreadable file.
    CrcResult CalculateFile(const std::string& path);
    /// The complement of the register.
    std::int32_t Value() const { return static_cast<std::int32_t>(~m_register); }
    /// Stores `value` in the register as it is (not complemented). Throws std::out_of_range when
    /// the value does not fit a signed 32-bit integer.
    void Value(std::int64_t value);
    void Clear() { m_register = 0xFFFFFFFFu; }

private:
    std::int16_t m_algorithmFlag = 0;
    std::uint32_t m_register = 0xFFFFFFFFu;
};

/// The checksum text of a result: upper-case hexadecimal of the unsigned bit pattern without
/// leading zeros; "0" for zero and for no value.
std::string ChecksumText(CrcResult result);
