#include "platform/emulated/processes/process_list.h"

namespace Emulated {
namespace {

bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

ProcessList::ProcessList(const MachineConfig& config) {
  accounts_ = {{u"S-1-5-18", u"NT AUTHORITY", u"SYSTEM"},
               {u"S-1-5-19", u"NT AUTHORITY", u"LOCAL SERVICE"},
               {u"S-1-5-20", u"NT AUTHORITY", u"NETWORK SERVICE"},
               // The owner of objects made by an elevated administrator's processes.
               {u"S-1-5-32-544", u"BUILTIN", u"Administrators"}};
  for (const UserAccount& user : config.users) accounts_.push_back({user.sid, user.domain, user.name});
  processes_[kIdleProcessId] = ProcessRecord{kIdleProcessId, 0, u"", u"S-1-5-18", u"", u"", {}, false, {}};
  processes_[kSystemProcessId] = ProcessRecord{kSystemProcessId, 0, u"", u"S-1-5-18", u"", u"", {}, false, {}};
}

void ProcessList::Add(ProcessRecord record) {
  std::lock_guard lock(mutex_);
  const uint32_t id = record.processId;
  for (uint32_t thread : record.threads) threadOwners_[thread] = id;
  processes_[id] = std::move(record);
}

bool ProcessList::AddIfFree(ProcessRecord record) {
  std::lock_guard lock(mutex_);
  if (IdInUseLocked(record.processId)) return false;
  const uint32_t id = record.processId;
  for (uint32_t thread : record.threads) threadOwners_[thread] = id;
  processes_[id] = std::move(record);
  return true;
}

bool ProcessList::Remove(uint32_t processId) {
  std::lock_guard lock(mutex_);
  auto it = processes_.find(processId);
  if (it == processes_.end()) return false;
  for (uint32_t thread : it->second.threads) threadOwners_.erase(thread);
  processes_.erase(it);
  return true;
}

std::optional<ProcessRecord> ProcessList::Find(uint32_t processId) const {
  std::lock_guard lock(mutex_);
  auto it = processes_.find(processId);
  if (it == processes_.end()) return std::nullopt;
  return it->second;
}

std::vector<ProcessRecord> ProcessList::All() const {
  std::lock_guard lock(mutex_);
  std::vector<ProcessRecord> all;
  for (const auto& [id, record] : processes_) all.push_back(record);
  return all;
}

uint32_t ProcessList::NewProcessId() {
  std::lock_guard lock(mutex_);
  return NewClientIdLocked();
}

uint32_t ProcessList::NewThreadId() {
  std::lock_guard lock(mutex_);
  return NewClientIdLocked();
}

bool ProcessList::IdInUseLocked(uint32_t id) const {
  return processes_.count(id) != 0 || threadOwners_.count(id) != 0;
}

uint32_t ProcessList::NewClientIdLocked() {
  while (IdInUseLocked(nextClientId_)) nextClientId_ += 4;
  const uint32_t id = nextClientId_;
  nextClientId_ += 4;
  return id;
}

void ProcessList::AddThread(uint32_t processId, uint32_t threadId) {
  std::lock_guard lock(mutex_);
  auto it = processes_.find(processId);
  if (it == processes_.end()) return;
  it->second.threads.insert(threadId);
  threadOwners_[threadId] = processId;
}

void ProcessList::RemoveThread(uint32_t processId, uint32_t threadId) {
  std::lock_guard lock(mutex_);
  auto it = processes_.find(processId);
  if (it == processes_.end() || it->second.threads.erase(threadId) == 0) return;
  threadOwners_.erase(threadId);
}

bool ProcessList::AddHeldFile(uint32_t processId, Platform::Handle file) {
  std::lock_guard lock(mutex_);
  auto it = processes_.find(processId);
  if (it == processes_.end()) return false;
  it->second.heldFiles.push_back(file);
  return true;
}

std::optional<uint32_t> ProcessList::FindThreadOwner(uint32_t threadId) const {
  std::lock_guard lock(mutex_);
  auto it = threadOwners_.find(threadId);
  if (it == threadOwners_.end()) return std::nullopt;
  return it->second;
}

std::optional<AccountRecord> ProcessList::FindAccount(std::u16string_view sid) const {
  std::lock_guard lock(mutex_);
  for (const AccountRecord& account : accounts_) {
    if (EqualsAsciiNoCase(account.sid, sid)) return account;
  }
  return std::nullopt;
}

void ProcessList::AddAccount(AccountRecord account) {
  std::lock_guard lock(mutex_);
  accounts_.push_back(std::move(account));
}

}  // namespace Emulated
