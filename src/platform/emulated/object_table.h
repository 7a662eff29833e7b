#pragma once
// The kernel objects of the machine: events and mutexes, named or private.

namespace Emulated {

class Machine;

class ObjectTable {
 public:
  explicit ObjectTable(Machine& machine);
  ~ObjectTable();

 private:
  Machine& machine_;
};

}  // namespace Emulated
