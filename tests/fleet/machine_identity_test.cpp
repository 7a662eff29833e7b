// A machine's name as one subject token, and the id made of a name.

#include <gtest/gtest.h>

#include "fleet/export/machine_identity.h"

TEST(MachineIdentity, NamesBecomeOneSubjectToken) {
  EXPECT_EQ(Fleet::SubjectToken("DESKTOP-7Q2M4LK"), "DESKTOP-7Q2M4LK");
  EXPECT_EQ(Fleet::SubjectToken("lab.pc 7>*"), "lab_pc_7__");
  EXPECT_EQ(Fleet::SubjectToken("Büro_1"), "B_ro_1");  // one character of two bytes, one "_"
  EXPECT_EQ(Fleet::EventSubject(Fleet::SubjectToken("a.b")), "brumevale.events.a_b");
}

TEST(MachineIdentity, IdOfANameIsItsSha256) {
  EXPECT_EQ(Fleet::MachineIdOfName("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_NE(Fleet::MachineIdOfName("PC-1"), Fleet::MachineIdOfName("PC-2"));
}

// An id is a subject token as it is: two ids never share a subject.
TEST(MachineIdentity, AnIdMustBeASubjectTokenAsItIs) {
  EXPECT_TRUE(Fleet::IsMachineId(Fleet::MachineIdOfName("LAB.PC")));
  EXPECT_TRUE(Fleet::IsMachineId("4c4c4544-0042-3510-8051-c4c04f4d3732"));
  for (const char* bad : {"", "LAB.PC", "a b", "a>", "a*"}) EXPECT_FALSE(Fleet::IsMachineId(bad)) << bad;
  EXPECT_FALSE(Fleet::IsMachineId(std::string(129, 'a')));
}
