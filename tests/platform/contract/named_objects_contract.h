#pragma once
// What every Platform::NamedObjects backend must do, stated as Windows does it. A
// backend instantiates the suite with a fixture type that has
//   Platform::NamedObjects& Objects();
// Named objects use "Local\BrumevaleContract..." names.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/named_objects.h"
#include "platform/scoped_handle.h"
#include "platform/contract/wine_difference.h"

namespace NamedObjectsContract {

using namespace Platform;

template <typename Backend>
class NamedObjectsContractTest : public ::testing::Test {
 protected:
  NamedObjects& Objects() { return backend_.Objects(); }
  ScopedObject Event(bool manual, bool initial, std::u16string_view name = u"", bool* existed = nullptr) {
    ScopedObject event;
    EXPECT_EQ(Objects().CreateEvent(manual, initial, name, event.Receive(Objects()), existed), kErrorSuccess);
    return event;
  }

  Backend backend_;
};

TYPED_TEST_SUITE_P(NamedObjectsContractTest);

TYPED_TEST_P(NamedObjectsContractTest, EventsResetAsCreatedAndWaitsTimeOut) {
  ScopedObject manual = this->Event(true, false);
  EXPECT_EQ(this->Objects().WaitForSingleObject(manual.Get(), 20), kWaitTimeout);
  EXPECT_EQ(this->Objects().SetEvent(manual.Get()), kErrorSuccess);
  EXPECT_EQ(this->Objects().WaitForSingleObject(manual.Get(), 0), kWaitObject0);
  EXPECT_EQ(this->Objects().WaitForSingleObject(manual.Get(), 0), kWaitObject0);
  EXPECT_EQ(this->Objects().ResetEvent(manual.Get()), kErrorSuccess);
  EXPECT_EQ(this->Objects().WaitForSingleObject(manual.Get(), 0), kWaitTimeout);

  ScopedObject automatic = this->Event(false, true);
  EXPECT_EQ(this->Objects().WaitForSingleObject(automatic.Get(), 0), kWaitObject0);
  EXPECT_EQ(this->Objects().WaitForSingleObject(automatic.Get(), 0), kWaitTimeout);

  // A waiter blocked without limit wakes when another thread sets the event.
  std::thread setter([&] { this->Objects().SetEvent(automatic.Get()); });
  EXPECT_EQ(this->Objects().WaitForSingleObject(automatic.Get(), kInfinite), kWaitObject0);
  setter.join();
  EXPECT_EQ(this->Objects().WaitForSingleObject(0xDEAD0, 0), kWaitFailed);
}

TYPED_TEST_P(NamedObjectsContractTest, NamesOpenTheSameObjectIgnoringCaseUntilTheLastClose) {
  SKIP_WHERE_WINE_DIFFERS(this->backend_,
                          "object names, the \"Local\\\" prefix included, ignore case (Wine fails "
                          "\"local\\...\" with ERROR_PATH_NOT_FOUND)");
  bool existed = true;
  ScopedObject first = this->Event(true, false, u"Local\\BrumevaleContractEvent", &existed);
  EXPECT_FALSE(existed);
  ScopedObject second = this->Event(false, true, u"local\\brumevalecontractEVENT", &existed);
  EXPECT_TRUE(existed);
  EXPECT_EQ(this->Objects().WaitForSingleObject(second.Get(), 0), kWaitTimeout);  // state of the first
  EXPECT_EQ(this->Objects().SetEvent(first.Get()), kErrorSuccess);
  EXPECT_EQ(this->Objects().WaitForSingleObject(second.Get(), 0), kWaitObject0);
  first.Reset();
  second.Reset();
  ScopedObject third = this->Event(true, false, u"Local\\BrumevaleContractEvent", &existed);
  EXPECT_FALSE(existed);

  ScopedObject mutex;
  EXPECT_EQ(this->Objects().CreateMutex(false, u"Local\\BrumevaleContractEvent", mutex.Receive(this->Objects()),
                                        &existed),
            kErrorInvalidHandle);
}

TYPED_TEST_P(NamedObjectsContractTest, MutexesBelongToTheAcquiringThread) {
  ScopedObject mutex;
  bool existed = true;
  ASSERT_EQ(this->Objects().CreateMutex(true, u"Local\\BrumevaleContractMutex", mutex.Receive(this->Objects()),
                                        &existed),
            kErrorSuccess);
  EXPECT_FALSE(existed);
  EXPECT_EQ(this->Objects().WaitForSingleObject(mutex.Get(), 0), kWaitObject0);  // recursion
  std::thread stranger([&] {
    EXPECT_EQ(this->Objects().ReleaseMutex(mutex.Get()), kErrorNotOwner);
    EXPECT_EQ(this->Objects().WaitForSingleObject(mutex.Get(), 20), kWaitTimeout);
  });
  stranger.join();
  EXPECT_EQ(this->Objects().ReleaseMutex(mutex.Get()), kErrorSuccess);
  EXPECT_EQ(this->Objects().ReleaseMutex(mutex.Get()), kErrorSuccess);
  EXPECT_EQ(this->Objects().ReleaseMutex(mutex.Get()), kErrorNotOwner);

  // Opening an existing mutex with initialOwner does not take it.
  ScopedObject again;
  ASSERT_EQ(this->Objects().CreateMutex(true, u"Local\\BrumevaleContractMutex", again.Receive(this->Objects()),
                                        &existed),
            kErrorSuccess);
  EXPECT_TRUE(existed);
  std::thread taker([&] {
    EXPECT_EQ(this->Objects().WaitForSingleObject(again.Get(), 1000), kWaitObject0);
    EXPECT_EQ(this->Objects().ReleaseMutex(again.Get()), kErrorSuccess);
  });
  taker.join();
}

TYPED_TEST_P(NamedObjectsContractTest, WaitingForAnyTakesTheLowestSignalledObject) {
  ScopedObject first = this->Event(false, false);
  ScopedObject second = this->Event(false, true);
  ScopedObject third = this->Event(false, true);
  const Handle handles[] = {first.Get(), second.Get(), third.Get()};
  EXPECT_EQ(this->Objects().WaitForMultipleObjects(handles, false, 0), kWaitObject0 + 1);
  // Only the object that ended the wait was taken.
  EXPECT_EQ(this->Objects().WaitForMultipleObjects(handles, false, 0), kWaitObject0 + 2);
  EXPECT_EQ(this->Objects().WaitForMultipleObjects(handles, false, 20), kWaitTimeout);

  std::thread setter([&] { this->Objects().SetEvent(third.Get()); });
  EXPECT_EQ(this->Objects().WaitForMultipleObjects(handles, false, kInfinite), kWaitObject0 + 2);
  setter.join();
}

TYPED_TEST_P(NamedObjectsContractTest, WaitingForAllTakesNothingUntilEveryObjectIsSignalled) {
  ScopedObject first = this->Event(false, true);
  ScopedObject second = this->Event(false, false);
  const Handle handles[] = {first.Get(), second.Get()};
  EXPECT_EQ(this->Objects().WaitForMultipleObjects(handles, true, 20), kWaitTimeout);
  EXPECT_EQ(this->Objects().WaitForSingleObject(first.Get(), 0), kWaitObject0);  // still set
  EXPECT_EQ(this->Objects().SetEvent(first.Get()), kErrorSuccess);
  std::thread setter([&] { this->Objects().SetEvent(second.Get()); });
  EXPECT_EQ(this->Objects().WaitForMultipleObjects(handles, true, kInfinite), kWaitObject0);
  setter.join();
  EXPECT_EQ(this->Objects().WaitForMultipleObjects(handles, false, 0), kWaitTimeout);  // both taken
}

TYPED_TEST_P(NamedObjectsContractTest, WaitingForMultipleObjectsRefusesNoneOrTooMany) {
  std::vector<ScopedObject> events;
  std::vector<Handle> handles;
  for (size_t i = 0; i <= kMaximumWaitObjects; ++i) {
    events.push_back(this->Event(true, true));
    handles.push_back(events.back().Get());
  }
  EXPECT_EQ(this->Objects().WaitForMultipleObjects(handles, false, 0), kWaitFailed);
  EXPECT_EQ(this->Objects().WaitForMultipleObjects(std::span(handles).first(kMaximumWaitObjects), false, 0),
            kWaitObject0);
  EXPECT_EQ(this->Objects().WaitForMultipleObjects({}, false, 0), kWaitFailed);
}

REGISTER_TYPED_TEST_SUITE_P(NamedObjectsContractTest, EventsResetAsCreatedAndWaitsTimeOut,
                            NamesOpenTheSameObjectIgnoringCaseUntilTheLastClose,
                            MutexesBelongToTheAcquiringThread,
                            WaitingForAnyTakesTheLowestSignalledObject,
                            WaitingForAllTakesNothingUntilEveryObjectIsSignalled,
                            WaitingForMultipleObjectsRefusesNoneOrTooMany);

}  // namespace NamedObjectsContract
