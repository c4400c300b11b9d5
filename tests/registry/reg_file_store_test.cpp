#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>

#include "registry/registry_store.h"

namespace talvix {
namespace {

namespace fs = std::filesystem;

const std::string kKey = "Software\\ORMANTA\\Talvix\\AutoIepCenSad";

std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

class RegFileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "talvix-registry-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    file_ = dir_ / "talvix" / "registry.reg";
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  fs::path file_;
};

TEST_F(RegFileStoreTest, MissingFileIsAnEmptyRegistryAndFirstWriteCreatesIt) {
  RegFileStore store(file_.string());
  EXPECT_EQ(store.openForRead(kKey), nullptr);
  EXPECT_FALSE(fs::exists(file_));

  auto key = store.openForWrite(kKey);
  ASSERT_NE(key, nullptr);
  key->writeInteger("ParvietosanaChk", 10);
  key->writeDateTime("DatumsNo", 1.0);
  EXPECT_EQ(readBytes(file_),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\AutoIepCenSad]\n"
            "\"ParvietosanaChk\"=dword:0000000a\n"
            "\"DatumsNo\"=hex:00,00,00,00,00,00,f0,3f\n\n");
}

TEST_F(RegFileStoreTest, EveryTypeSurvivesAWriteAndOtherTypesStayVerbatim) {
  const std::string verbatim =
      "\"Env\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\n"
      "\"List\"=hex(7):61,00,00,00,62,00,00,00,\\\n"
      "  00,00\n"
      "\"Big\"=hex(b):ff,ff,ff,ff,ff,ff,ff,7f\n";
  writeBytes(file_, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" + kKey +
                        "]\n@=\"noklusētā\"\n\"Name\"=\"Rīga \\\"A\\\" C:\\\\x\"\n" + verbatim);
  const std::int32_t integers[] = {0, 1, 5, -1, std::numeric_limits<std::int32_t>::max(),
                                   std::numeric_limits<std::int32_t>::min()};
  const double dates[] = {0.0, 45292.0, 45292.999988425926, -657434.0, 2958465.5};
  {
    RegFileStore store(file_.string());
    auto key = store.openForWrite(kKey);
    ASSERT_NE(key, nullptr);
    for (std::size_t i = 0; i < std::size(integers); ++i) key->writeInteger("I" + std::to_string(i), integers[i]);
    for (std::size_t i = 0; i < std::size(dates); ++i) key->writeDateTime("D" + std::to_string(i), dates[i]);
  }
  RegFileStore store(file_.string());
  auto key = store.openForRead(kKey);
  ASSERT_NE(key, nullptr);
  for (std::size_t i = 0; i < std::size(integers); ++i) EXPECT_EQ(key->readInteger("I" + std::to_string(i)), integers[i]);
  for (std::size_t i = 0; i < std::size(dates); ++i) EXPECT_EQ(key->readDateTime("D" + std::to_string(i)), dates[i]);
  EXPECT_EQ(key->readString(""), "noklusētā");
  EXPECT_EQ(key->readString("Name"), "Rīga \"A\" C:\\x");
  EXPECT_EQ(key->readString("Env"), "%TMP%");
  EXPECT_NE(readBytes(file_).find(verbatim), std::string::npos) << readBytes(file_);

  std::vector<std::string> expectedNames = {"Name", "Env", "List", "Big"};
  for (std::size_t i = 0; i < std::size(integers); ++i) expectedNames.push_back("I" + std::to_string(i));
  for (std::size_t i = 0; i < std::size(dates); ++i) expectedNames.push_back("D" + std::to_string(i));
  EXPECT_EQ(key->valueNames(), expectedNames);
}

TEST_F(RegFileStoreTest, ReadsRegeditUtf16ExportWithCrlf) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\r\n"
      "\"Galvenā 𝄞\"=\"localhost:C:\\\\Dati\\\\GALV.GDB\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Password]\r\n"
      "\"LastDBIndex\"=dword:00000001\r\n\r\n";
  std::string bytes = "\xFF\xFE";
  for (std::size_t i = 0; i < text.size();) {  // UTF-8 to UTF-16LE, surrogate pairs included
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += length;
    auto unit = [&bytes](char32_t u) { bytes += static_cast<char>(u & 0xFF), bytes += static_cast<char>(u >> 8); };
    if (c >= 0x10000) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
  writeBytes(file_, bytes);

  RegFileStore store(file_.string());
  auto bazes = store.openForRead("Software\\ORMANTA\\Talvix\\Bazes");
  ASSERT_NE(bazes, nullptr);
  EXPECT_EQ(bazes->valueNames(), std::vector<std::string>{"Galvenā 𝄞"});
  EXPECT_EQ(bazes->readString("galvenā 𝄞"), "localhost:C:\\Dati\\GALV.GDB");
  EXPECT_EQ(store.openForRead("Software\\ORMANTA\\Talvix\\Password")->readInteger("LastDBIndex"), 1);
}

