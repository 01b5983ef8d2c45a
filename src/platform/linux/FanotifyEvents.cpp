#include "platform/linux/FanotifyEvents.h"

#include <cstdint>
#include <cstring>
#include <sys/fanotify.h>

namespace platform {

namespace {

// The pre-content request of newer kernels; not in every header yet.
constexpr std::uint64_t kPreAccess = 0x00100000;
// Every mask bit by which the kernel holds the process until an answer comes.
constexpr std::uint64_t kPermissionMask =
    FAN_OPEN_PERM | FAN_ACCESS_PERM | FAN_OPEN_EXEC_PERM | kPreAccess;

} // namespace

void parseFanotifyEvents(const void* data, std::size_t size, std::vector<AccessEvent>& events,
                         std::vector<StrayFanotifyFile>& stray) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t at = 0;
    while (at < size) {
        const std::size_t left = size - at;
        fanotify_event_metadata record;
        if (left < FAN_EVENT_METADATA_LEN) {
            events.push_back({AccessKind::Overflow, kNoHandle, 0});
            return;
        }
        std::memcpy(&record, bytes + at, sizeof record);
        if (record.vers != FANOTIFY_METADATA_VERSION || record.event_len < FAN_EVENT_METADATA_LEN ||
            record.event_len > left) {
            events.push_back({AccessKind::Overflow, kNoHandle, 0});
            return;
        }
        at += record.event_len;

        const bool wellFormed = record.metadata_len >= FAN_EVENT_METADATA_LEN &&
                                record.metadata_len <= record.event_len;
        const bool held = (record.mask & kPermissionMask) != 0;
        if (wellFormed && (record.mask & FAN_Q_OVERFLOW) != 0) {
            events.push_back({AccessKind::Overflow, kNoHandle, 0});
            if (record.fd >= 0) {
                stray.push_back({record.fd, held});
            }
            continue;
        }
        if (record.fd < 0) {
            continue;
        }
        if (wellFormed && (record.mask & FAN_OPEN_EXEC_PERM) != 0) {
            events.push_back({AccessKind::Exec, record.fd, record.pid});
        } else if (wellFormed && !held && (record.mask & FAN_CLOSE_WRITE) != 0) {
            events.push_back({AccessKind::Written, record.fd, record.pid});
        } else {
            stray.push_back({record.fd, held});
        }
    }
}

} // namespace platform
