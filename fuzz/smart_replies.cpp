// Drive replies: IDENTIFY and SMART data sectors, NVMe pages and SCSI sense data. The input is
// read by each parser; none may read past its buffer, and the results must keep their shape.
#include "FuzzCheck.h"
#include "platform/AtaPassThrough.h"
#include "smart/NvmePages.h"
#include "smart/mSMARTCall.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

template <std::size_t N>
std::array<std::uint8_t, N> zeroFilled(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, N> page{};
    std::copy_n(data, std::min(size, N), page.begin());
    return page;
}

void checkSector(const std::array<std::uint8_t, 512>& sector) {
    mSMARTDef::DriveInfo info;
    mSMARTCall::ParseIdentify(sector, info);
    FUZZ_CHECK_EQ(info.SerialNumber.size(), 20u);
    FUZZ_CHECK_EQ(info.Model.size(), 40u);
    FUZZ_CHECK_EQ(info.FirmWare.size(), 8u);
    FUZZ_CHECK(info.Cilinders >= -32768 && info.Cilinders <= 32767);

    mSMARTCall::ParseAttributes(sector, info);
    mSMARTCall::ParseThresholds(sector, info);
    std::size_t ids = 0;
    for (std::size_t i = 0; i < 30; ++i) {
        ids += sector[2 + 12 * i] != 0 ? 1 : 0;
    }
    FUZZ_CHECK_EQ(static_cast<std::size_t>(info.NumAttributes), ids);
    FUZZ_CHECK_EQ(info.Attributes.size(), ids + 1);
    FUZZ_CHECK(info.Attributes.back() == mSMARTDef::AttrData{});
    for (std::size_t k = 0; k < ids; ++k) {
        const mSMARTDef::AttrData& record = info.Attributes[k];
        FUZZ_CHECK(record.AttrID != 0);
        FUZZ_CHECK(record.StatusFlags <= 0xFFFF);
        FUZZ_CHECK(record.RawValue < (std::uint64_t{1} << 48));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkSector(zeroFilled<512>(data, size));

    mSMARTDef::DriveInfo nvme;
    NvmePages::ParseIdentify(zeroFilled<platform::kNvmeIdentifySize>(data, size), nvme);
    FUZZ_CHECK_EQ(nvme.SerialNumber.size(), 20u);
    (void)NvmePages::ParseHealth(zeroFilled<platform::kNvmeLogSize>(data, size));

    // The sense buffer is exactly the input, so a read past it is caught by the sanitizer.
    (void)platform::ata::decodeSense({data, size});

    if (size >= 8) {
        std::array<std::uint8_t, 512> transfer;
        transfer.fill(0xAA);
        const int resid = static_cast<int>(static_cast<std::int8_t>(data[4])) * 8;
        const platform::ata::Reply reply{data[0], data[1], data[2], resid, {data + 8, size - 8}};
        const platform::ata::Outcome outcome = platform::ata::judgeReply(reply, transfer);
        const std::size_t missing = std::clamp(resid, 0, 512);
        FUZZ_CHECK(std::all_of(transfer.end() - missing, transfer.end(),
                               [](std::uint8_t byte) { return byte == 0; }));
        FUZZ_CHECK(!(outcome.ok && missing == transfer.size()));
    }

    if (size >= platform::kSmartInSize) {
        platform::SmartInParams in{};
        std::copy_n(data, in.size(), in.begin());
        if (const auto cdb = platform::ata::passThroughCdb(in)) {
            // Only the three reads and SMART ENABLE OPERATIONS are ever sent.
            FUZZ_CHECK((*cdb)[14] == 0xEC ||
                       ((*cdb)[14] == 0xB0 &&
                        ((*cdb)[4] == 0xD0 || (*cdb)[4] == 0xD1 || (*cdb)[4] == 0xD8)));
        }
    }
    return 0;
}
