#include "platform/emulated/minifilter.h"

#include "platform/emulated/machine.h"

namespace Emulated {

Minifilter::Minifilter(Machine& machine) : machine_(machine) {}
Minifilter::~Minifilter() = default;

void Minifilter::ProcessStarted(Actor creator, uint32_t processId) {}

void Minifilter::ProcessExited(Actor actor, uint32_t processId) {}

void Minifilter::ThreadCreated(Actor creator, uint32_t newThreadId) {}

void Minifilter::ThreadExited(Actor actor, uint32_t threadId) {}

void Minifilter::RegistryValueSet(Actor actor, std::u16string_view kernelKeyPath, std::u16string_view valueName, uint32_t type, std::span<const uint8_t> data) {}

void Minifilter::RegistryValueDeleted(Actor actor, std::u16string_view kernelKeyPath, std::u16string_view valueName) {}

void Minifilter::RegistryKeyDeleted(Actor actor, std::u16string_view kernelKeyPath) {}

void Minifilter::FileCreated(Actor actor, uint64_t fileObject, std::u16string_view devicePath, bool directory) {}

void Minifilter::FileWriteStarted(Actor actor, uint64_t fileObject, std::u16string_view devicePath) {}

void Minifilter::FileWriteFinished(Actor actor, uint64_t fileObject, std::u16string_view devicePath) {}

void Minifilter::FileDeleteOnClose(Actor actor, uint64_t fileObject, std::u16string_view devicePath, bool deleteFile) {}

void Minifilter::FileRenamed(Actor actor, uint64_t fileObject, std::u16string_view devicePath, std::u16string_view newName) {}

void Minifilter::FileClosed(Actor actor, uint64_t fileObject, std::u16string_view devicePath) {}

}  // namespace Emulated