TEST_F(RegFileStoreTest, UnparseableFileIsReportedAndNeverOverwritten) {
  const std::string broken =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" + kKey +
      "]\n\"a\"=dword:00000001\n\n; note\n\"b\"=\"no end\n\"c\"=dword:00000002\n";
  writeBytes(file_, broken);
  RegFileStore store(file_.string());

  try {
    store.openForRead(kKey);
    FAIL() << "no error";
  } catch (const RegistryError& error) {
    EXPECT_EQ(std::string(error.what()), file_.string() + ":7: unterminated string");
  }
  EXPECT_EQ(store.openForWrite(kKey), nullptr);
  EXPECT_EQ(store.openForWrite("Software\\Other"), nullptr);
  EXPECT_EQ(readBytes(file_), broken);
  EXPECT_FALSE(fs::exists(file_.string() + ".tmp"));
}

TEST_F(RegFileStoreTest, WriteThroughAnOpenKeyFailsWhenTheFileWasBrokenMeanwhile) {
  RegFileStore store(file_.string());
  auto key = store.openForWrite(kKey);
  ASSERT_NE(key, nullptr);
  const std::string broken = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n\"v\"=dword:zz\n";
  writeBytes(file_, broken);
  EXPECT_THROW(key->writeInteger("IMEI", 1), RegistryError);
  EXPECT_EQ(readBytes(file_), broken);
}

TEST_F(RegFileStoreTest, KeyThatCannotBeCreatedOpensAsNull) {
  writeBytes(dir_ / "plain-file", "x");
  RegFileStore store((dir_ / "plain-file" / "registry.reg").string());
  EXPECT_EQ(store.openForWrite(kKey), nullptr);
  EXPECT_EQ(store.openForRead(kKey), nullptr);
}

TEST_F(RegFileStoreTest, EachWriteKeepsWhatOthersWroteSinceTheKeyWasOpened) {
  RegFileStore mine(file_.string());
  RegFileStore theirs(file_.string());
  auto myKey = mine.openForWrite(kKey);
  ASSERT_NE(myKey, nullptr);
  theirs.openForWrite(kKey)->writeInteger("Theirs", 7);
  theirs.openForWrite("Software\\Elsewhere")->writeInteger("X", 1);

  EXPECT_THROW(myKey->readInteger("Theirs"), RegistryError);  // reads see the file as opened
  myKey->writeInteger("Mine", 3);
  EXPECT_EQ(myKey->readInteger("Theirs"), 7);  // the write re-read the file

  auto reread = RegFileStore(file_.string()).openForRead(kKey);
  EXPECT_EQ(reread->readInteger("Mine"), 3);
  EXPECT_EQ(reread->readInteger("Theirs"), 7);
  EXPECT_EQ(RegFileStore(file_.string()).openForRead("Software\\Elsewhere")->readInteger("X"), 1);
}

TEST_F(RegFileStoreTest, TwoProcessesWritingAtOnceBothKeepAllTheirValues) {
  constexpr int kWrites = 60;
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  auto writer = [&](const std::string& prefix) {
    ::close(gate[1]);
    char ignored;
    (void)!::read(gate[0], &ignored, 1);  // both start when the parent closes the pipe
    try {
      RegFileStore store(file_.string());
      for (int i = 0; i < kWrites; ++i) {
        auto key = store.openForWrite(i % 2 ? kKey : "software\\ormanta\\talvix\\AUTOIEPCENSAD");
        if (!key) ::_exit(2);
        key->writeInteger(prefix + "I" + std::to_string(i), i);
        key->writeDateTime(prefix + "D" + std::to_string(i), 40000.25 + i);
      }
    } catch (...) {
      ::_exit(1);
    }
    ::_exit(0);
  };
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) writer(c == 0 ? "A" : "B");
  }
  ::close(gate[0]);
  ::close(gate[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }

  auto key = RegFileStore(file_.string()).openForRead(kKey);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->valueNames().size(), 4u * kWrites);
  for (const char* prefix : {"A", "B"}) {
    for (int i = 0; i < kWrites; ++i) {
      EXPECT_EQ(key->readInteger(prefix + std::string("I") + std::to_string(i)), i);
      EXPECT_EQ(key->readDateTime(prefix + std::string("D") + std::to_string(i)), 40000.25 + i);
    }
  }
}

