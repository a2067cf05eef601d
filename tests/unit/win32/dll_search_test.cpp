// The program's own folder out of the DLL search, run under Wine. Each test
// runs in a process of its own (CTest starts one per test), so the one that
// takes the step leaves the other's search as Windows starts it.
#include "dll_search.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// Built beside this test, under a name that no system DLL has, so that the
// program's folder is the only place it can come from.
constexpr wchar_t kPlantedDll[] = L"ethbox_planted.dll";

TEST(DllSearch, TakesADllFromTheProgramsFolderAsWindowsStartsIt) {
    const HMODULE planted = LoadLibraryW(kPlantedDll);
    EXPECT_NE(planted, nullptr) << "the planted DLL is not beside the test, or the search "
                                   "no longer looks there: the other test proves nothing";
    if (planted != nullptr) {
        FreeLibrary(planted);
    }
}

TEST(DllSearch, NoLongerTakesADllFromTheProgramsFolderAfterTheStep) {
    KeepProgramFolderOutOfDllSearch();
    const HMODULE planted = LoadLibraryW(kPlantedDll);
    EXPECT_EQ(planted, nullptr);
    if (planted != nullptr) {
        FreeLibrary(planted);
    }
}

}  // namespace
