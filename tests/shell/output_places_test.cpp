// Every writer of a file the person points at (the host's CSV report, the workbook, the window's
// saves), onto every kind of place: what stands there is written as it is or refused, never
// replaced by something else, nothing else in the folder changes, and a refusal names the reason
// in Latvian.
#include "report/output_file.h"
#include "report/unpriced_csv.h"
#include "report/xlsx_file.h"
#include "shell/whole_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>

namespace talvix::test {
namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::set<std::string> listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

struct Writer {
  const char* name;
  std::function<void(const std::string& path)> write;
  std::string prefix;                                   // how its message begins
  std::function<bool(const std::string& bytes)> wrote;  // the bytes a reader got are the writer's
};

const std::string kCsv = "kind,line\ntransfer,1\n";

std::vector<Writer> writers() {
  Sheet sheet{"lapa", {"a"}, {{textCell("ē")}}, {}, {}};
  return {
      {"HostCsv", [](const std::string& path) { writeCsvFile(path, kCsv); }, kCannotWriteReport,
       [](const std::string& bytes) { return bytes == withByteOrderMark(kCsv); }},
      {"HostWorkbook",
       [sheet](const std::string& path) {
         writeReport(
             path + ".xlsx", [] { return kCsv; }, [sheet] { return std::vector<Sheet>{sheet}; });
       },
       kCannotWriteReport, [](const std::string& bytes) { return bytes.rfind("PK\x03\x04", 0) == 0; }},
      {"WindowSave", [](const std::string& path) { shell::saveWholeFile(QString::fromStdString(path), "žurnāls\n"); },
       shell::kCannotSaveFile, [](const std::string& bytes) { return bytes == "žurnāls\n"; }},
  };
}

// The workbook's writer decides by the name: its place is the same path with ".xlsx".
std::string placeFor(const Writer& writer, const std::string& path) {
  return std::string(writer.name) == "HostWorkbook" ? path + ".xlsx" : path;
}

std::string failureOf(const std::function<void()>& write) {
  try {
    write();
  } catch (const std::exception& failure) {
    return failure.what();
  }
  return {};
}

TEST(OutputPlacesTest, ARegularFileIsReplacedWholeKeepingItsMode) {
  for (const Writer& writer : writers()) {
    SCOPED_TRACE(writer.name);
    TempDir dir;
    const std::string place = placeFor(writer, dir.file("report"));
    std::ofstream(place) << "old";
    ASSERT_EQ(::chmod(place.c_str(), 0640), 0);
    writer.write(dir.file("report"));
    struct stat after {};
    ASSERT_EQ(::lstat(place.c_str(), &after), 0);
    EXPECT_TRUE(S_ISREG(after.st_mode));
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_TRUE(writer.wrote(readAll(place)));
    EXPECT_EQ(listing(dir.path()), std::set<std::string>{std::filesystem::path(place).filename()});
  }
}

TEST(OutputPlacesTest, ASymbolicLinkStaysALinkAndItsTargetIsReplaced) {
  struct Row {
    const char* scenario;
    bool targetStands;
  };
  for (const Row row : {Row{"to a file", true}, Row{"to no file yet", false}})
    for (const Writer& writer : writers()) {
      SCOPED_TRACE(std::string(writer.name) + " " + row.scenario);
      TempDir dir;
      std::filesystem::create_directory(dir.file("kept"));
      const std::string target = placeFor(writer, dir.file("kept/report"));
      if (row.targetStands) std::ofstream(target) << "old";
      const std::string link = placeFor(writer, dir.file("link"));
      std::filesystem::create_symlink("kept/" + std::filesystem::path(target).filename().string(), link);
      writer.write(dir.file("link"));
      EXPECT_TRUE(std::filesystem::is_symlink(link));
      EXPECT_TRUE(writer.wrote(readAll(target)));
      EXPECT_EQ(listing(dir.file("kept")), std::set<std::string>{std::filesystem::path(target).filename()});
    }
}

TEST(OutputPlacesTest, ACharacterDeviceIsWrittenIntoAndStaysADevice) {
  if (::geteuid() != 0) GTEST_SKIP() << "mknod of a character device needs root";
  for (const Writer& writer : writers()) {
    SCOPED_TRACE(writer.name);
    TempDir dir;
    const std::string place = placeFor(writer, dir.file("null"));
    ASSERT_EQ(::mknod(place.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0) << std::strerror(errno);
    writer.write(dir.file("null"));
    struct stat after {};
    ASSERT_EQ(::lstat(place.c_str(), &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode)) << "the device was replaced";
    EXPECT_EQ(after.st_rdev, makedev(1, 3));
    EXPECT_EQ(listing(dir.path()).size(), 1u) << "nothing is left beside it";
  }
}

TEST(OutputPlacesTest, AFifoGivesItsReaderTheBytesOrIsRefusedWithoutOne) {
  for (const bool reader : {true, false})
    for (const Writer& writer : writers()) {
      SCOPED_TRACE(std::string(writer.name) + (reader ? " with a reader" : " without a reader"));
      TempDir dir;
      const std::string place = placeFor(writer, dir.file("fifo"));
      ASSERT_EQ(::mkfifo(place.c_str(), 0600), 0);
      const int fd = reader ? ::open(place.c_str(), O_RDONLY | O_NONBLOCK) : -1;
      const std::string failure = failureOf([&] { writer.write(dir.file("fifo")); });
      std::string got;
      if (fd >= 0) {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
      }
      struct stat after {};
      ASSERT_EQ(::lstat(place.c_str(), &after), 0);
      EXPECT_TRUE(S_ISFIFO(after.st_mode)) << "the FIFO was replaced";
      EXPECT_EQ(listing(dir.path()).size(), 1u);
      if (reader) {
        EXPECT_EQ(failure, "");
        EXPECT_TRUE(writer.wrote(got)) << got.size() << " bytes";
      } else {
        EXPECT_EQ(failure.rfind(writer.prefix, 0), 0u) << failure;
        EXPECT_NE(failure.find("nav lasītāja"), std::string::npos) << failure;
      }
    }
}

struct RefusedRow {
  const char* scenario;
  std::string path;                       // "DIR/" stands for a fresh temporary folder
  enum { Nothing, Folder, Socket } made;  // at the place, before the write
  const char* reason;
  const char* notReason;
};

TEST(OutputPlacesTest, APlaceThatCannotBeWrittenGivesTheSystemsReasonInLatvian) {
  const RefusedRow rows[] = {
      {"a new file under /proc", "/proc/talvix-report", RefusedRow::Nothing, "kodola failu sistēma", "tādas mapes nav"},
      {"a file of /proc", "/proc/version", RefusedRow::Nothing, "kodola failu sistēma", "tādas mapes nav"},
      {"a process's folder under /proc", "/proc/self/talvix-report", RefusedRow::Nothing, "kodola failu sistēma",
       "tādas mapes nav"},
      {"a folder that is not there", "DIR/nav/report", RefusedRow::Nothing, "tādas mapes nav", "kodola"},
      {"a folder", "DIR/mape", RefusedRow::Folder, "tā ir mape", "tādas mapes nav"},
      {"a socket", "DIR/socket", RefusedRow::Socket, "ligzda", "tādas mapes nav"},
  };
  for (const RefusedRow& row : rows)
    for (const Writer& writer : writers()) {
      SCOPED_TRACE(std::string(writer.name) + ": " + row.scenario);
      TempDir dir;
      std::string path = row.path;
      if (path.rfind("DIR/", 0) == 0) path = dir.path() + "/" + path.substr(4);
      if (row.made == RefusedRow::Folder) std::filesystem::create_directory(placeFor(writer, path));
      if (row.made == RefusedRow::Socket) {
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, placeFor(writer, path).c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(sock);
      }
      const std::set<std::string> before = listing(dir.path());
      const std::string failure = failureOf([&] { writer.write(path); });
      EXPECT_EQ(failure.rfind(writer.prefix, 0), 0u) << failure;
      EXPECT_NE(failure.find(row.reason), std::string::npos) << failure;
      EXPECT_EQ(failure.find(row.notReason), std::string::npos) << failure;
      EXPECT_EQ(listing(dir.path()), before);
      if (row.made == RefusedRow::Socket) {
        EXPECT_TRUE(std::filesystem::is_socket(placeFor(writer, path)));
      }
    }
}

}  // namespace
}  // namespace talvix::test
