// The meters CSV holds exactly the doubles the plug-in reported.

#include "meters.h"
#include "render_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace korvel::render::test {
namespace {

TEST(MeterCsv, EveryValueReadsBackAsTheSameDouble)
{
    const std::vector<double> values {0.1,
                                      1.0 / 3.0,
                                      0.98765432109876543,
                                      std::nextafter(1.0, 0.0),
                                      1.0125,
                                      std::numeric_limits<double>::denorm_min(),
                                      std::numeric_limits<double>::min(),
                                      std::numeric_limits<double>::max(),
                                      -0.0,
                                      0.0,
                                      std::pow(10.0, -3.7 / 10.0)};
    TempFolder folder;
    MeterCsv csv(folder.file("m.csv"), "m.csv", {1, 2, 3});
    for (size_t i = 0; i + 3 <= values.size(); ++i)
        csv.addRow(static_cast<std::int64_t>(i), static_cast<std::int64_t>(i) * 512,
                   {values[i], values[i + 1], values[i + 2]}, 64);
    csv.close();

    auto rows = readCsv(folder.file("m.csv"));
    ASSERT_EQ(rows.size(), values.size() - 2 + 1);
    for (size_t r = 1; r < rows.size(); ++r)
        for (size_t k = 0; k < 3; ++k)
        {
            double expected = values[r - 1 + k];
            double read = std::strtod(rows[r].at(2 + k).c_str(), nullptr);
            EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0)
                << "row " << r << " column " << k << ": " << rows[r].at(2 + k);
        }
}

} // namespace
} // namespace korvel::render::test
