#include "ledger/load_point_catalogue.h"

#include <array>

#include "intake/brumevale_event.h"
#include "platform/scoped_handle.h"
#include "util/registry_readers.h"
#include "util/registry_text.h"

namespace {

// How an event names its entry.
enum class NameRule : uint8_t {
  kNone,         // not named from a registry event (folders, non-load-point codes)
  kValue,        // the value name
  kLast,         // the last key-path component
  kParent,       // the component before the last
  kClassValue,   // a COM class named by the value name
  kClassLast,    // a COM class named by the last component
  kClassValue32, // the same for the 32-bit twin, whose class lives below Wow6432Node
  kClassLast32,
};

// Where USER_ID comes from.
enum class UserRule : uint8_t {
  kNone,
  kSid,         // the user hive's SID, empty under HKEY_LOCAL_MACHINE
  kControlSet,  // the second key-path component
};

struct CodeRules {
  uint32_t type;
  NameRule name;
  UserRule user;
  int32_t depth;
};

constexpr NameRule V = NameRule::kValue;
constexpr NameRule L = NameRule::kLast;
constexpr NameRule P = NameRule::kParent;
constexpr NameRule CV = NameRule::kClassValue;
constexpr NameRule CL = NameRule::kClassLast;
constexpr NameRule CV32 = NameRule::kClassValue32;
constexpr NameRule CL32 = NameRule::kClassLast32;
constexpr NameRule None = NameRule::kNone;
constexpr UserRule S = UserRule::kSid;
constexpr UserRule K = UserRule::kControlSet;
constexpr UserRule NoUser = UserRule::kNone;
constexpr int32_t Val = kKeyDepthValue;
constexpr int32_t Ignore = kKeyDepthIgnore;

// Index = matcher code. Codes 27, 28, 74 and 75 are folder watches: their Parts name
// the entries themselves. Codes 76 to 97 are no load points.
constexpr std::array<CodeRules, kLastMatcherCode + 1> kCodes = {{
    {0, None, NoUser, Val},  // 0: no code
    {1, V, S, Val},      {16, V, S, Val},    {2, V, S, Val},     {17, V, S, Val},   // 1-4
    {3, V, S, Val},      {4, V, S, Val},     {5, V, S, Val},     {18, V, S, Val},   // 5-8
    {6, V, S, Val},      {7, V, S, Val},     {19, V, S, Val},    {8, V, S, Val},    // 9-12
    {20, V, S, Val},     {9, L, S, Val},     {21, L, S, Val},    {10, CV, S, Val},  // 13-16
    {22, CV32, S, Val},  {11, CV, S, Val},   {23, CV32, S, Val}, {12, L, K, 4},     // 17-20
    {12, P, K, 4},       {14, V, S, Val},    {15, CL, S, 7},     {24, CL32, S, 8},  // 21-24
    {25, CV, S, Val},    {26, CV32, S, Val},                                        // 25-26
    {27, None, NoUser, Val}, {28, None, NoUser, Val},                               // 27-28
    {12, L, K, Val},     {12, L, K, Val},    {12, L, K, Ignore}, {30, V, K, Val},   // 29-32
    {31, V, K, Val},     {32, V, K, Val},    {33, V, K, Val},    {34, V, S, Val},   // 33-36
    {35, V, S, Val},     {36, V, K, Val},    {37, V, S, Val},    {39, V, S, Val},   // 37-40
    {38, V, S, Val},     {40, CL, S, Val},   {60, CL, S, Val},   {41, CL, S, Val},  // 41-44
    {61, CL, S, Val},    {42, CV, S, Val},   {43, CV, S, Val},   {44, L, S, Val},   // 45-48
    {45, L, S, Val},     {46, CV, S, Val},   {47, L, S, Val},    {48, L, S, Val},   // 49-52
    {49, V, S, Val},     {50, L, K, Val},    {51, L, S, 5},      {52, L, S, 6},     // 53-56
    {51, L, S, Ignore},  {52, L, S, Ignore}, {53, L, K, 8},      {62, L, K, 8},     // 57-60
    {53, L, K, Ignore},  {62, L, K, Ignore}, {54, CL, S, 5},     {55, CL, S, 6},    // 61-64
    {56, CL, S, Val},    {57, L, K, 8},      {63, L, K, 8},      {58, P, K, 4},     // 65-68
    {58, P, K, Ignore},  {58, None, K, Val}, {59, V, K, Val},    {64, L, S, 8},     // 69-72
    {65, L, S, 9},       {64, None, NoUser, Val}, {65, None, NoUser, Val},          // 73-75
}};

const CodeRules& RulesOf(uint32_t code) {
  static constexpr CodeRules kNoRules{0, None, NoUser, Val};
  return code < kCodes.size() ? kCodes[code] : kNoRules;
}

// The components of the event's key path counted from the end (1: the last); empty
// when the path is shorter.
std::u16string ComponentFromEnd(const RegistryKeyPath& path, size_t fromEnd) {
  const size_t count = path.ComponentCount();
  return count >= fromEnd ? path.Component(count - fromEnd) : std::u16string();
}

// A class watch sits on the class's InProcServer32 key, so the class is the
// component before the last; its default value is the name people know it by,
// whichever string type it was written with (an expandable string is not expanded,
// a multi-string gives its first string). A departure from the documented 2048-byte
// buffer, in which a longer name read as none: the value is read whole.
std::u16string ClassFriendlyName(Platform::System& system, const RegistryKeyPath& path,
                                 bool wow64) {
  const std::u16string prefix =
      wow64 ? u"SOFTWARE\\Wow6432Node\\Classes\\CLSID\\" : u"SOFTWARE\\Classes\\CLSID\\";
  Platform::Registry& registry = system.Registry();
  Platform::ScopedKey key;
  if (registry.OpenKey(Platform::kHkeyLocalMachine, prefix + ComponentFromEnd(path, 2),
                       Platform::kKeyRead, key.Receive(registry)) != Platform::kErrorSuccess) {
    return {};
  }
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (VyrUtilities::QueryValueWhole(registry, key.Get(), u"", &type, &data) !=
          Platform::kErrorSuccess ||
      (type != Platform::kRegSz && type != Platform::kRegExpandSz && type != Platform::kRegMultiSz)) {
    return {};
  }
  return VyrUtilities::CountedText(data.data(), data.size());
}

}  // namespace

