#pragma once

#include "platform/SmartDevice.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

using SectorBytes = std::array<std::uint8_t, 512>;

/// A sector with attribute or threshold entries: {id, byte 1, byte 2, ...} from byte 2 on.
inline SectorBytes smartEntries(const std::vector<std::vector<std::uint8_t>>& rows) {
    SectorBytes sector{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::copy(rows[i].begin(), rows[i].end(), sector.begin() + 2 + 12 * i);
    }
    return sector;
}

template <std::size_t N>
void putText(std::array<std::uint8_t, N>& bytes, std::size_t at, std::string_view text) {
    std::memcpy(bytes.data() + at, text.data(), text.size());
}

/// `text` as an ATA drive sends its strings: each pair of characters swapped.
template <std::size_t N>
void putSwapped(std::array<std::uint8_t, N>& bytes, std::size_t at, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[at + (i ^ 1)] = static_cast<std::uint8_t>(text[i]);
    }
}

/// Drive slots whose every request is recorded and answered from the fields below: an ATA drive
/// in every slot, or an NVMe drive where `nvme` or `nvmeSlots` say so.
class FakeSmartDevice final : public platform::SmartDevice {
public:
    bool winNT = true;
    bool opens = true;
    bool nvme = false;
    std::set<int> nvmeSlots;
    std::optional<std::uint8_t> deviceMap = 0x0F;
    std::map<std::uint8_t, bool> answers = {{0xD8, true}, {0xEC, true}, {0xD0, true}, {0xD1, true}};
    SectorBytes identify{};
    SectorBytes attributes{};
    SectorBytes thresholds{};
    bool nvmeIdentifies = true;
    bool nvmeLogs = true;
    std::array<std::uint8_t, platform::kNvmeIdentifySize> nvmeIdentifyPage{};
    std::array<std::uint8_t, platform::kNvmeLogSize> nvmeLogPage{};
    std::vector<std::string> calls;
    std::vector<platform::SmartInParams> sent;

    bool isWinNT() const override { return winNT; }

    std::unique_ptr<platform::SmartHandle> open(int slot) override {
        calls.push_back("open " + std::to_string(slot));
        return opens ? std::make_unique<Handle>(*this, nvme || nvmeSlots.contains(slot)) : nullptr;
    }

    std::error_code lastError() const override {
        return opens ? std::error_code() : std::make_error_code(std::errc::permission_denied);
    }

private:
    class Handle final : public platform::SmartHandle {
    public:
        Handle(FakeSmartDevice& device, bool nvme) : m_device(device), m_nvme(nvme) {}
        ~Handle() override { m_device.calls.push_back("close"); }

        bool isNvme() const override { return m_nvme; }
        bool version(platform::SmartVersionBlock& block) override {
            m_device.calls.push_back("version");
            block.fill(0xEE);
            block[3] = m_device.deviceMap.value_or(0);
            return m_device.deviceMap.has_value();
        }
        bool command(std::uint32_t code, const platform::SmartInParams& in,
                     std::span<std::uint8_t> out) override {
            // The features register tells the SMART subcommands apart; IDENTIFY has none.
            const std::uint8_t which = in[10] == 0xEC ? 0xEC : in[4];
            char name[32];
            std::snprintf(name, sizeof name, "command %X %02X %zu", code, which, out.size());
            m_device.calls.push_back(name);
            m_device.sent.push_back(in);
            const SectorBytes* sector = which == 0xEC   ? &m_device.identify
                                        : which == 0xD0 ? &m_device.attributes
                                        : which == 0xD1 ? &m_device.thresholds
                                                        : nullptr;
            // A failed request still leaves bytes behind: the query must not parse them.
            if (sector && out.size() == 528) {
                std::copy(sector->begin(), sector->end(), out.begin() + 16);
            }
            return m_device.answers[which];
        }
        bool nvmeIdentify(std::span<std::uint8_t, platform::kNvmeIdentifySize> page) override {
            m_device.calls.push_back("nvme identify");
            std::copy(m_device.nvmeIdentifyPage.begin(), m_device.nvmeIdentifyPage.end(),
                      page.begin());
            return m_device.nvmeIdentifies;
        }
        bool nvmeHealthLog(std::span<std::uint8_t, platform::kNvmeLogSize> page) override {
            m_device.calls.push_back("nvme health");
            std::copy(m_device.nvmeLogPage.begin(), m_device.nvmeLogPage.end(), page.begin());
            return m_device.nvmeLogs;
        }

    private:
        FakeSmartDevice& m_device;
        bool m_nvme;
    };
};

/// The replies of a SATA disk (IDENTIFY, SMART READ DATA, READ THRESHOLDS) and of an NVMe drive
/// (Identify Controller, health log), as such drives send them.
inline void recordedReplies(FakeSmartDevice& device) {
    putSwapped(device.identify, 20, "        SN-SAMPLE001");
    putSwapped(device.identify, 46, "01.01A01");
    putSwapped(device.identify, 54, "SAMPLE DISK 1000                        ");
    device.identify[2] = 0xFF; // cylinders 16383
    device.identify[3] = 0x3F;
    device.identify[6] = 16;  // heads
    device.identify[12] = 63; // sectors per track
    device.attributes = smartEntries({
        {1, 0x0F, 0x00, 117, 99, 0x60, 0x2F, 0x8D, 0x07},     // read error rate
        {5, 0x33, 0x00, 100, 100},                            // reallocated sectors
        {9, 0x32, 0x00, 91, 91, 0x2C, 0x20},                  // 8236 hours
        {194, 0x22, 0x00, 36, 52, 0x24, 0, 0x12, 0, 0x30, 0}, // 36 degrees, min and max
        {197, 0x12, 0x00, 100, 100, 2},                       // two pending sectors
    });
    device.thresholds = smartEntries({{1, 6}, {5, 10}, {9, 0}, {194, 0}, {197, 0}});
    putText(device.nvmeIdentifyPage, 4, "NV-SAMPLE-0042      ");
    putText(device.nvmeIdentifyPage, 24, "NVMe SAMPLE 1TB                         ");
    putText(device.nvmeIdentifyPage, 64, "NVFW0102");
    auto& log = device.nvmeLogPage;
    log[0] = 0x00;
    log[1] = 0x3F; // 319 K
    log[2] = 0x01;
    log[3] = 100;
    log[4] = 10;
    log[5] = 2;
    log[32] = 0x40; // data units read 0x1E240
    log[33] = 0xE2;
    log[34] = 0x01;
    log[48] = 0x10; // data units written 0x2710
    log[49] = 0x27;
    log[112] = 120;  // power cycles
    log[128] = 0xD2; // power-on hours 1234
    log[129] = 0x04;
    log[144] = 7; // unsafe shutdowns
}

} // namespace testsupport
