#include "platform/SmartIoctl.h"

#include "platform/AtaPassThrough.h"

#include <algorithm>

namespace platform::smart_ioctl {

namespace {

constexpr std::string_view kDrivePrefix = "\\\\.\\physicaldrive";
constexpr std::size_t kMaxDigits = 3;

void put32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t get32(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
        value = value << 8 | bytes[at + i];
    }
    return value;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::vector<std::uint8_t> nvmeQuery(NvmePage page) {
    const bool identify = page == NvmePage::IdentifyController;
    const std::size_t pageSize = identify ? kNvmeIdentifySize : kNvmeLogSize;
    std::vector<std::uint8_t> buffer(kQueryHeaderSize + kProtocolDataSize + pageSize, 0);
    put32(buffer, 0, identify ? kAdapterProtocolSpecificProperty : kDeviceProtocolSpecificProperty);
    // QueryType 0: PropertyStandardQuery.
    const std::span<std::uint8_t> data = std::span(buffer).subspan(kQueryHeaderSize);
    put32(data, kProtocolTypeAt, kProtocolNvme);
    put32(data, kDataTypeAt, identify ? kNvmeDataIdentify : kNvmeDataLogPage);
    put32(data, kRequestValueAt, identify ? kIdentifyController : kHealthLog);
    // The sub-value is the namespace for Identify (none for the controller) and the low half of
    // the log offset for a log page (from its start); the other sub-values stay zero.
    put32(data, kDataOffsetAt, static_cast<std::uint32_t>(kProtocolDataSize));
    put32(data, kDataLengthAt, static_cast<std::uint32_t>(pageSize));
    return buffer;
}

std::optional<std::span<const std::uint8_t>>
nvmePageOf(std::span<const std::uint8_t> answer, std::size_t returned, std::size_t pageSize) {
    const std::size_t written = std::min(returned, answer.size());
    if (written < kDescriptorSize || get32(answer, 0) != kDescriptorSize ||
        get32(answer, 4) != kDescriptorSize) {
        return std::nullopt;
    }
    const std::span<const std::uint8_t> data = answer.first(written).subspan(kDescriptorHeaderSize);
    const std::size_t offset = get32(data, kDataOffsetAt);
    const std::size_t length = get32(data, kDataLengthAt);
    if (offset < kProtocolDataSize || length < pageSize || offset > data.size() ||
        data.size() - offset < pageSize) {
        return std::nullopt;
    }
    return data.subspan(offset, pageSize);
}

std::array<std::uint8_t, kQueryHeaderSize + 4> deviceDescriptorQuery() {
    std::array<std::uint8_t, kQueryHeaderSize + 4> query{};
    put32(query, 0, kStorageDeviceProperty);
    return query;
}

std::optional<std::uint32_t> busTypeOf(std::span<const std::uint8_t> answer, std::size_t returned) {
    if (std::min(returned, answer.size()) < kBusTypeAt + 4) {
        return std::nullopt;
    }
    return get32(answer, kBusTypeAt);
}

std::optional<SmartKind> kindOfBus(std::uint32_t busType) {
    switch (busType) {
    case kBusAta:
    case kBusSata:
        return SmartKind::AtaDisk;
    case kBusNvme:
        return SmartKind::Nvme;
    default:
        return std::nullopt;
    }
}

std::optional<int> physicalDriveNumber(std::string_view path) {
    if (path.size() <= kDrivePrefix.size() ||
        !std::equal(kDrivePrefix.begin(), kDrivePrefix.end(), path.begin(),
                    [](char wanted, char given) { return wanted == lower(given); })) {
        return std::nullopt;
    }
    const std::string_view digits = path.substr(kDrivePrefix.size());
    if (digits.size() > kMaxDigits ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int number = 0;
    for (const char c : digits) {
        number = number * 10 + (c - '0');
    }
    return number;
}

std::string physicalDrivePath(int number) {
    return "\\\\.\\PhysicalDrive" + std::to_string(number);
}

std::optional<SmartVersionBlock> perDeviceVersion(const SmartVersionBlock& answer, int slot) {
    const std::uint8_t map = answer[3];
    if (map == 0 || slot < 0 || slot > 3) {
        return std::nullopt;
    }
    SmartVersionBlock block = answer;
    const bool atapi = (map & 0xF0) != 0;
    block[3] = static_cast<std::uint8_t>(1u << slot | (atapi ? 1u << (slot + 4) : 0u));
    return block;
}

bool ataRequestAllowed(std::uint32_t controlCode, const SmartInParams& in, std::size_t outSize) {
    if (!ata::passThroughCdb(in)) {
        return false;
    }
    const bool read = ata::readsSector(in);
    return controlCode == (read ? kSmartRcvDriveData : kSmartSendDriveCommand) &&
           outSize == (read ? kSmartDataOutSize : kSmartStatusOutSize);
}

bool ataAnswerOk(std::span<const std::uint8_t> out, std::size_t returned, bool readsSector) {
    const std::size_t written = std::min(returned, out.size());
    if (written < kSmartStatusOutSize || out[kDriverErrorAt] != 0) {
        return false;
    }
    return !readsSector || written > kSmartStatusOutSize;
}

} // namespace platform::smart_ioctl
