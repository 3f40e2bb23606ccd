// What the simulated COM runtime keeps per machine: apartments per thread, live objects,
// live BSTRs and SAFEARRAYs, so that tests can prove every reference and allocation was
// released and every CoInitializeEx was balanced.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <thread>

namespace win {
struct SAFEARRAY;
}

namespace sim {

struct Apartment {
    int depth = 0;            // successful CoInitializeEx calls not yet balanced
    bool multithreaded = true;
};

struct ComState {
    std::map<std::thread::id, Apartment> apartments;
    int initializeCalls = 0;   // successful CoInitializeEx calls
    int uninitializeCalls = 0;
    int unbalancedUninitialize = 0;  // CoUninitialize without a matching CoInitializeEx

    // Objects alive, by kind ("IWbemServices", ...), and references handed out.
    std::multiset<std::string> liveObjects;
    std::uint64_t objectsCreated = 0;
    // Releases of an object whose count was already zero.
    int overReleases = 0;
    // References released on a thread whose COM was already uninitialised.
    int releasesOutsideCom = 0;

    std::set<const void*> liveBstrs;
    std::set<const win::SAFEARRAY*> liveArrays;
    int badFrees = 0;  // SysFreeString of something that is not a live BSTR

    // Everything obtained has been given back.
    bool Clean() const {
        return liveObjects.empty() && liveBstrs.empty() && liveArrays.empty() && overReleases == 0 &&
               releasesOutsideCom == 0 &&
               badFrees == 0 && unbalancedUninitialize == 0 && initializeCalls == uninitializeCalls;
    }
    // The depth of COM initialisation on the calling thread.
    int Depth() const {
        auto it = apartments.find(std::this_thread::get_id());
        return it == apartments.end() ? 0 : it->second.depth;
    }
};

}  // namespace sim
