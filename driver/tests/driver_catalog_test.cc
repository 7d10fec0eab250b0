// Which driver modules the driver chooser offers.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "driver/driver_catalog.h"

namespace jukepak {
namespace {

class DriverCatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ::testing::TempDir() + "catalog_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("rm -rf '" + folder_ + "'").c_str());
    ASSERT_EQ(mkdir(folder_.c_str(), 0755), 0);
  }
  std::string Copy(const char* variant, const std::string& as) {
    const std::string to = folder_ + "/" + as;
    std::ifstream in(std::string(JUKEPAK_TEST_MODULE_DIR) + "/test_" + variant + ".dld",
                     std::ios::binary);
    std::ofstream(to, std::ios::binary) << in.rdbuf();
    chmod(to.c_str(), 0755);
    return to;
  }
  std::vector<std::string> Names(const std::vector<DriverCandidate>& found) {
    std::vector<std::string> names;
    for (const auto& c : found) names.push_back(c.displayName + "@" + c.path.substr(folder_.size() + 1));
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string folder_;
};

TEST_F(DriverCatalogTest, ListsEveryValidModuleAndEachWithItsOwnPath) {
  Copy("complete", "a.dld");
  Copy("complete", "b.dld");  // the same display name twice
  Copy("invalid", "c.dld");   // loads, answers 0
  Copy("omit_queryvalidity", "d.dld");
  Copy("complete", "e.so");  // not a driver module's name
  std::ofstream(folder_ + "/f.dld") << "not a library";
  chmod((folder_ + "/f.dld").c_str(), 0644);
  EXPECT_EQ(Names(FindUsableDrivers({folder_})),
            (std::vector<std::string>{"Test Module@a.dld", "Test Module@b.dld"}));
}

// For the chooser, a module that cannot run here comes with the reason: its
// own when it gives one (portlink without a port), else a general one.
TEST_F(DriverCatalogTest, ModulesThatCannotRunHereAreListedWithTheReason) {
  Copy("complete", "a.dld");
  Copy("invalid", "c.dld");
  std::vector<std::string> listed;
  for (const auto& c : FindDriverModules({folder_})) listed.push_back(c.path + ": " + c.unusableReason);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{folder_ + "/a.dld: ",
                                              folder_ + "/c.dld: " + kNoValidityReason}));

  setenv("JUKEPAK_PARPORT", (folder_ + "/parport").c_str(), 1);
  bool found = false;
  for (const auto& c : FindDriverModules({JUKEPAK_BIN_DIR})) {
    if (c.path != std::string(JUKEPAK_BIN_DIR) + "/portlink.dld") continue;
    found = true;
    EXPECT_EQ(c.unusableReason, "no parallel port found (" + folder_ + "/parport does not exist)");
  }
  unsetenv("JUKEPAK_PARPORT");
  EXPECT_TRUE(found);
}

TEST_F(DriverCatalogTest, FoldersAreSearchedInOrder) {
  const std::string second = folder_ + "/second";
  ASSERT_EQ(mkdir(second.c_str(), 0755), 0);
  Copy("complete", "second/z.dld");
  Copy("complete", "a.dld");
  const auto found = FindUsableDrivers({second, folder_});
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].path, second + "/z.dld");
  EXPECT_EQ(found[1].path, folder_ + "/a.dld");
}

TEST_F(DriverCatalogTest, ModulesOthersMayChangeAreNeverLoaded) {
  const std::string shared = Copy("complete", "shared.dld");
  chmod(shared.c_str(), 0775);
  std::string why;
  EXPECT_FALSE(IsSafeToLoad(shared, &why));
  EXPECT_NE(why.find("other users"), std::string::npos);
  EXPECT_TRUE(FindUsableDrivers({folder_}).empty());

  chmod(shared.c_str(), 0755);
  EXPECT_TRUE(IsSafeToLoad(shared, &why)) << why;
  chmod(folder_.c_str(), 0777);  // a folder anyone may write
  EXPECT_FALSE(IsSafeToLoad(shared, &why));
  EXPECT_TRUE(FindUsableDrivers({folder_}).empty());
  chmod(folder_.c_str(), 0755);
}

}  // namespace
}  // namespace jukepak