TEST_F(RegFileStoreTest, KeysAndValuesMatchWithoutRegardToCase) {
  writeBytes(file_,
             "Windows Registry Editor Version 5.00\n\n"
             "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n\"Beta\"=\"b.fdb\"\n\"alfa\"=\"a.fdb\"\n");
  RegFileStore store(file_.string());
  auto key = store.openForRead("SOFTWARE\\ormanta\\TALVIX\\bazes");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->valueNames(), (std::vector<std::string>{"Beta", "alfa"}));
  EXPECT_EQ(key->readString("BETA"), "b.fdb");
  EXPECT_NE(store.openForRead("software\\ormanta"), nullptr);  // a parent of a stored key exists
  EXPECT_EQ(store.openForRead("Software\\ORMANTA\\Talvix\\Baze"), nullptr);

  auto writable = store.openForWrite("software\\ormanta\\talvix\\BAZES");
  ASSERT_NE(writable, nullptr);
  writable->writeInteger("ALFA2", 1);
  const std::string written = readBytes(file_);
  EXPECT_NE(written.find("[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n\"Beta\""), std::string::npos);
  EXPECT_EQ(written.find("[HKEY_CURRENT_USER\\software"), std::string::npos) << written;
}

struct ReadCase {
  const char* what;
  std::function<void(const RegistryKey&)> read;
  const char* errorPart;  // nullptr: must not throw
};

TEST_F(RegFileStoreTest, ReadsOfMissingOrMistypedValues) {
  writeBytes(file_, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" + kKey +
                        "]\n\"Text\"=\"5\"\n\"Num\"=dword:00000005\n\"Short\"=hex:00,00,00,00\n"
                        "\"Multi\"=hex(7):00,00\n");
  auto key = RegFileStore(file_.string()).openForRead(kKey);
  ASSERT_NE(key, nullptr);
  const ReadCase rows[] = {
      {"integer of text", [](auto& k) { k.readInteger("Text"); }, "\"Text\" in HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\AutoIepCenSad is not a DWORD"},
      {"integer missing", [](auto& k) { k.readInteger("DatumsLidz"); }, "\"DatumsLidz\" in HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\AutoIepCenSad does not exist"},
      {"date missing", [](auto& k) { k.readDateTime("DatumsLidz"); }, "does not exist"},
      {"date of dword", [](auto& k) { k.readDateTime("Num"); }, "is not a date-time"},
      {"date of 4 bytes", [](auto& k) { k.readDateTime("Short"); }, "is not a date-time"},
      {"text of dword", [](auto& k) { k.readString("Num"); }, "is not text"},
      {"text of multi-string", [](auto& k) { k.readString("Multi"); }, "is not text"},
      {"text missing", [](auto& k) { EXPECT_EQ(k.readString("Missing"), ""); }, nullptr},
      {"default missing", [](auto& k) { EXPECT_EQ(k.readString(""), ""); }, nullptr},
      {"default as integer", [](auto& k) { k.readInteger(""); }, "(default)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    try {
      row.read(*key);
      EXPECT_EQ(row.errorPart, nullptr) << "no error";
    } catch (const RegistryError& error) {
      ASSERT_NE(row.errorPart, nullptr) << error.what();
      EXPECT_NE(std::string(error.what()).find(row.errorPart), std::string::npos) << error.what();
    }
  }
}

TEST_F(RegFileStoreTest, NonFiniteDateIsRefusedAndNothingWritten) {
  auto key = RegFileStore(file_.string()).openForWrite(kKey);
  ASSERT_NE(key, nullptr);
  const std::string before = readBytes(file_);
  EXPECT_THROW(key->writeDateTime("DatumsNo", std::nan("")), RegistryError);
  EXPECT_THROW(key->writeDateTime("DatumsNo", INFINITY), RegistryError);
  EXPECT_EQ(readBytes(file_), before);
}

TEST_F(RegFileStoreTest, WriteThroughSymlinkReplacesTheTargetAndKeepsTheLink) {
  const fs::path target = dir_ / "dotfiles" / "registry.reg";
  writeBytes(target, "REGEDIT4\n");
  fs::create_directories(file_.parent_path());
  fs::create_symlink(target, file_);
  RegFileStore(file_.string()).openForWrite(kKey)->writeInteger("IMEI", 1);
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_NE(readBytes(target).find("\"IMEI\"=dword:00000001"), std::string::npos);
}

