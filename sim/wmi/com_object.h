// The base of every simulated COM object: a reference count, QueryInterface for IUnknown and
// the one interface it implements, and its entry in the machine's list of live objects.
#pragma once

#include <atomic>
#include <string>

#include "platform/win/com.h"
#include "platform/win/com_constants.h"
#include "sim/wmi/com_state.h"

namespace sim {

// The side of a simulated proxy that CoSetProxyBlanket acts on.
class ComIdentity {
public:
    virtual ~ComIdentity() = default;
    bool blanketSet = false;
};

// Whether the proxy carries the blanket that WMI calls from this program need.
bool HasBlanket(const ComIdentity& object);

template <typename Interface>
class ComObject : public Interface, public ComIdentity {
public:
    ComObject(ComState& state, const win::IID& iid, std::string kind)
        : state_(state), iid_(iid), kind_(std::move(kind)) {
        state_.liveObjects.insert(kind_);
        state_.objectsCreated++;
    }
    ~ComObject() override {
        auto it = state_.liveObjects.find(kind_);
        if (it != state_.liveObjects.end()) state_.liveObjects.erase(it);
    }

    win::HRESULT QueryInterface(const win::IID& riid, void** object) override {
        if (object == nullptr) return win::E_POINTER;
        if (riid == win::IID_IUnknown || riid == iid_) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return win::S_OK;
        }
        *object = nullptr;
        return win::E_NOINTERFACE;
    }
    win::ULONG AddRef() override { return ++count_; }
    win::ULONG Release() override {
        if (count_ == 0) {
            state_.overReleases++;
            return 0;
        }
        if (state_.Depth() == 0) state_.releasesOutsideCom++;
        win::ULONG left = --count_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComState& state_;

private:
    win::IID iid_;
    std::string kind_;
    win::ULONG count_ = 1;
};

}  // namespace sim
