#pragma once
// What every backend of Platform::Processes must do, whatever machine it runs on.
// A backend's test file defines a fixture type with
//   Platform::Processes& Processes();       the view of a running process ("self")
//   std::u16string SelfExeName();            that process's image file name only
//   uint32_t AbsentProcessId();              an id that no live process holds
//   std::optional<uint32_t> ProtectedProcessId();  a protected process, if the machine has one
// and instantiates the suite:
//   INSTANTIATE_TYPED_TEST_SUITE_P(Name, ProcessesContract, BackendType);

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/processes.h"
#include "platform/scoped_handle.h"
#include "platform/contract/wine_difference.h"

template <typename Backend>
class ProcessesContract : public ::testing::Test {
 protected:
  Platform::Processes& P() { return backend_.Processes(); }

  Platform::ScopedProcess OpenSelf() {
    Platform::ScopedProcess process;
    EXPECT_EQ(P().OpenProcess(P().GetCurrentProcessId(), Platform::kProcessQueryInformation,
                              process.Receive(P())),
              Platform::kErrorSuccess);
    return process;
  }

  Backend backend_;
};

TYPED_TEST_SUITE_P(ProcessesContract);

TYPED_TEST_P(ProcessesContract, SnapshotIsInPidOrderAndHoldsSelfAndSystem) {
  std::vector<Platform::ProcessSnapshotEntry> entries;
  ASSERT_EQ(this->P().SnapshotProcesses(&entries), Platform::kErrorSuccess);
  EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return a.processId < b.processId;
  }));
  const auto find = [&](uint32_t pid) {
    return std::find_if(entries.begin(), entries.end(),
                        [pid](const auto& e) { return e.processId == pid; });
  };
  const auto self = find(this->P().GetCurrentProcessId());
  ASSERT_NE(self, entries.end());
  EXPECT_EQ(self->exeFile, this->backend_.SelfExeName());
  SKIP_WHERE_WINE_DIFFERS(this->backend_,
                          "the toolhelp snapshot holds the idle process (pid 0) and \"System\" "
                          "(pid 4); Wine lists neither");
  const auto system = find(4);
  ASSERT_NE(system, entries.end());
  EXPECT_EQ(system->exeFile, u"System");
  ASSERT_NE(find(0), entries.end());
}

TYPED_TEST_P(ProcessesContract, OwnImageIsInDeviceFormAndItsOwnerHasAName) {
  Platform::ScopedProcess self = this->OpenSelf();
  std::u16string image;
  ASSERT_EQ(this->P().GetProcessImageFileName(self.Get(), 260, &image), Platform::kErrorSuccess);
  EXPECT_EQ(image.rfind(u"\\Device\\", 0), 0u) << "device form, not a drive letter";
  const std::u16string tail = u"\\" + this->backend_.SelfExeName();
  ASSERT_GE(image.size(), tail.size());
  EXPECT_EQ(image.substr(image.size() - tail.size()), tail);

  std::u16string sid, name, domain;
  ASSERT_EQ(this->P().GetProcessOwnerSid(self.Get(), &sid), Platform::kErrorSuccess);
  EXPECT_EQ(sid.rfind(u"S-1-", 0), 0u);
  EXPECT_EQ(this->P().LookupAccountSid(sid, &name, &domain), Platform::kErrorSuccess);
  EXPECT_FALSE(name.empty());
}

TYPED_TEST_P(ProcessesContract, ImageNameLongerThanTheBufferFailsAndLeavesItAlone) {
  Platform::ScopedProcess self = this->OpenSelf();
  std::u16string image;
  ASSERT_EQ(this->P().GetProcessImageFileName(self.Get(), 260, &image), Platform::kErrorSuccess);
  std::u16string small = u"untouched";
  EXPECT_EQ(this->P().GetProcessImageFileName(self.Get(), static_cast<uint32_t>(image.size()),
                                              &small),
            Platform::kErrorInsufficientBuffer);
  EXPECT_EQ(small, u"untouched");
}

TYPED_TEST_P(ProcessesContract, IdleAndAbsentProcessesDoNotOpen) {
  Platform::Handle process = 0;
  EXPECT_EQ(this->P().OpenProcess(0, Platform::kProcessQueryInformation, &process),
            Platform::kErrorInvalidParameter);
  EXPECT_EQ(this->P().OpenProcess(this->backend_.AbsentProcessId(),
                                  Platform::kProcessQueryInformation, &process),
            Platform::kErrorInvalidParameter);
}

TYPED_TEST_P(ProcessesContract, AccountLookupKnowsSystemAndRefusesStrangers) {
  std::u16string name, domain;
  ASSERT_EQ(this->P().LookupAccountSid(u"S-1-5-18", &name, &domain), Platform::kErrorSuccess);
  EXPECT_EQ(name, u"SYSTEM");
  EXPECT_EQ(domain, u"NT AUTHORITY");
  EXPECT_EQ(this->P().LookupAccountSid(u"S-1-5-21-111-222-333-98765", &name, &domain),
            Platform::kErrorNoneMapped);
}