uint32_t LoadPointTypeOf(uint32_t matcherCode) { return RulesOf(matcherCode).type; }

std::u16string LoadPointEntryName(Platform::System& system, const BrumevaleRegistryEvent& event) {
  const NameRule rule = RulesOf(event.MatcherCode()).name;
  const RegistryKeyPath& path = event.KeyPath();
  const bool classWatch = event.ExtraNumber() > 0;
  switch (rule) {
    case NameRule::kValue: return event.ValueName();
    case NameRule::kLast: return ComponentFromEnd(path, 1);
    case NameRule::kParent: return ComponentFromEnd(path, 2);
    case NameRule::kClassValue:
    case NameRule::kClassValue32:
      if (!classWatch) return event.ValueName();
      return ClassFriendlyName(system, path, rule == NameRule::kClassValue32);
    case NameRule::kClassLast:
    case NameRule::kClassLast32:
      if (!classWatch) return ComponentFromEnd(path, 1);
      return ClassFriendlyName(system, path, rule == NameRule::kClassLast32);
    case NameRule::kNone: break;
  }
  return {};
}

std::u16string LoadPointUserId(const BrumevaleRegistryEvent& event) {
  const RegistryKeyPath& path = event.KeyPath();
  switch (RulesOf(event.MatcherCode()).user) {
    case UserRule::kSid: return path.Root() == kRootMachine ? std::u16string() : path.Sid();
    case UserRule::kControlSet:
      return path.ComponentCount() >= 2 ? path.Component(1) : std::u16string();
    case UserRule::kNone: break;
  }
  return {};
}

int32_t IsControlSetType(uint32_t type) {
  switch (type) {
    case 12: case 13: case 29: case 30: case 31: case 32: case 33: case 36:
    case 50: case 53: case 57: case 58: case 59: case 62: case 63:
      return 1;
    default:
      return 0;
  }
}

int32_t LoadPointKeyDepth(uint32_t code) { return RulesOf(code).depth; }

uint32_t SystemSettingTypeOf(uint32_t matcherCode) {
  // Codes 76 to 89 are the setting types 1 to 14 in order; 90 to 93 continue at 17
  // (15 and 16 are settings the check reads without a watched value).
  if (matcherCode >= 76 && matcherCode <= 89) return matcherCode - 75;
  if (matcherCode >= 90 && matcherCode <= 93) return matcherCode - 73;
  return 0;
}
