#pragma once

// Runs a test with the processor's wide lanes (AVX2, where it has them) and
// again with them switched off, so that both paths meet the same checks.

#include "dsp/WideLanes.h"

#include <gtest/gtest.h>

#include <string>

class LaneWidthTest : public testing::TestWithParam<bool>
{
protected:
  void SetUp() override
  {
    wide_lanes::SetEnabled(GetParam());
    if (GetParam() && !wide_lanes::Enabled())
      GTEST_SKIP() << "this processor has no AVX2";
  }
  void TearDown() override { wide_lanes::SetEnabled(true); }
};

inline std::string LaneWidthName(const testing::TestParamInfo<bool>& info)
{
  return info.param ? "Wide" : "Narrow";
}

#define INSTANTIATE_LANE_WIDTHS(Suite) INSTANTIATE_TEST_SUITE_P(Lanes, Suite, testing::Bool(), LaneWidthName)
