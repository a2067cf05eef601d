// The single-instance guard of the Win32 shell, run under Wine.
#include "single_instance.h"

#include <gtest/gtest.h>

namespace {

// The guard's name, as another instance holds it.
constexpr wchar_t kGuardName[] = L"TALVORIN_EthernetBox_VupUtility";

TEST(ClaimSingleInstance, OnlyAMutexOfOurOwnMakingLetsTheProgramRun) {
    // An object of another kind under the guard's name makes creating the
    // mutex fail, as an elevated instance's mutex does (access denied): that
    // must not count as nobody running.
    const HANDLE squatter = CreateEventW(nullptr, TRUE, FALSE, kGuardName);
    ASSERT_NE(squatter, nullptr);
    ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS))
        << "another EthBoxVup runs in this prefix";
    EXPECT_FALSE(ClaimSingleInstance());
    CloseHandle(squatter);

    EXPECT_TRUE(ClaimSingleInstance());
    EXPECT_FALSE(ClaimSingleInstance()) << "a second claim must find the first";
}

}  // namespace
