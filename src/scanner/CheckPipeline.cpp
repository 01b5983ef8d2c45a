#include "scanner/CheckPipeline.h"

namespace {

// Files that gather before a sleeping thread is woken for them.
constexpr std::size_t kWakeBatch = 8;

} // namespace

CheckPipeline::CheckPipeline(unsigned workers, Check check) : m_check(std::move(check)) {
    for (unsigned i = 0; i < workers; ++i) {
        m_workers.emplace_back([this] { work(); });
    }
}

CheckPipeline::~CheckPipeline() {
    {
        const std::lock_guard lock(m_mutex);
        m_shutdown = true;
    }
    m_workAvailable.notify_all();
    for (auto& worker : m_workers) {
        worker.join();
    }
}

CheckPipeline::Result CheckPipeline::checkSafely(const WalkedFile& file,
                                                 platform::ReadBuffer& buffer) const {
    // A check that fails lists nothing and says so; the scan goes on.
    try {
        return m_check(file, buffer);
    } catch (const std::exception& error) {
        Result failed;
        failed.unreadable = error.what();
        return failed;
    } catch (...) {
        Result failed;
        failed.unreadable = "the check failed";
        return failed;
    }
}

void CheckPipeline::work() {
    platform::ReadBuffer buffer;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workAvailable.wait(lock, [this] { return m_shutdown || m_claimed < m_slots.size(); });
        if (m_shutdown) {
            return;
        }
        Slot& slot = m_slots[m_claimed++];
        lock.unlock();
        Result result = checkSafely(slot.file, buffer);
        lock.lock();
        slot.result = std::move(result);
        slot.done = true;
        ++m_doneWaiting;
        // The popping thread is woken for a run of results, or when the workers run out of work
        // (then nothing else would wake it), not for every file.
        if (m_doneWaiting >= kWakeBatch || m_claimed == m_slots.size()) {
            m_slotDone.notify_all();
        }
    }
}

void CheckPipeline::push(WalkedFile file) {
    // Idle workers are woken once a few files wait, not for each one: a wake-up costs more than
    // checking a small file.
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_slots.push_back(Slot{std::move(file), Result(), false});
        wake = m_slots.size() - m_claimed >= kWakeBatch;
    }
    if (wake) {
        m_workAvailable.notify_all();
    }
}

void CheckPipeline::flush() {
    m_workAvailable.notify_all();
}

std::size_t CheckPipeline::pending() const {
    const std::lock_guard lock(m_mutex);
    return m_slots.size();
}

std::pair<WalkedFile, CheckPipeline::Result> CheckPipeline::pop() {
    std::unique_lock lock(m_mutex);
    Slot& front = m_slots.front();
    if (m_claimed == 0) {
        ++m_claimed;
        lock.unlock();
        Result result = checkSafely(front.file, m_ownBuffer);
        lock.lock();
        front.result = std::move(result);
        front.done = true;
        ++m_doneWaiting;
    } else {
        m_slotDone.wait(lock, [&front] { return front.done; });
    }
    --m_doneWaiting;
    std::pair<WalkedFile, Result> taken(std::move(front.file), std::move(front.result));
    m_slots.pop_front();
    --m_claimed;
    return taken;
}
