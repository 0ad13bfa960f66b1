// The owner of C-style counted references used by the macOS platform:
// adopting versus retaining, moves, and giving a reference away.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "platform/macos/scoped_ref.h"

namespace {

// Reference counts of fake objects named by positive integers; 0 is null.
std::map<int, int>& Counts() {
  static std::map<int, int> counts;
  return counts;
}

struct CountingTraits {
  static int Null() { return 0; }
  static void Retain(int ref) { ++Counts()[ref]; }
  static void Release(int ref) { --Counts()[ref]; }
};
using Ref = platform::macos::ScopedRef<int, CountingTraits>;

class ScopedRefTest : public ::testing::Test {
 protected:
  void SetUp() override { Counts().clear(); }
  // An object as a Create function hands it over: one reference, owned.
  static int Created(int id) {
    Counts()[id] = 1;
    return id;
  }
};

TEST_F(ScopedRefTest, AdoptTakesOverTheOwnedReferenceAndGivesItBackOnce) {
  {
    Ref ref = Ref::Adopt(Created(7));
    EXPECT_EQ(Counts()[7], 1);
    EXPECT_TRUE(ref);
    EXPECT_EQ(ref.get(), 7);
  }
  EXPECT_EQ(Counts()[7], 0);
}

TEST_F(ScopedRefTest, RetainAddsAReferenceToABorrowedObjectAndLeavesTheLenderItsOwn) {
  const int borrowed = Created(3);
  {
    Ref ref = Ref::Retain(borrowed);
    EXPECT_EQ(Counts()[3], 2);
  }
  EXPECT_EQ(Counts()[3], 1);
}

TEST_F(ScopedRefTest, NullIsNeitherRetainedNorReleased) {
  {
    Ref adopted = Ref::Adopt(0);
    Ref retained = Ref::Retain(0);
    Ref empty;
    EXPECT_FALSE(adopted);
    EXPECT_FALSE(retained);
    EXPECT_FALSE(empty);
  }
  EXPECT_TRUE(Counts().empty());
}

TEST_F(ScopedRefTest, MovesHandTheReferenceOnWithoutCountingIt) {
  Ref first = Ref::Adopt(Created(1));
  Ref second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(second.get(), 1);
  EXPECT_EQ(Counts()[1], 1);

  // Assigning over a held reference gives the old one back, once.
  Ref third = Ref::Adopt(Created(2));
  third = std::move(second);
  EXPECT_EQ(Counts()[2], 0);
  EXPECT_EQ(Counts()[1], 1);
  EXPECT_EQ(third.get(), 1);

  // Assigning to itself keeps the reference.
  Ref& alias = third;
  third = std::move(alias);
  EXPECT_EQ(third.get(), 1);
  EXPECT_EQ(Counts()[1], 1);
}

TEST_F(ScopedRefTest, ReleaseGivesTheReferenceAwayForAConsumerAndResetSwapsIt) {
  Ref ref = Ref::Adopt(Created(5));
  const int given = ref.release();
  EXPECT_EQ(given, 5);
  EXPECT_FALSE(ref);
  EXPECT_EQ(Counts()[5], 1);  // now the consumer's to give back

  ref.reset(Created(6));
  EXPECT_EQ(ref.get(), 6);
  ref.reset(Created(8));
  EXPECT_EQ(Counts()[6], 0);
  EXPECT_EQ(Counts()[8], 1);
  ref.reset();
  EXPECT_FALSE(ref);
  EXPECT_EQ(Counts()[8], 0);
}

}  // namespace
