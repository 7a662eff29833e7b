#pragma once
// The drives of the machine: files on host folders, attributes, times, streams and sharing.

namespace Emulated {

class Machine;

class FileStore {
 public:
  explicit FileStore(Machine& machine);
  ~FileStore();

 private:
  Machine& machine_;
};

}  // namespace Emulated
