#include "data/lock_folder.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace talvix {
namespace {

constexpr char kDefaultFolder[] = "/tmp/firebird";
// Debian's group for local access to Firebird's files.
constexpr char kSharedGroup[] = "firebird";

std::optional<LockFolderEntry> statEntry(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return LockFolderEntry{path, status.st_uid, status.st_gid, status.st_mode};
}

LockFolderUser runningUser() {
  LockFolderUser user;
  user.uid = geteuid();
  const int count = getgroups(0, nullptr);
  user.groups.resize(static_cast<std::size_t>(std::max(count, 0)));
  if (count > 0) user.groups.resize(static_cast<std::size_t>(std::max(getgroups(count, user.groups.data()), 0)));
  user.groups.push_back(getegid());
  const passwd* entry = getpwuid(user.uid);
  user.name = entry ? entry->pw_name : std::to_string(user.uid);
  return user;
}

std::string groupName(gid_t gid) {
  const group* entry = getgrgid(gid);
  return entry ? entry->gr_name : std::to_string(gid);
}

bool listedIn(gid_t gid, const std::string& userName) {
  const passwd* account = getpwnam(userName.c_str());
  if (account && account->pw_gid == gid) return true;
  const group* entry = getgrgid(gid);
  if (!entry) return false;
  for (char** member = entry->gr_mem; *member; ++member)
    if (userName == *member) return true;
  return false;
}

std::string describe(const LockFolderEntry& entry) {
  const passwd* owner = getpwuid(entry.owner);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(entry.mode & 07777));
  return entry.path + " (īpašnieks " + (owner ? owner->pw_name : std::to_string(entry.owner)) + ", grupa " +
         groupName(entry.group) + ", tiesības " + mode + ")";
}

// The folder first, then what the engine keeps in it.
std::optional<LockFolderEntry> firstBlocked(const std::string& folder, const LockFolderUser& user) {
  const auto top = statEntry(folder);
  if (!top) return std::nullopt;
  if (!lockEntryUsable(*top, user)) return top;
  std::error_code error;
  for (const auto& file : std::filesystem::directory_iterator(folder, error)) {
    const auto entry = statEntry(file.path().string());
    // The server, started as root, leaves guards only root may open; a client never opens them.
    const bool rootsOwn = entry && entry->owner == 0 && (entry->mode & 077) == 0;
    if (entry && !rootsOwn && !lockEntryUsable(*entry, user)) return entry;
  }
  return std::nullopt;
}

}  // namespace

bool lockEntryUsable(const LockFolderEntry& entry, const LockFolderUser& user) {
  if (user.uid == 0) return true;
  const mode_t needed = S_ISDIR(entry.mode) ? 07 : 06;
  mode_t granted = entry.mode & 07;
  if (entry.owner == user.uid)
    granted = (entry.mode >> 6) & 07;
  else if (std::find(user.groups.begin(), user.groups.end(), entry.group) != user.groups.end())
    granted = (entry.mode >> 3) & 07;
  return (granted & needed) == needed;
}

std::string lockFolderAdvice(const LockFolderEntry& blocked, const LockFolderUser& user, const std::string& group,
                             bool listedInGroup) {
  const std::string head = kLockFolderHead + describe(blocked) + ". ";
  if (group != kSharedGroup) {
    const std::string folder = lockFolderPath();
    return head + "Visi šī datora Firebird lietotāji to lieto kopā caur grupu " + kSharedGroup + ": sudo chgrp -R " +
           kSharedGroup + " " + folder + " && sudo chmod -R g+rwX " + folder + ", un sudo adduser " + user.name + " " +
           kSharedGroup + " (tad piesakieties no jauna).";
  }
  if (listedInGroup)
    return head + user.name + " ir grupā " + group +
           ", bet šī sesija sākās pirms tam: piesakieties no jauna vai palaidiet newgrp " + group + ".";
  return head + "Pievienojiet " + user.name + " grupai " + group + ": sudo adduser " + user.name + " " + group +
         ", tad piesakieties no jauna.";
}

bool opensEmbedded(const std::string& databaseName) { return databaseName.find(':') == std::string::npos; }

std::string lockFolderPath() {
  const char* chosen = std::getenv("FIREBIRD_LOCK");
  return chosen && *chosen ? chosen : kDefaultFolder;
}

std::string lockFolderAdvice() {
  const LockFolderUser user = runningUser();
  const auto blocked = firstBlocked(lockFolderPath(), user);
  if (!blocked) return {};
  return lockFolderAdvice(*blocked, user, groupName(blocked->group), listedIn(blocked->group, user.name));
}

}  // namespace talvix
