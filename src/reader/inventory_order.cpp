#include "reader/inventory_order.h"

#include <algorithm>
#include <map>

#include "reader/entry_location.h"
#include "reader/history_filter.h"

namespace Reader {

std::string CurrentControlSet(const std::vector<InventoryItem>& items) {
  std::map<std::string, size_t> rows;
  for (const InventoryItem& item : items) {
    if (!item.point.controlSet.empty()) ++rows[item.point.controlSet];
  }
  std::string best;
  size_t most = 0;
  for (const auto& [name, count] : rows) {  // in name order: a tie keeps the lower number
    if (count > most) best = name, most = count;
  }
  return best;
}

void KeepControlSet(const std::string& controlSet, std::vector<InventoryItem>* items) {
  std::erase_if(*items, [&](const InventoryItem& item) {
    return !item.point.controlSet.empty() && item.point.controlSet != controlSet;
  });
}

void SortByLocation(std::vector<InventoryItem>* items) {
  struct Keyed {
    std::string location, entry;
    InventoryItem item;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(items->size());
  for (InventoryItem& item : *items) {
    keyed.push_back({Folded(PointLocation(item.point)), Folded(item.point.entry), std::move(item)});
  }
  std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.location != b.location) return a.location < b.location;
    if (a.entry != b.entry) return a.entry < b.entry;
    return a.item.point.key < b.item.point.key;
  });
  items->clear();
  for (Keyed& k : keyed) items->push_back(std::move(k.item));
}

std::string LoadedCommand(const LoadPointRecord& p) {
  if (p.loadPointType == 27 || p.loadPointType == 28) return "\"" + p.commandLine + "\"";
  if (!p.indirectionCommandLine.empty()) return p.indirectionCommandLine;
  // The terminal server's startup programs are programs, named bare.
  if (p.loadPointType == 36 && p.commandLine.find_first_of(".\\ ") == std::string::npos) return p.commandLine + ".exe";
  return p.commandLine;
}

std::string OperatingSystemVendor(const std::vector<InventoryItem>& items) {
  std::map<std::string, size_t> signed_;
  for (const InventoryItem& item : items) {
    const FileCheck& f = item.file;
    if (f.checked && f.present && f.hasSignature && f.signatureValid && !f.signer.empty() &&
        Folded(f.path).rfind("c:\\windows\\", 0) == 0) {
      ++signed_[f.signer];
    }
  }
  std::string vendor;
  size_t most = 0;
  for (const auto& [signer, count] : signed_) {
    if (count > most) vendor = signer, most = count;
  }
  return vendor;
}

}  // namespace Reader
