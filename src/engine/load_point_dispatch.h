#pragma once
// The registry load-point place of the engine: one event goes to the family of its
// location, and every change the family reports becomes a change event.

#include <cstdint>

namespace Intake {
class BrumevaleRegistryEvent;
}  // namespace Intake

namespace Engine {

class LoadPointEngine;

// The registry load-point place of the engine.
void DispatchLoadPointEvent(LoadPointEngine& engine, const Intake::BrumevaleRegistryEvent& event,
                            uint64_t processId);

}  // namespace Engine
