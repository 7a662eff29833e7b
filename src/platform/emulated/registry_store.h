#pragma once
// The registry of the machine: keys, values, links, hives and change notifications.

namespace Emulated {

class Machine;

class RegistryStore {
 public:
  explicit RegistryStore(Machine& machine);
  ~RegistryStore();

 private:
  Machine& machine_;
};

}  // namespace Emulated
