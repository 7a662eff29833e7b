// Service-host membership: which image paths run a service inside the shared host.

#include <gtest/gtest.h>

#include "families/common/class_indirection.h"
#include "platform/text_encoding.h"
#include "support/scan_test_machine.h"

namespace Families {

namespace {

struct HostCase {
  const char16_t* service;
  const char16_t* imagePath;
  bool wow64;
  int32_t member;
};

TEST(ServiceHost, MembershipNeedsTheHostTheExactSwitchAndTheGroupOfItsView) {
  ScanMachine machine;
  machine.Import(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SvcHost]\r\n"
      "\"netsvcs\"=hex(7):41,00,00,00,42,00,00,00,00,00\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\SvcHost]\r\n"
      "\"small\"=hex(7):57,00,00,00,00,00\r\n");
  const HostCase cases[] = {
      {u"a", u"%SystemRoot%\\system32\\svchost.exe -k netsvcs -p", 0, 1},
      {u"A", u"%SystemRoot%\\system32\\svchost.exe -K netsvcs -p", 0, 0},
      {u"B", u"\"C:\\WINDOWS\\System32\\svchost.exe\" -k netsvcs", 0, 1},
      {u"C", u"C:\\Windows\\System32\\svchost.exe -k netsvcs", 0, 0},
      {u"A", u"C:\\Windows\\System32\\svchost.exe", 0, 0},
      {u"A", u"C:\\Windows\\System32\\other.exe -k netsvcs", 0, 0},
      {u"W", u"C:\\Windows\\SysWOW64\\svchost.exe -k small", 1, 1},
      {u"W", u"C:\\Windows\\SysWOW64\\svchost.exe -k small", 0, 0},
      {u"A", u"C:\\Windows\\System32\\svchost.exe -k netsvcs", 1, 0},  // 32-bit groups only
  };
  for (const HostCase& c : cases) {
    EXPECT_EQ(IsServiceHostMember(machine.Engine(), c.service, c.imagePath, c.wow64), c.member)
        << Platform::Utf16ToUtf8(c.imagePath) << " wow64 " << c.wow64;
  }
}

}  // namespace

}  // namespace Families
