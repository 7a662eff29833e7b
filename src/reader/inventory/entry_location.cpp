#include "reader/inventory/entry_location.h"

#include <map>

#include "engine/scanner_table.h"
#include "platform/text_encoding.h"

using Engine::ScannerTable;
using Engine::Wow64Path;
using Families::ReadAs;
using Families::ScanLocation;
using Families::ScanScope;
using Families::ScannerStep;

namespace Reader {
namespace {

struct Place {
  ScanScope scope;
  ReadAs readAs;
  std::string key;    // below the hive (machine, user) or the control set
  std::string value;  // the value read, for one named value or a list
};

std::string Narrow(const char16_t* text) { return text ? Platform::Utf16ToUtf8(text) : ""; }

// The rescan's table by type; the first location of a type names it.
const std::map<int32_t, Place>& Places() {
  static const std::map<int32_t, Place> places = [] {
    std::map<int32_t, Place> out;
    for (const ScannerStep& step : ScannerTable()) {
      for (const ScanLocation& l : step.locations) {
        const std::u16string key = l.wow64 ? Wow64Path(l.key) : std::u16string(l.key);
        out.try_emplace(static_cast<int32_t>(l.type),
                        Place{step.scope, l.readAs, Platform::Utf16ToUtf8(key), Narrow(l.value)});
      }
    }
    return out;
  }();
  return places;
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

// The locations the table does not hold: services, helper objects, tasks, startup
// folders and network providers are read by steps of their own.
std::string SpecialLocation(int32_t type, const std::string& controlSet, const std::string& entry,
                            const std::string& display, const std::string& command) {
  const std::string services = "HKLM\\SYSTEM\\" + (controlSet.empty() ? "CurrentControlSet" : controlSet) +
                               "\\Services\\";
  const std::string explorer = "Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";
  switch (type) {
    case 12: case 29: return services + entry;
    case 13: return services + entry + "\\Parameters, value ServiceDll";
    case 58: return services + entry + "\\NetworkProvider";
    case 15: return "HKLM\\SOFTWARE\\" + explorer + entry;
    case 24: return "HKLM\\SOFTWARE\\Wow6432Node\\" + explorer + entry;
    // A startup row's command line is the file's own path.
    case 27: case 28: return command.find('\\') == std::string::npos
                                 ? (type == 27 ? "the common startup folder" : "the user's startup folder")
                                 : ParentOf(command);
    case 64: return "C:\\Windows\\System32\\Tasks" + ParentOf(display);
    case 65: return "C:\\Windows\\SysWOW64\\Tasks" + ParentOf(display);
    default: return "";
  }
}

}  // namespace

std::string EntryLocation(int32_t type, const std::string& user, const std::string& controlSet,
                          const std::string& entry, const std::string& displayName, const std::string& command) {
  const auto found = Places().find(type);
  if (found == Places().end()) return SpecialLocation(type, controlSet, entry, displayName, command);
  const Place& place = found->second;
  std::string key;
  switch (place.scope) {
    case ScanScope::kPerControlSet:
      key = "HKLM\\SYSTEM\\" + (controlSet.empty() ? "CurrentControlSet" : controlSet) + "\\" + place.key;
      break;
    case ScanScope::kUserHives:
      key = "HKU\\" + (user.empty() ? "<user>" : user) + "\\" + place.key;
      break;
    default:
      key = "HKLM\\" + place.key;
  }
  switch (place.readAs) {
    case ReadAs::kSubkeys: case ReadAs::kExtensions: case ReadAs::kProtocolCatalog:
      return key + "\\" + entry;
    case ReadAs::kNamedValue: case ReadAs::kList:
      return key + ", value " + (place.value.empty() ? "(default)" : place.value);
    case ReadAs::kValues:
      return key;
  }
  return key;
}

std::string EventLocation(const EventRecord& e) {
  if (e.typeName == "System setting") {
    return ParentOf(e.entry).empty() ? "" : (e.user.empty() ? "HKLM\\" : "HKU\\" + e.user + "\\") + ParentOf(e.entry);
  }
  if (e.typeName == "File extension") return (e.user.empty() ? "HKCR\\" : "HKU\\" + e.user + "_Classes\\") + e.entry;
  if (e.loadPointType <= 0) return "";
  return EntryLocation(e.loadPointType, e.user, e.controlSet, e.entry, e.displayName,
                       e.newCommandLine.empty() ? e.oldCommandLine : e.newCommandLine);
}

std::string PointLocation(const LoadPointRecord& p) {
  return EntryLocation(p.loadPointType, p.user, p.controlSet, p.entry, p.displayName, p.commandLine);
}

std::string EntryLabel(const std::string& entry, const std::string& displayName) {
  if (displayName.empty() || displayName == entry) return entry;
  return entry + " (" + displayName + ")";
}

}  // namespace Reader
