#pragma once
// A collector over a fresh emulated machine, with helpers to take its entries.

#include <gtest/gtest.h>

#include "support/temporary_machine.h"
#include "intake/data_collector.h"
#include "intake/record_builder.h"
#include "intake/registry_entry.h"
#include "util/drive_map.h"
#include "util/text_routines.h"

// Takes the next entry of the collector as Type into name, or fails the test.
#define TAKE(Type, name)                 \
  const Type* name = Next<Type>();       \
  ASSERT_NE(name, nullptr) << "expected a " #Type

namespace Intake {

class CollectorTest : public ::testing::Test {
 protected:
  // Decodes the reply and expects every one of count records to be read.
  void Decode(ReplyBuilder& reply, uint32_t count) {
    EXPECT_EQ(collector.DecodeReply(reply.Bytes(), count), count);
  }

  // The next entry as its class, or null when the queue holds none or another class.
  template <typename Entry>
  const Entry* Next() {
    return dynamic_cast<const Entry*>(collector.TakeNextEntry());
  }

  bool QueueEmpty() { return collector.TakeNextEntry() == nullptr; }
  using Texts = std::vector<std::u16string>;

  TemporaryMachine machine;
  VyrUtilities::DriveMap driveMap{machine.Service()};
  DataCollector collector{machine.Service(), driveMap};
};

}  // namespace Intake
