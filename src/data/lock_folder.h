#pragma once
// The embedded engine's lock folder ($FIREBIRD_LOCK, else /tmp/firebird). Every process that opens
// one database file must share it: under a shared server mode, two engines with different lock
// folders write one file unaware of each other. So the tool never chooses a folder of its own; on
// Debian the folder belongs to the group firebird (0770), and a user must be in that group.
#include <sys/types.h>

#include <string>
#include <vector>

namespace talvix {

// Who asks: the process's user and the groups it runs with.
struct LockFolderUser {
  uid_t uid = 0;
  std::vector<gid_t> groups;
  std::string name;
};

// One entry of the folder as stat(2) saw it.
struct LockFolderEntry {
  std::string path;
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0;  // permission bits and type
};

// The start of the advice, in Latvian.
inline constexpr const char* kLockFolderHead = "Iegultais datu bāzes dzinējs nevar izmantot savu slēdzeņu mapi: ";

// Whether the user may read and write the entry (and enter it, when a folder).
bool lockEntryUsable(const LockFolderEntry& entry, const LockFolderUser& user);

// What to tell the user about an entry it cannot use. groupName: the entry's group;
// listedInGroup: the user is a member of it in the group database, so a new login gives it.
std::string lockFolderAdvice(const LockFolderEntry& blocked, const LockFolderUser& user,
                             const std::string& groupName, bool listedInGroup);

// A connection string without a host opens the file through the embedded engine.
bool opensEmbedded(const std::string& databaseName);

std::string lockFolderPath();
// The same for the running process and the folder as it is now: "" when the process can use the
// folder and everything in it, or when the folder is not there yet (the engine then makes it).
std::string lockFolderAdvice();

}  // namespace talvix
