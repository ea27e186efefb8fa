// A failure that escapes a handler is reported once and ends the program; nothing escapes
// into Qt.
#include <gtest/gtest.h>
#include <stdexcept>

#include "app/handler_guard.h"
#include "engine/base/error.h"
#include "tests/app/window_test_support.h"

namespace {

using app::HandlerOutcome;
using app::RunHandler;

TEST(HandlerGuardTest, AHandlerThatReturnsLeavesTheDialogsAlone) {
  testsupport::ScriptedDialogs dialogs;
  int runs = 0;
  EXPECT_EQ(RunHandler(dialogs, [&] { ++runs; }), HandlerOutcome::Returned);
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(dialogs.end_program_calls, 0);
}

TEST(HandlerGuardTest, TheEndOfTheProgramIsPassedOnWithoutAReport) {
  testsupport::ScriptedDialogs dialogs;
  EXPECT_EQ(RunHandler(dialogs, [&] { dialogs.EndProgram(); }), HandlerOutcome::ProgramEnded);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(dialogs.end_program_calls, 1);
}

TEST(HandlerGuardTest, FailuresAreReportedInItalianThenEndTheProgram) {
  struct Case {
    const char* name;
    std::function<void()> failing;
    std::vector<std::u16string> report_holds;
    std::u16string english;  // the engine's words, which only archivi shows
  };
  const Case cases[] = {
      {"missing file",
       [] { throw engine::Error("/casa/listini.mdb", "no such file", engine::ErrorKind::NotFound); },
       {u"Errore di run-time", u"il file non esiste", u"/casa/listini.mdb"},
       u"no such file"},
      {"damaged archive",
       [] { throw engine::Error("/casa/fonte.mdb", "bad page 12", engine::ErrorKind::Damaged); },
       {u"Errore di run-time", u"danneggiato", u"/casa/fonte.mdb"},
       u"bad page 12"},
      {"other failure", [] { throw std::runtime_error("vector too long"); },
       {u"Errore di run-time", u"errore imprevisto"},
       u"vector too long"},
      {"not even an exception", [] { throw 42; }, {u"Errore di run-time", u"errore imprevisto"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ScriptedDialogs dialogs;
    EXPECT_EQ(RunHandler(dialogs, c.failing), HandlerOutcome::ProgramEnded);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].style, archives::MessageStyle::OkOnly);
    for (const std::u16string& part : c.report_holds) {
      EXPECT_NE(dialogs.messages[0].text.find(part), std::u16string::npos)
          << testsupport::Printable(part) << " not in " << testsupport::Printable(dialogs.messages[0].text);
    }
    if (!c.english.empty()) {
      EXPECT_EQ(dialogs.messages[0].text.find(c.english), std::u16string::npos);
    }
    EXPECT_EQ(dialogs.end_program_calls, 1);
  }
}

}  // namespace
