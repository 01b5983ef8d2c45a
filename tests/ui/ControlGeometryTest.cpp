#include "controls/ControlGeometry.h"

#include <gtest/gtest.h>

using ControlGeometry::PixelsFromTwips;

TEST(ControlGeometry, TwipsToPixelsRoundBothWays) {
    EXPECT_EQ(PixelsFromTwips(2000), 133);
    EXPECT_EQ(PixelsFromTwips(2010), 134);
    EXPECT_EQ(PixelsFromTwips(-20), -1);
    EXPECT_EQ(PixelsFromTwips(-5800), -387);
    EXPECT_EQ(PixelsFromTwips(1695), 113);
}

TEST(ControlGeometry, HalvesRoundToTheEvenNeighbour) {
    EXPECT_EQ(ControlGeometry::roundHalfEven(2.5), 2);
    EXPECT_EQ(ControlGeometry::roundHalfEven(3.5), 4);
    EXPECT_EQ(ControlGeometry::roundHalfEven(-2.5), -2);
}
