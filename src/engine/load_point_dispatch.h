#pragma once
// The registry load-point place of the engine: one event goes to the family of its
// location, and every change the family reports becomes a change event.

#include <cstdint>

class LoadPointEngine;
class BrumevaleRegistryEvent;

// The registry load-point place of the engine.
void DispatchLoadPointEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                            uint64_t processId);
