#include <gtest/gtest.h>

#include "wide_string.h"

TEST(WideString, Placeholder) { WideString s(L"x"); EXPECT_EQ(1, s.Length()); }
