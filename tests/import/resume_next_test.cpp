#include "import/resume_next.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "archives/window_interface.h"
#include "engine/base/error.h"

namespace import {
namespace {

TEST(ResumeNext, SwallowsAFailingStepAndKeepsItsReason) {
  ResumeNext steps;
  int after = 0;
  EXPECT_FALSE(steps.Run([] { throw engine::Error("listini.mdb", "the disk is full"); }));
  EXPECT_EQ(steps.last_failure(), "the disk is full") << "the reason, without the file";
  EXPECT_TRUE(steps.Run([&] { after = 1; }));
  EXPECT_EQ(after, 1);
  EXPECT_FALSE(steps.Run([] { throw std::runtime_error("Combo2 cannot be read"); }));
  EXPECT_EQ(steps.last_failure(), "Combo2 cannot be read");
  EXPECT_EQ(steps.failures(), 2);
}

TEST(ResumeNext, AFailingTestCountsAsHeld) {
  ResumeNext steps;
  EXPECT_TRUE(steps.Holds([]() -> bool { throw std::runtime_error("x"); }));
  EXPECT_FALSE(steps.Holds([] { return false; }));
  EXPECT_TRUE(steps.Holds([] { return true; }));
}

TEST(ResumeNext, AFailingComputationAssignsNothing) {
  ResumeNext steps;
  EXPECT_EQ(steps.Get([] { return 42L; }), 42L);
  EXPECT_FALSE(steps.Get([]() -> long { throw engine::Error("", "no record set is open"); }).has_value());
}

TEST(ResumeNext, TheEndOfTheProgramIsNoFailure) {
  ResumeNext steps;
  EXPECT_THROW(steps.Run([] { throw archives::ProgramEnded{}; }), archives::ProgramEnded);
  EXPECT_THROW(steps.Holds([]() -> bool { throw archives::ProgramEnded{}; }), archives::ProgramEnded);
  EXPECT_EQ(steps.failures(), 0);
}

}  // namespace
}  // namespace import
