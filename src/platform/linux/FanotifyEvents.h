#pragma once

#include "platform/AccessEvents.h"

#include <cstddef>
#include <vector>

namespace platform {

/// A descriptor the kernel handed over with a record that gives no event. The reader answers it
/// (allow) when `held`, then closes it; the parser itself never touches a descriptor.
struct StrayFanotifyFile {
    int fd = -1;
    /// The record was a permission request: the kernel holds its process until it is answered.
    bool held = false;
};

/// Turns `size` bytes read from a fanotify descriptor into events, appended to `events`, trusting
/// nothing in them: every record is copied out before it is read (no unaligned access), must
/// carry the known metadata version, and must lie whole within the buffer.
///
/// - FAN_OPEN_EXEC_PERM gives an Exec event, FAN_CLOSE_WRITE (when nothing waits) a Written
///   event, both owning the record's descriptor; FAN_Q_OVERFLOW gives an Overflow event.
/// - Every other descriptor (another mask, a record whose metadata length is wrong, a descriptor
///   on an overflow record) goes to `stray`, marked `held` when the record asked for permission,
///   so that no waiting process is left unanswered. A record without a descriptor (FAN_NOFD, or
///   any other negative value) that is no overflow is dropped.
/// - Records that cannot be told apart from what follows them (too short, longer than what is
///   left, of another version) end the reading: nothing in them can be trusted, not even their
///   descriptor. The loss is reported as one Overflow event, so the reader knows events were
///   missed.
///
/// Gives at most one event per started FAN_EVENT_METADATA_LEN bytes.
void parseFanotifyEvents(const void* data, std::size_t size, std::vector<AccessEvent>& events,
                         std::vector<StrayFanotifyFile>& stray);

} // namespace platform
