// The words of a database that did not open: the fixed text, the Latvian sentence chosen by the
// engine's text, then that text itself on a line of its own.
#include "data/open_failure.h"

#include <gtest/gtest.h>

namespace talvix {
namespace {

TEST(OpenFailureTest, ALatvianSentenceComesBetweenTheFixedTextAndTheEnginesOwn) {
  struct Row {
    const char* engine;
    const char* sentence;  // how the sentence begins
  };
  const Row rows[] = {
      {"I/O error during \"lock\" operation for file \"/d/demo.fdb\"\n-Database already opened with engine instance, "
       "incompatible with current",
       "Datu bāzi jau atvērusi cita programma"},
      {"I/O error during \"open\" operation for file \"/d/x.fdb\"\n-Error while trying to open file\n-No such file or "
       "directory",
       "Datu bāzes fails nav atrasts"},
      {"Your user name and password are not defined. Ask your database administrator", "Firebird nepieņēma"},
      {"Unable to complete network request to host \"db\".", "Nevar sazināties ar Firebird serveri"},
      {"file /d/x.fdb is not a valid database", "Šis fails nav Firebird datu bāze."},
      {"Permission denied\nIegultais datu bāzes dzinējs nevar izmantot savu slēdzeņu mapi: /tmp/firebird",
       "Iegultais Firebird dzinējs nevar izmantot savu slēdzeņu mapi"},
      {"something the engine never said before", "Firebird atbildēja ar kļūdu:"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.engine);
    const std::string text = openFailureText(row.engine);
    EXPECT_EQ(text.rfind(std::string("Nevaru atvērt datu bāzi !!! ") + row.sentence, 0), 0u) << text;
    EXPECT_EQ(text.substr(text.find('\n') + 1), row.engine) << "the engine's text follows whole";
  }
  EXPECT_NE(latvianOpenReason(rows[0].engine)
                .find("Aizveriet otru programmu vai atveriet datu bāzi caur Firebird "
                      "serveri"),
            std::string::npos);
  EXPECT_EQ(openFailureText(""), "Nevaru atvērt datu bāzi !!!") << "nothing glued after the fixed text";
}

}  // namespace
}  // namespace talvix
