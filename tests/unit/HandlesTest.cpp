#include "mirov/Handles.h"

#include <gtest/gtest.h>

TEST(Handles, ClosingKeepsTheCallersLastError) {
    // A close that fails sets an error of its own: here a handle already closed behind its owner.
    const HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(::CloseHandle(event));
    {
        mirov::UniqueHandle owner(event);
        ::SetLastError(ERROR_FILE_NOT_FOUND); // the error of a call the caller is about to report
    }
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
