// Fuzzes the reading of fanotify event buffers. Their records come from the kernel, but are read
// as untrusted: the input is the buffer, placed at an odd address so that an unaligned read is
// reported, and ending where the input ends so that a read past it is too. The parser is checked
// against a walk that tests each record with the kernel's own FAN_EVENT_OK on an aligned copy:
// each whole record gives the event or stray descriptor its header describes, in order; nothing
// comes from past the first unreadable record, whose loss is one Overflow event. Whatever the
// records say, every descriptor in them is handed on exactly once (used or stray, never lost,
// never twice), and every permission request that carries one is an Exec event or a held stray,
// so no process is left waiting.

#include "FuzzCheck.h"
#include "platform/linux/FanotifyEvents.h"

#include <algorithm>
#include <sys/fanotify.h>
#include <vector>

namespace {

using platform::AccessEvent;
using platform::AccessKind;

constexpr std::uint64_t kPermissionMask =
    FAN_OPEN_PERM | FAN_ACCESS_PERM | FAN_OPEN_EXEC_PERM | 0x00100000; // FAN_PRE_ACCESS

struct Expected {
    std::vector<AccessEvent> events;
    std::vector<platform::StrayFanotifyFile> stray;
    std::vector<int> descriptors; // every descriptor of a readable record
    std::size_t held = 0;         // readable permission requests that carry a descriptor
};

Expected model(const std::uint8_t* data, std::size_t size) {
    Expected expected;
    std::size_t at = 0;
    for (;;) {
        // What is left, copied to an aligned place where the kernel's macro can look at it.
        std::vector<std::uint64_t> aligned((size - at + 7) / 8 + 1);
        std::copy_n(data + at, size - at, reinterpret_cast<std::uint8_t*>(aligned.data()));
        const auto* record = reinterpret_cast<const fanotify_event_metadata*>(aligned.data());
        const long left = static_cast<long>(size - at);
        if (!FAN_EVENT_OK(record, left) || record->vers != FANOTIFY_METADATA_VERSION) {
            break;
        }
        at += record->event_len;
        const bool wellFormed = record->metadata_len >= FAN_EVENT_METADATA_LEN &&
                                record->metadata_len <= record->event_len;
        const bool held = (record->mask & kPermissionMask) != 0;
        if (record->fd >= 0) {
            expected.descriptors.push_back(record->fd);
            expected.held += held ? 1 : 0;
        }
        if (wellFormed && (record->mask & FAN_Q_OVERFLOW) != 0) {
            expected.events.push_back({AccessKind::Overflow, platform::kNoHandle, 0});
            if (record->fd >= 0) {
                expected.stray.push_back({record->fd, held});
            }
        } else if (record->fd < 0) {
            // nothing to use, answer or close
        } else if (wellFormed && (record->mask & FAN_OPEN_EXEC_PERM) != 0) {
            expected.events.push_back({AccessKind::Exec, record->fd, record->pid});
        } else if (wellFormed && !held && (record->mask & FAN_CLOSE_WRITE) != 0) {
            expected.events.push_back({AccessKind::Written, record->fd, record->pid});
        } else {
            expected.stray.push_back({record->fd, held});
        }
    }
    if (at != size) {
        expected.events.push_back({AccessKind::Overflow, platform::kNoHandle, 0});
    }
    return expected;
}

bool same(const AccessEvent& a, const AccessEvent& b) {
    return a.kind == b.kind && a.file == b.file && a.pid == b.pid;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> odd(size + 1);
    std::copy_n(data, size, odd.data() + 1);

    // Events are appended after what the vector held.
    const AccessEvent before{AccessKind::Written, 12345, 678};
    std::vector<AccessEvent> events{before};
    std::vector<platform::StrayFanotifyFile> stray;
    platform::parseFanotifyEvents(odd.data() + 1, size, events, stray);
    FUZZ_CHECK(!events.empty() && same(events.front(), before));
    events.erase(events.begin());

    const Expected expected = model(data, size);
    FUZZ_CHECK_EQ(events.size(), expected.events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        FUZZ_CHECK(same(events[i], expected.events[i]));
    }
    FUZZ_CHECK_EQ(stray.size(), expected.stray.size());
    for (std::size_t i = 0; i < stray.size(); ++i) {
        FUZZ_CHECK_EQ(stray[i].fd, expected.stray[i].fd);
        FUZZ_CHECK_EQ(stray[i].held, expected.stray[i].held);
    }

    // What the model's classification aside must hold of any buffer.
    FUZZ_CHECK(events.size() <= (size + FAN_EVENT_METADATA_LEN - 1) / FAN_EVENT_METADATA_LEN);
    std::vector<int> handedOn;
    std::size_t answerable = 0;
    for (const AccessEvent& event : events) {
        if (event.kind == AccessKind::Overflow) {
            FUZZ_CHECK(event.file == platform::kNoHandle && event.pid == 0);
        } else {
            FUZZ_CHECK(event.file >= 0);
            handedOn.push_back(event.file);
            answerable += event.kind == AccessKind::Exec ? 1 : 0;
        }
    }
    for (const platform::StrayFanotifyFile& file : stray) {
        FUZZ_CHECK(file.fd >= 0);
        handedOn.push_back(file.fd);
        answerable += file.held ? 1 : 0;
    }
    std::vector<int> descriptors = expected.descriptors;
    std::sort(handedOn.begin(), handedOn.end());
    std::sort(descriptors.begin(), descriptors.end());
    FUZZ_CHECK(handedOn == descriptors);
    FUZZ_CHECK_EQ(answerable, expected.held);
    return 0;
}