TYPED_TEST_P(ProcessesContract, ThreadIdsAreStablePerThreadAndDistinctAcrossThreads) {
  const uint32_t here = this->P().GetCurrentThreadId();
  EXPECT_NE(here, 0u);
  EXPECT_EQ(this->P().GetCurrentThreadId(), here);
  uint32_t there = 0;
  std::thread([&] { there = this->P().GetCurrentThreadId(); }).join();
  EXPECT_NE(there, 0u);
  EXPECT_NE(there, here);
}

TYPED_TEST_P(ProcessesContract, AClosedHandleIsGone) {
  Platform::ScopedProcess self = this->OpenSelf();
  const Platform::Handle handle = self.Release();
  EXPECT_EQ(this->P().CloseProcess(handle), Platform::kErrorSuccess);
  std::u16string sid;
  EXPECT_NE(this->P().GetProcessOwnerSid(handle, &sid), Platform::kErrorSuccess);
  EXPECT_EQ(this->P().CloseProcess(handle), Platform::kErrorInvalidHandle);
}

// The limited query is what a protected process still grants; it must name the image
// exactly as the full one does, in both of its forms.
TYPED_TEST_P(ProcessesContract, LimitedQueryNamesTheImageInDeviceAndWin32Form) {
  std::u16string device;
  ASSERT_EQ(this->P().GetProcessImageFileName(this->OpenSelf().Get(), 260, &device), Platform::kErrorSuccess);
  Platform::ScopedProcess limited;
  ASSERT_EQ(this->P().OpenProcess(this->P().GetCurrentProcessId(), Platform::kProcessQueryLimitedInformation,
                                  limited.Receive(this->P())),
            Platform::kErrorSuccess);
  std::u16string native, win32;
  ASSERT_EQ(this->P().QueryFullProcessImageName(limited.Get(), Platform::kProcessNameNative, 260, &native),
            Platform::kErrorSuccess);
  EXPECT_EQ(native, device);
  ASSERT_EQ(this->P().QueryFullProcessImageName(limited.Get(), 0, 260, &win32), Platform::kErrorSuccess);
  ASSERT_GT(win32.size(), 3u);
  EXPECT_EQ(win32.substr(1, 2), u":\\");
  const std::u16string tail = u"\\" + this->backend_.SelfExeName();
  EXPECT_EQ(win32.substr(win32.size() - tail.size()), tail);
  std::u16string small = u"untouched";
  EXPECT_EQ(this->P().QueryFullProcessImageName(limited.Get(), 0, static_cast<uint32_t>(win32.size()), &small),
            Platform::kErrorInsufficientBuffer);
  EXPECT_EQ(small, u"untouched");
}

TYPED_TEST_P(ProcessesContract, ProtectedProcessGrantsOnlyTheLimitedQuery) {
  SKIP_WHERE_WINE_DIFFERS(this->backend_,
                          "services.exe, csrss.exe, wininit.exe and smss.exe are protected processes: they "
                          "refuse PROCESS_QUERY_INFORMATION and READ_CONTROL even to LocalSystem and grant "
                          "PROCESS_QUERY_LIMITED_INFORMATION; Wine has no protected processes");
  const std::optional<uint32_t> pid = this->backend_.ProtectedProcessId();
  if (!pid) GTEST_SKIP() << "no protected process runs here";
  Platform::Handle refused = 0;
  EXPECT_EQ(this->P().OpenProcess(*pid, Platform::kReadControl | Platform::kProcessQueryInformation, &refused),
            Platform::kErrorAccessDenied);
  EXPECT_EQ(this->P().OpenProcess(*pid, Platform::kProcessQueryInformation, &refused), Platform::kErrorAccessDenied);
  Platform::ScopedProcess limited;
  ASSERT_EQ(this->P().OpenProcess(*pid, Platform::kProcessQueryLimitedInformation, limited.Receive(this->P())),
            Platform::kErrorSuccess);
  std::u16string image, sid;
  ASSERT_EQ(this->P().QueryFullProcessImageName(limited.Get(), Platform::kProcessNameNative, 260, &image),
            Platform::kErrorSuccess);
  EXPECT_EQ(image.rfind(u"\\Device\\", 0), 0u);
  EXPECT_NE(this->P().GetProcessOwnerSid(limited.Get(), &sid), Platform::kErrorSuccess);
}

REGISTER_TYPED_TEST_SUITE_P(ProcessesContract, SnapshotIsInPidOrderAndHoldsSelfAndSystem,
                            OwnImageIsInDeviceFormAndItsOwnerHasAName,
                            ImageNameLongerThanTheBufferFailsAndLeavesItAlone,
                            IdleAndAbsentProcessesDoNotOpen,
                            AccountLookupKnowsSystemAndRefusesStrangers,
                            ThreadIdsAreStablePerThreadAndDistinctAcrossThreads,
                            AClosedHandleIsGone, LimitedQueryNamesTheImageInDeviceAndWin32Form,
                            ProtectedProcessGrantsOnlyTheLimitedQuery);
