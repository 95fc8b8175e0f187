// TModIfCpp owns a handle; check() turns statuses into TModIfError.
#include "TModIfCpp.h"

#include <gtest/gtest.h>

TEST(TModIfCpp, CheckThrowsOnlyForNonZeroStatus) {
    EXPECT_NO_THROW(check(QV_OK));
    try {
        check(QV_ERR_BAD_HANDLE);
        FAIL() << "no exception";
    } catch (const TModIfError& e) {
        EXPECT_EQ(e.status(), QV_ERR_BAD_HANDLE);
    }
}

TEST(TModIfCpp, HoldsAHandleForItsLifetime) {
    TModIfCpp lib;
    EXPECT_GT(lib.handle(), 0);
}
