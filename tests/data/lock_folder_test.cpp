// Whether a process may use the embedded engine's lock folder, and what the person is told when not.
#include "data/lock_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace talvix {
namespace {

constexpr uid_t kAlice = 1001, kOther = 1002;
constexpr gid_t kAliceGroup = 1001, kFirebird = 105, kOtherGroup = 1002;

TEST(LockFolderTest, UsableOnlyWithReadWriteAndForAFolderEntry) {
  struct Row {
    const char* scenario;
    uid_t owner;
    gid_t group;
    mode_t mode;
    bool inFirebird;
    bool usable;
  };
  const Row rows[] = {
      {"Debian's folder, user in the group", 0, kFirebird, S_IFDIR | 0770, true, true},
      {"Debian's folder, user outside the group", 0, kFirebird, S_IFDIR | 0770, false, false},
      {"a folder another user made for itself", kOther, kOtherGroup, S_IFDIR | 0770, true, false},
      {"the user's own folder", kAlice, kAliceGroup, S_IFDIR | 0700, false, true},
      {"a folder the group may read but not enter", 0, kFirebird, S_IFDIR | 0760, true, false},
      {"the engine's file, shared through the group", kOther, kFirebird, S_IFREG | 0660, true, true},
      {"the engine's file, another user's alone", kOther, kOtherGroup, S_IFREG | 0660, true, false},
      {"a file the group may only read", kOther, kFirebird, S_IFREG | 0640, true, false},
      {"a file open to everyone", kOther, kOtherGroup, S_IFREG | 0666, false, true},
  };
  for (const Row& row : rows) {
    LockFolderUser user{kAlice, {kAliceGroup}, "alice"};
    if (row.inFirebird) user.groups.push_back(kFirebird);
    EXPECT_EQ(lockEntryUsable({"/tmp/firebird", row.owner, row.group, row.mode}, user), row.usable) << row.scenario;
    user.uid = 0;
    EXPECT_TRUE(lockEntryUsable({"/tmp/firebird", row.owner, row.group, row.mode}, user)) << row.scenario;
  }
}

TEST(LockFolderTest, AdviceNamesTheGroupAndTheCommandThatGrantsIt) {
  struct Row {
    const char* scenario;
    const char* group;
    bool listed;
    const char* command;
  };
  const Row rows[] = {
      {"not in the group", "firebird", false, "sudo adduser alice firebird, tad piesakieties no jauna"},
      {"in the group since this session began", "firebird", true, "piesakieties no jauna vai palaidiet newgrp firebird"},
      {"a folder kept by another user's group", "bob", false, "sudo chgrp -R firebird "},
  };
  const LockFolderUser alice{kAlice, {kAliceGroup}, "alice"};
  for (const Row& row : rows) {
    const std::string advice =
        lockFolderAdvice({"/tmp/firebird/fb_init", kOther, kOtherGroup, S_IFREG | 0660}, alice, row.group, row.listed);
    EXPECT_NE(advice.find("/tmp/firebird/fb_init"), std::string::npos) << row.scenario;
    EXPECT_NE(advice.find(row.command), std::string::npos) << row.scenario << ": " << advice;
  }
}

}  // namespace
}  // namespace talvix