TEST_F(RegFileStoreTest, TextWithLineBreaksIsWrittenAsRegeditHexAndReadsBack) {
  const std::string texts[] = {"rinda 1\r\nrinda 2", "Ā\n", "\r", std::string(60, 'x') + "\n" + std::string(60, 'y')};
  {
    auto key = RegFileStore(file_.string()).openForWrite(kKey);
    ASSERT_NE(key, nullptr);
    for (std::size_t i = 0; i < std::size(texts); ++i) key->writeString("Piezīme" + std::to_string(i), texts[i]);
    key->writeString("", "a\nb");
  }
  const std::string written = readBytes(file_);
  EXPECT_NE(written.find("\"Piezīme1\"=hex(1):00,01,0a,00,00,00\n"), std::string::npos) << written;
  EXPECT_NE(written.find("@=hex(1):61,00,0a,00,62,00,00,00\n"), std::string::npos) << written;
  EXPECT_NE(written.find(",\\\n  "), std::string::npos) << "long text goes on over lines: " << written;

  auto key = RegFileStore(file_.string()).openForRead(kKey);
  ASSERT_NE(key, nullptr);
  for (std::size_t i = 0; i < std::size(texts); ++i) EXPECT_EQ(key->readString("Piezīme" + std::to_string(i)), texts[i]);
  EXPECT_EQ(key->readString(""), "a\nb");
}

TEST_F(RegFileStoreTest, WhatTheFileCannotHoldIsRefusedAndNothingWritten) {
  auto key = RegFileStore(file_.string()).openForWrite(kKey);
  ASSERT_NE(key, nullptr);
  const std::string before = readBytes(file_);
  EXPECT_THROW(key->writeString("Db", std::string("a.fdb\0b", 7)), RegistryError);
  EXPECT_THROW(key->writeString("Db", "\xE2\x28"), RegistryError);
  EXPECT_THROW(key->writeInteger("Two\nlines", 1), RegistryError);
  EXPECT_EQ(RegFileStore(file_.string()).openForWrite("Software\\Bad\nKey"), nullptr);
  EXPECT_EQ(readBytes(file_), before);
}

TEST_F(RegFileStoreTest, NewFilesAndFoldersArePrivateAndTheTempFileIsFresh) {
  const auto mode = [](const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
  };
  RegFileStore(file_.string()).openForWrite(kKey)->writeInteger("IMEI", 1);
  EXPECT_EQ(mode(file_), 0600u);
  EXPECT_EQ(mode(file_.string() + ".lock"), 0600u);
  EXPECT_EQ(mode(file_.parent_path()), 0700u);

  // A planted "<file>.tmp" is not followed: the write would land in the link's target.
  const fs::path victim = dir_ / "victim";
  writeBytes(victim, "keep");
  fs::create_symlink(victim, file_.string() + ".tmp");
  RegFileStore(file_.string()).openForWrite(kKey)->writeInteger("IMEI", 0);
  EXPECT_EQ(readBytes(victim), "keep");
  EXPECT_FALSE(fs::is_symlink(file_));
  EXPECT_EQ(RegFileStore(file_.string()).openForRead(kKey)->readInteger("IMEI"), 0);
}

TEST_F(RegFileStoreTest, AKeyWhoseLockIsHeldTooLongCannotBeOpened) {
  RegFileStore first(file_.string());
  auto opened = first.openForWrite(kKey);
  ASSERT_NE(opened, nullptr);
  const int holder = ::open((file_.string() + ".lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  const std::string before = readBytes(file_);

  RegFileStore impatient(file_.string(), std::chrono::milliseconds(100));
  EXPECT_EQ(impatient.openForWrite(kKey), nullptr);
  auto key = impatient.openForRead(kKey);  // reading needs no lock
  ASSERT_NE(key, nullptr);
  EXPECT_THROW(key->writeInteger("IMEI", 1), RegistryError);
  EXPECT_EQ(readBytes(file_), before);

  ::close(holder);
  EXPECT_NE(impatient.openForWrite(kKey), nullptr);
}

struct PathCase {
  const char* registry;
  const char* xdg;
  const char* home;
  const char* expected;
};

TEST(DefaultRegistryPath, FollowsTheEnvironment) {
  const PathCase rows[] = {
      {"/x/my.reg", "/cfg", "/home/u", "/x/my.reg"},
      {"", "/cfg", "/home/u", "/cfg/talvix/registry.reg"},
      {nullptr, nullptr, "/home/u", "/home/u/.config/talvix/registry.reg"},
      {nullptr, "relative/cfg", "/home/u", "/home/u/.config/talvix/registry.reg"},
  };
  const auto set = [](const char* name, const char* value) {
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  };
  for (const auto& row : rows) {
    set("TALVIX_REGISTRY", row.registry);
    set("XDG_CONFIG_HOME", row.xdg);
    set("HOME", row.home);
    EXPECT_EQ(defaultRegistryPath(), row.expected);
  }
}

}  // namespace
}  // namespace talvix
