// The loader's search narrowed at start: to the system folder where the system can,
// otherwise the DLLs the system loads later by name loaded from there at once.
#include "fakes.h"
#include "systemLibrary.h"

#include <gtest/gtest.h>

namespace {

using TNames = std::vector<std::wstring>;

const TNames LoadedByName = {L"uxtheme.dll",   L"dwmapi.dll",  L"oleacc.dll",  L"version.dll",
                             L"cryptbase.dll", L"propsys.dll", L"mmdevapi.dll"};
constexpr DWORD Vista = 0x0006;
constexpr DWORD Seven = 0x0106;

// The DLLs asked for, bar kernel32 where the narrowing functions are looked up; each by
// its full path in the system folder, or else by name in the system folder alone.
TNames LibrariesAsked(bool ByPath) {
  TNames Names;
  for (const TLibraryRequest &Request : FakeLoader.Requests) {
    if (Request.Name.find(L"kernel32.dll") != std::wstring::npos)
      continue;
    const size_t NameStart = Request.Name.rfind(L'\\') + 1;
    const std::wstring Name = Request.Name.substr(NameStart);
    EXPECT_EQ(ByPath ? SystemFolderPath(Name.c_str()) : Name, Request.Name);
    EXPECT_EQ(ByPath ? DWORD{LOAD_WITH_ALTERED_SEARCH_PATH} : DWORD{LOAD_LIBRARY_SEARCH_SYSTEM32},
              Request.Flags);
    Names.push_back(Name);
  }
  return Names;
}

class TSystemLibraries : public ::testing::Test {
protected:
  void SetUp() override { ResetFakes(); }
};

TEST_F(TSystemLibraries, WhereTheSystemCanItSearchesTheSystemFolderAloneFromTheStart) {
  FakeLoader.Version = Seven;
  SearchSystemFolderOnly();
  EXPECT_EQ(std::vector<DWORD>{LOAD_LIBRARY_SEARCH_SYSTEM32}, FakeLoader.DefaultDirectories);
  EXPECT_TRUE(SystemFolderSearch);
  EXPECT_TRUE(FakeLoader.DllDirectories.empty());
  EXPECT_EQ(TNames{}, LibrariesAsked(false));
}

TEST_F(TSystemLibraries, WithoutItTheWorkingFolderGoesAndTheSystemsLaterLoadsComeFirstByPath) {
  FakeLoader.HasDefaultDllDirectories = false;
  SearchSystemFolderOnly();
  EXPECT_FALSE(SystemFolderSearch);
  EXPECT_TRUE(FakeLoader.DefaultDirectories.empty());
  EXPECT_EQ(TNames{L""}, FakeLoader.DllDirectories);
  EXPECT_EQ(LoadedByName, LibrariesAsked(true));
}

// Shell COM objects have been seen to fail there after SetDefaultDllDirectories.
TEST_F(TSystemLibraries, VistaTakesTheOlderWayThoughItHasTheFunction) {
  FakeLoader.Version = Vista;
  SearchSystemFolderOnly();
  EXPECT_TRUE(FakeLoader.DefaultDirectories.empty());
  EXPECT_TRUE(SystemFolderSearch);
  EXPECT_EQ(TNames{L""}, FakeLoader.DllDirectories);
  EXPECT_EQ(LoadedByName, LibrariesAsked(false));
}

} // namespace
