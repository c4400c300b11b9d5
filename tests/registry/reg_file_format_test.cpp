#include "registry/reg_file_format.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "registry/reg_text.h"
#include "registry/registry_store.h"

namespace talvix::regfile {
namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

struct MalformedCase {
  const char* what;
  std::string text;
  int line;
  const char* message;
};

void PrintTo(const MalformedCase& row, std::ostream* out) { *out << row.what; }

class MalformedFile : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedFile, IsReportedWithItsLine) {
  const MalformedCase& row = GetParam();
  try {
    parseRegFile(row.text, "/cfg/registry.reg");
    FAIL() << "parsed: " << row.what;
  } catch (const RegistryError& error) {
    const std::string expected = "/cfg/registry.reg:" + std::to_string(row.line) + ": " + row.message;
    EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MalformedFile,
    ::testing::Values(
        MalformedCase{"no header", "[HKEY_CURRENT_USER\\A]\n", 1, "not a registry file"},
        MalformedCase{"open string", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=\"abc\n", 4, "unterminated string"},
        MalformedCase{"open name", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x=\"abc\"\n", 4, "'=' missing"},
        MalformedCase{"unknown escape", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=\"C:\\temp\"\n", 4, "bad escape \\t"},
        MalformedCase{"text after string", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=\"a\" b\n", 4, "text after the closing quote"},
        MalformedCase{"dword letters", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=dword:0000000g\n", 4, "bad dword data"},
        MalformedCase{"dword too long", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=dword:100000000\n", 4, "bad dword data"},
        MalformedCase{"hex byte", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=hex:01,2g\n", 4, "bad hex data"},
        MalformedCase{"hex type", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=hex(z):00\n", 4, "bad value type"},
        MalformedCase{"hex runs off the end", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=hex:01,\\", 4, "hex data goes on past"},
        MalformedCase{"unknown type", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=qword:1\n", 4, "unknown value type"},
        MalformedCase{"value before any key", kHeader + "\"x\"=\"y\"\n", 3, "value outside a key"},
        MalformedCase{"no value name", kHeader + "[HKEY_CURRENT_USER\\A]\nx=\"y\"\n", 4, "expected \"name\"=data"},
        MalformedCase{"open key name", kHeader + "[HKEY_CURRENT_USER\\A\n", 3, "unterminated key name"},
        MalformedCase{"empty path part", kHeader + "[HKEY_CURRENT_USER\\A\\\\B]\n", 3, "empty key name in the path"},
        MalformedCase{"value of deleted key", kHeader + "[-HKEY_CURRENT_USER\\A]\n\"x\"=\"y\"\n", 4, "value under a deleted key"},
        MalformedCase{"not UTF-8", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=\"\xE2\x28\"\n", 4, "text is not UTF-8"},
        MalformedCase{"NUL in a string", kHeader + "[HKEY_CURRENT_USER\\A]\n\"x\"=\"C:\\\\a" + std::string(1, '\0') + ".fdb\"\n", 4,
                      "NUL character in quoted text"},
        MalformedCase{"byte outside Windows-1257", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"\x98\"\n", 4,
                      "a byte that Windows-1257 text cannot hold"},
        MalformedCase{"lone surrogate", std::string("\xFF\xFE" "A\0\n\0\x00\xD8", 8), 2, "malformed UTF-16"}),
    [](const auto& info) {
      std::string name;
      for (char c : std::string(info.param.what)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST(RegFileFormat, RewriteKeepsEveryValueAndForeignTextAsRead) {
  const std::string text = kHeader +
                           "; exported from the office PC\n\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n"
                           "\"Keep\"=hex(7):41,00,00,00,\\\n"
                           "    00,00\n\n"
                           "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n"
                           "@=\"default db\"\n"
                           "\"Rīga \\\"centrs\\\"\"=\"srv:C:\\\\db\\\\riga.fdb\"\n"
                           "; a note\n"
                           "\"Count\"=dword:0000000A\n"
                           "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,1a,1b,1c,1d\n"
                           "\"Path\"=hex(2):25,00,41,00,00,00\n"
                           "\"Multi\"=hex(7):61,00,00,00,\\\n"
                           "  62,00,00,00,00,00\n"
                           "\"Q\"=hex(b):01,00,00,00,00,00,00,00\n";
  const RegDocument first = parseRegFile(text, "r.reg");
  const std::string written = serialiseRegFile(first);
  const RegDocument second = parseRegFile(written, "r.reg");

  EXPECT_EQ(serialiseRegFile(second), written);
  EXPECT_NE(written.find("; exported from the office PC\n"), std::string::npos);
  EXPECT_NE(written.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Keep\"=hex(7):41,00,00,00,\\\n    00,00\n"),
            std::string::npos);
  EXPECT_NE(written.find("\"Multi\"=hex(7):61,00,00,00,\\\n  62,00,00,00,00,00\n"), std::string::npos);
  EXPECT_NE(written.find("\"Q\"=hex(b):01,00,00,00,00,00,00,00\n"), std::string::npos);
  EXPECT_NE(written.find("; a note\n"), std::string::npos);

  const RegSection* key = second.findKey("Software\\ORMANTA\\Talvix\\Bazes");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(findValue(*key, "")->text, "default db");
  EXPECT_EQ(findValue(*key, "Rīga \"centrs\"")->text, "srv:C:\\db\\riga.fdb");
  EXPECT_EQ(findValue(*key, "count")->dword, 10u);
  EXPECT_EQ(findValue(*key, "Blob")->bytes.size(), 30u);
  EXPECT_EQ(findValue(*key, "Blob")->bytes[29], '\x1d');
  EXPECT_EQ(findValue(*key, "Multi")->bytes, std::string("a\0\0\0b\0\0\0\0\0", 10));
  EXPECT_EQ(findValue(*key, "Q")->hexType, 0xBu);
  for (const auto& line : {std::string_view("\"Blob\"=hex:"), std::string_view("  ")}) {
    EXPECT_NE(written.find(line), std::string::npos);
  }
  for (std::size_t start = 0, end; (end = written.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u) << written.substr(start, end - start);
}

TEST(RegFileFormat, DeleteLinesApplyToWhatCameBefore) {
  const RegDocument document = parseRegFile(kHeader +
                                                "[HKEY_CURRENT_USER\\A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
                                                "[HKEY_CURRENT_USER\\A\\Sub]\n\"z\"=\"3\"\n"
                                                "[HKEY_CURRENT_USER\\AB]\n\"w\"=\"4\"\n"
                                                "[-HKEY_CURRENT_USER\\a]\n"
                                                "[HKEY_CURRENT_USER\\A]\n\"n\"=\"5\"\n"
                                                "[HKEY_CURRENT_USER\\AB]\n\"W\"=-\n\"v\"=\"6\"\n",
                                            "r.reg");
  EXPECT_FALSE(document.keyExists("A\\Sub"));
  ASSERT_NE(document.findKey("A"), nullptr);
  EXPECT_EQ(document.findKey("A")->values.size(), 1u);
  EXPECT_EQ(findValue(*document.findKey("A"), "n")->text, "5");
  ASSERT_NE(document.findKey("AB"), nullptr);
  EXPECT_EQ(findValue(*document.findKey("AB"), "w"), nullptr);
  EXPECT_EQ(findValue(*document.findKey("AB"), "v")->text, "6");
}

TEST(RegFileFormat, RepeatedKeyMergesAndKeepsFirstSpelling) {
  const RegDocument document = parseRegFile(kHeader +
                                                "[HKEY_CURRENT_USER\\Software\\Ārējā]\n\"Vērtība\"=dword:00000001\n"
                                                "[hkey_current_user\\SOFTWARE\\ĀRĒJĀ]\n\"VĒRTĪBA\"=dword:00000002\n",
                                            "r.reg");
  ASSERT_EQ(document.sections.size(), 1u);
  EXPECT_EQ(document.sections[0].path, "Software\\Ārējā");
  ASSERT_EQ(document.sections[0].values.size(), 1u);
  EXPECT_EQ(document.sections[0].values[0].name, "Vērtība");
  EXPECT_EQ(document.sections[0].values[0].dword, 2u);
}

TEST(RegFileFormat, KeyExistsWhenOnlyASubkeyHasASection) {
  const RegDocument document = parseRegFile(kHeader + "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix]\n", "r.reg");
  EXPECT_TRUE(document.keyExists("software\\ormanta"));
  EXPECT_FALSE(document.keyExists("Software\\ORMANT"));
  EXPECT_FALSE(document.keyExists("Software\\ORMANTA\\Talvix\\Bazes"));
}

TEST(RegFileFormat, EmptyFileAndOldHeaderAreAccepted) {
  EXPECT_TRUE(parseRegFile("", "r.reg").sections.empty());
  EXPECT_TRUE(parseRegFile("\r\n  \n", "r.reg").sections.empty());
  const RegDocument old = parseRegFile("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"x\"=\"y\"\r\n", "r.reg");
  EXPECT_EQ(findValue(*old.findKey("A"), "x")->text, "y");
}

TEST(RegFileFormat, Regedit4ExportIsReadAsBalticAnsi) {
  const RegDocument old = parseRegFile(
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\r\n"
      "\"R\xEEga \x84" "Cent\xE2\x93\"=\"C:\\\\D\xE2ti\\\\\xD0\xDE\xC7\xE8\x80.fdb\"\r\n",
      "r.reg");
  const RegSection* key = old.findKey("Software\\ORMANTA\\Talvix\\Bazes");
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->values.size(), 1u);
  EXPECT_EQ(key->values[0].name, "Rīga „Centā“");
  EXPECT_EQ(key->values[0].text, "C:\\Dāti\\ŠŽĒč€.fdb");
}

TEST(RegFileFormat, KeyOfTwentyThousandValuesParsesWhole) {
  constexpr int kValues = 20000;
  std::string text = kHeader + "[HKEY_CURRENT_USER\\Big]\n";
  char line[64];
  for (int i = 0; i < kValues; ++i) {
    std::snprintf(line, sizeof line, "\"Vērtība%d\"=dword:%08x\n", i, static_cast<unsigned>(i));
    text += line;
  }
  // A repeated section changes, drops and adds values of the same key.
  text += "[HKEY_CURRENT_USER\\BIG]\n\"VĒRTĪBA5\"=\"pieci\"\n\"vērtība7\"=-\n\"Jauna\"=dword:00000001\n\"vērtība9\"=-\n";
  const auto started = std::chrono::steady_clock::now();
  const RegDocument document = parseRegFile(text, "big.reg");
  std::printf("%zu bytes, %d values: parsed in %.3f s\n", text.size(), kValues,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());

  const RegSection* key = document.findKey("big");
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->values.size(), static_cast<std::size_t>(kValues - 1));
  EXPECT_EQ(key->values[5].name, "Vērtība5");
  EXPECT_EQ(key->values[5].text, "pieci");
  EXPECT_EQ(findValue(*key, "Vērtība7"), nullptr);
  EXPECT_EQ(findValue(*key, "Vērtība9"), nullptr);
  EXPECT_EQ(findValue(*key, "Vērtība8")->dword, 8u);
  EXPECT_EQ(key->values.back().name, "Jauna");
  EXPECT_EQ(findValue(*key, "vērtība19999")->dword, 19999u);
}

struct FoldCase {
  const char* a;
  const char* b;
  bool same;
};

TEST(RegText, NamesMatchWithoutRegardToCase) {
  const FoldCase rows[] = {
      {"LastDBIndex", "lastdbindex", true}, {"ĀĒĪŪČĢĶĻŅŠŽ", "āēīūčģķļņšž", true},
      {"ÀÉÖØÞ", "àéöøþ", true},             {"МОСКВА Ё", "москва ё", true},
      {"ΑΘΗΝΑ", "αθηνα", true},             {"Bazes", "Bāzes", false},
      {"×", "÷", false},                    {"A", "B", false},
  };
  for (const auto& row : rows) EXPECT_EQ(sameName(row.a, row.b), row.same) << row.a << " / " << row.b;
}

}  // namespace
}  // namespace talvix::regfile
