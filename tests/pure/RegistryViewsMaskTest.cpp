#include "inventory/RegistryViews.h"

#include <gtest/gtest.h>

TEST(RegistryViewMask, EveryRowOfTheTable)
{
    EXPECT_EQ(0x20019u, ViewAccessMask(true, false));
    EXPECT_EQ(0x20019u, ViewAccessMask(true, true));
    EXPECT_EQ(0x20219u, ViewAccessMask(false, false));
    EXPECT_EQ(0x20119u, ViewAccessMask(false, true));
}
