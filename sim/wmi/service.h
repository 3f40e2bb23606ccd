// The simulated WMI service's COM objects: the locator, a namespace's services, query
// enumerators and class objects. Every object counts its references in the machine's
// ComState.
#pragma once

#include "platform/win/com.h"

namespace sim {

class Machine;

// A new WbemLocator with one reference (what CoCreateInstance hands out).
win::IWbemLocator* CreateWbemLocator(Machine& machine);

}  // namespace sim
