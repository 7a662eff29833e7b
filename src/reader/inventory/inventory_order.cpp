#include "reader/inventory/inventory_order.h"

#include <algorithm>
#include <map>

#include "reader/inventory/entry_location.h"
#include "reader/history/history_filter.h"

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
  // The keys are made once and an order of indexes is sorted: the items themselves,
  // each a dozen texts, move once.
  struct Key {
    std::string location, entry;
    int64_t rowKey;
  };
  std::vector<Key> keys;
  keys.reserve(items->size());
  for (const InventoryItem& item : *items) {
    keys.push_back({Folded(PointLocation(item.point)), Folded(item.point.entry), item.point.key});
  }
  std::vector<size_t> order(items->size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const Key& x = keys[a];
    const Key& y = keys[b];
    if (x.location != y.location) return x.location < y.location;
    if (x.entry != y.entry) return x.entry < y.entry;
    return x.rowKey < y.rowKey;
  });
  std::vector<InventoryItem> sorted;
  sorted.reserve(items->size());
  for (const size_t i : order) sorted.push_back(std::move((*items)[i]));
  *items = std::move(sorted);
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
