// A fresh simulated world per test, installed as the platform.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/services.h"
#include "platform/sim/sim_world.h"

class SimWorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world_ = sim::World::Create(sim::Config{});
    ASSERT_NE(world_, nullptr);
    world_->Install();
  }
  // Fixtures release the platform objects they made first, then call this:
  // the world goes last.
  void TearDown() override { world_.reset(); }

  std::unique_ptr<sim::World> world_;
};
