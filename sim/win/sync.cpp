// Named mutexes of the simulated PC. Every thread of the host process is a thread of some
// simulated process; a mutex is owned by a thread, may be taken again by its owner, and is
// abandoned when its owner ends without releasing it.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/constants.h"
#include "platform/win/sync.h"
#include "platform/win/sync_constants.h"
#include "sim/core/machine.h"

namespace win {

namespace {

// One lock for every mutex object's fields; the state changes are tiny.
std::mutex g_lock;
std::condition_variable g_changed;

// The mutexes a thread took; at its end, those it still owns become abandoned.
struct ThreadOwnership {
    std::vector<std::weak_ptr<sim::NamedMutex>> taken;
    ~ThreadOwnership() {
        std::lock_guard<std::mutex> hold(g_lock);
        const auto self = std::this_thread::get_id();
        for (auto& weak : taken) {
            auto mutex = weak.lock();
            if (!mutex || mutex->owner != self) continue;
            mutex->owner.reset();
            mutex->recursion = 0;
            mutex->abandoned = true;
        }
        g_changed.notify_all();
    }
};

thread_local ThreadOwnership t_ownership;

class MutexObject : public sim::HandleObject {
public:
    explicit MutexObject(std::shared_ptr<sim::NamedMutex> m) : mutex(std::move(m)) {}
    const std::shared_ptr<sim::NamedMutex> mutex;
};

// "Global\" names live in the global namespace; "Local\" and bare names in the session's.
// Only one session is modelled.
std::u16string QualifiedName(std::u16string_view name) {
    constexpr std::u16string_view kGlobal = u"Global\\";
    constexpr std::u16string_view kLocal = u"Local\\";
    if (name.starts_with(kGlobal)) return u"\\BaseNamedObjects\\" + std::u16string(name.substr(kGlobal.size()));
    if (name.starts_with(kLocal)) name.remove_prefix(kLocal.size());
    return u"\\Sessions\\1\\BaseNamedObjects\\" + std::u16string(name);
}

// Takes the mutex for the calling thread if it can; the lock is held.
bool TryTake(sim::NamedMutex& m, bool* wasAbandoned) {
    const auto self = std::this_thread::get_id();
    if (m.owner && *m.owner != self) return false;
    if (!m.owner) {
        m.owner = self;
        m.recursion = 0;
        *wasAbandoned = m.abandoned;
        m.abandoned = false;
    }
    ++m.recursion;
    return true;
}

}  // namespace

HANDLE CreateMutexW(void* security, BOOL initialOwner, LPCWSTR name) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("CreateMutexW")) {
        sim::SetLastError(f->code);
        return nullptr;
    }
    if (security != nullptr) {
        // The programs never pass attributes; a descriptor is not modelled.
        sim::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<sim::NamedMutex> mutex;
    bool existed = false;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (name != nullptr && *name != 0) {
            auto& slot = m.session.objects.mutexes[QualifiedName(name)];
            mutex = slot.lock();
            existed = mutex != nullptr;
            if (!existed) {
                mutex = std::make_shared<sim::NamedMutex>();
                slot = mutex;
            }
        } else {
            mutex = std::make_shared<sim::NamedMutex>();
        }
        // An existing mutex is opened, never taken, whatever initialOwner asks.
        if (!existed && initialOwner) {
            mutex->owner = std::this_thread::get_id();
            mutex->recursion = 1;
        }
    }
    if (!existed && initialOwner) t_ownership.taken.push_back(mutex);
    HANDLE h = m.handles.Add(std::make_shared<MutexObject>(mutex));
    sim::SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("WaitForSingleObject")) {
        sim::SetLastError(f->code);
        return WAIT_FAILED;
    }
    auto mutexObject = std::dynamic_pointer_cast<MutexObject>(m.handles.Get(object));
    if (!mutexObject) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    sim::NamedMutex& mutex = *mutexObject->mutex;
    bool abandoned = false;
    {
        std::unique_lock<std::mutex> hold(g_lock);
        auto ready = [&] { return TryTake(mutex, &abandoned); };
        bool taken = false;
        if (milliseconds == INFINITE)
            g_changed.wait(hold, ready), taken = true;
        else
            taken = g_changed.wait_for(hold, std::chrono::milliseconds(milliseconds), ready);
        if (!taken) return WAIT_TIMEOUT;
    }
    t_ownership.taken.push_back(mutexObject->mutex);
    return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

BOOL ReleaseMutex(HANDLE object) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("ReleaseMutex")) {
        sim::SetLastError(f->code);
        return FALSE;
    }
    auto mutexObject = std::dynamic_pointer_cast<MutexObject>(m.handles.Get(object));
    if (!mutexObject) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(g_lock);
    sim::NamedMutex& mutex = *mutexObject->mutex;
    if (!mutex.owner || *mutex.owner != std::this_thread::get_id()) {
        sim::SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mutex.recursion == 0) {
        mutex.owner.reset();
        g_changed.notify_all();
    }
    return TRUE;
}

}  // namespace win
