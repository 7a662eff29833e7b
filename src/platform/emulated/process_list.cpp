#include "platform/emulated/process_list.h"

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
               {u"S-1-5-20", u"NT AUTHORITY", u"NETWORK SERVICE"}};
  for (const UserAccount& user : config.users) accounts_.push_back({user.sid, user.domain, user.name});
  processes_[0] = ProcessRecord{0, 0, u"", u"S-1-5-18", u"", u"", {}};
  processes_[4] = ProcessRecord{4, 0, u"", u"S-1-5-18", u"", u"", {}};
}

void ProcessList::Add(ProcessRecord record) {
  std::lock_guard lock(mutex_);
  const uint32_t id = record.processId;
  processes_[id] = std::move(record);
}

bool ProcessList::Remove(uint32_t processId) {
  std::lock_guard lock(mutex_);
  return processes_.erase(processId) > 0;
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
  while (processes_.count(nextProcessId_) != 0) nextProcessId_ += 4;
  const uint32_t id = nextProcessId_;
  nextProcessId_ += 4;
  return id;
}

void ProcessList::AddThread(uint32_t processId, uint32_t threadId) {
  std::lock_guard lock(mutex_);
  auto it = processes_.find(processId);
  if (it != processes_.end()) it->second.threads.insert(threadId);
}

void ProcessList::RemoveThread(uint32_t processId, uint32_t threadId) {
  std::lock_guard lock(mutex_);
  auto it = processes_.find(processId);
  if (it != processes_.end()) it->second.threads.erase(threadId);
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
