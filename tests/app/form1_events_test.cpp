// The window's events reach their handlers, and the handlers talk to the user only through
// the dialogs given to the window.
#include <fcntl.h>
#include <unistd.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <gtest/gtest.h>

#include "app/form1.h"
#include "archives/handlers.h"
#include "archives/italian_texts.h"
#include "tests/app/window_test_support.h"
#include "tests/support/fixtures.h"

namespace {

using testsupport::Press;
using testsupport::Printable;

class Form1EventsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testsupport::Application(); }

  // Chooses the next entry of Combo2 with the keyboard, as a user would.
  void PressDownOnCombo2() {
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(window_.findChild<QComboBox*>("Combo2"), &down);
  }

  testsupport::ModalWatchdog watchdog_;
  testsupport::ScriptedDialogs dialogs_;
  app::Form1 window_{engine::TextLocale::Italian(), &dialogs_};
};

TEST_F(Form1EventsTest, ChiudiEndsTheProgramThroughTheImportHandler) {
  window_.show();
  window_.SetProgress(50);
  Press(window_, "Toolbar4_Chiudi");
  // The import handler resets the bar and lets pending events run before it looks at the
  // button, then ends the program; the window closes.
  EXPECT_EQ(window_.findChild<QProgressBar*>("ProgressBar1")->value(), 0);
  EXPECT_EQ(dialogs_.processed_events, 1);
  EXPECT_EQ(dialogs_.end_program_calls, 1);
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_FALSE(window_.isVisible());
  EXPECT_TRUE(watchdog_.seen().empty());
}

TEST_F(Form1EventsTest, ImportaWithNothingChosenAnswersThroughTheGivenDialogs) {
  Press(window_, "Toolbar4_Importa");
  EXPECT_EQ(dialogs_.processed_events, 1);
  EXPECT_EQ(dialogs_.end_program_calls, 0);
  ASSERT_FALSE(dialogs_.messages.empty());  // it explains what is missing
  QCoreApplication::processEvents();
  EXPECT_TRUE(watchdog_.seen().empty());
}

TEST_F(Form1EventsTest, SfogliaAsksForAFileAndRefusesOtherKinds) {
  dialogs_.files_to_choose = {u"/tmp/prezzi.txt", u""};
  Press(window_, "Toolbar1_Sfoglia");
  ASSERT_EQ(dialogs_.filters.size(), 1u);
  EXPECT_EQ(dialogs_.filters[0], archives::kArchiveFileFilter);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, u"Formato file non valido.");
  EXPECT_EQ(dialogs_.messages[0].style, archives::MessageStyle::OkOnly);
  EXPECT_EQ(window_.Text1(), u"");

  // Cancelling the dialog is no error.
  Press(window_, "Toolbar1_Sfoglia");
  EXPECT_EQ(dialogs_.filters.size(), 2u);
  EXPECT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.end_program_calls, 0);
  QCoreApplication::processEvents();
  EXPECT_TRUE(watchdog_.seen().empty());
}

TEST_F(Form1EventsTest, ChoosingATableFillsThePickersEvenWhenChosenAgain) {
  REQUIRE_FIXTURES();
  testsupport::TempDir folder;
  const std::filesystem::path source = folder.Copy(testsupport::Listini("fonte.mdb"));
  dialogs_.files_to_choose = {source.u16string()};
  Press(window_, "Toolbar1_Sfoglia");
  ASSERT_TRUE(dialogs_.messages.empty()) << Printable(dialogs_.messages[0].text);
  EXPECT_EQ(window_.Text1(), source.u16string());
  auto* combo2 = window_.findChild<QComboBox*>("Combo2");
  ASSERT_GT(combo2->count(), 0);
  EXPECT_EQ(window_.Combo2Text(), u"");  // listed, none chosen yet

  PressDownOnCombo2();
  ASSERT_EQ(combo2->currentIndex(), 0);
  ASSERT_TRUE(dialogs_.messages.empty()) << Printable(dialogs_.messages[0].text);
  for (int picker = 0; picker < 7; ++picker) {
    auto* combo = window_.findChild<QComboBox*>(QString("Combo6_%1").arg(picker));
    EXPECT_TRUE(combo->isEnabled()) << picker;
    ASSERT_GT(combo->count(), 1) << picker;
    EXPECT_EQ(combo->itemText(0), "");
  }

  // Clicking the entry already chosen runs the discovery again: the pickers are rebuilt.
  auto* picker1 = window_.findChild<QComboBox*>("Combo6_1");
  picker1->setCurrentIndex(1);
  ASSERT_FALSE(window_.PickerText(1).empty());
  const int entries = picker1->count();
  emit combo2->activated(0);
  EXPECT_EQ(picker1->count(), entries);
  EXPECT_EQ(window_.PickerText(1), u"");
  QCoreApplication::processEvents();
  EXPECT_TRUE(watchdog_.seen().empty());
}

TEST_F(Form1EventsTest, TheCloseBoxEndsTheProgramWithoutAHandler) {
  window_.show();
  bool gave_up = false;
  QTimer::singleShot(0, &window_, [this] { window_.close(); });  // as the title bar's close box
  QTimer give_up;
  give_up.setSingleShot(true);
  QObject::connect(&give_up, &QTimer::timeout, [&] {
    gave_up = true;
    QApplication::quit();
  });
  give_up.start(5000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(gave_up) << "closing the window did not end the event loop";
  EXPECT_EQ(dialogs_.processed_events, 0);
  EXPECT_EQ(dialogs_.end_program_calls, 0);
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(Form1EventsTest, LoadBindsThePriceListBesideTheProgram) {
  // The test program's folder holds no listini.mdb: the start-up reports it, by the given
  // dialogs, and ends the program.
  const std::filesystem::path beside = std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String());
  if (std::filesystem::exists(beside / "listini.mdb")) GTEST_SKIP() << "a listini.mdb lies beside the tests";
  window_.show();
  window_.Load();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_NE(dialogs_.messages[0].text.find(u"listini.mdb"), std::u16string::npos) << Printable(dialogs_.messages[0].text);
  EXPECT_NE(dialogs_.messages[0].text.find(beside.u16string()), std::u16string::npos)
      << Printable(dialogs_.messages[0].text);
  EXPECT_EQ(dialogs_.end_program_calls, 1);
  EXPECT_FALSE(window_.isVisible());
  EXPECT_TRUE(watchdog_.seen().empty());
}

// The window's way to an import of fonte-esempio.mdb into a copy of `price_list`, laid in
// `folder`: the price list bound, the source chosen, its table and its code column.
void ReadyToImport(app::Form1& window, testsupport::ScriptedDialogs& dialogs, const testsupport::TempDir& folder,
                   const char* price_list) {
  std::filesystem::copy_file(testsupport::Listini(price_list), folder.path() / "listini.mdb");
  archives::StartupBinding(window.state(), dialogs, folder.path().u16string());
  window.show();
  dialogs.files_to_choose = {(testsupport::SourceDir() / "samples" / "fonte-esempio.mdb").u16string()};
  Press(window, "Toolbar1_Sfoglia");
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(window.findChild<QComboBox*>("Combo2"), &down);
  auto* code_picker = window.findChild<QComboBox*>("Combo6_1");
  code_picker->setCurrentIndex(code_picker->findText("Codice"));
  ASSERT_EQ(window.PickerText(1), u"Codice");
  QCoreApplication::processEvents();
}

// What reaches the window while an import runs: paints of the whole window (with the number
// of boxes shown by then) and presses on Text1.
class RunWatch : public QObject {
 public:
  RunWatch(QWidget& window, const testsupport::ScriptedDialogs& dialogs) : window_(window), dialogs_(dialogs) {
    window.installEventFilter(this);
    window.findChild<QLineEdit*>("Text1")->installEventFilter(this);
  }
  std::vector<size_t> whole_window_paints;
  std::atomic<int> paints{0};  // the same paints, for another thread to read
  int presses = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched == &window_ &&
        static_cast<QPaintEvent*>(event)->rect() == window_.rect()) {
      whole_window_paints.push_back(dialogs_.messages.size());
      ++paints;
    }
    if (event->type() == QEvent::MouseButtonPress) ++presses;
    return false;
  }

 private:
  QWidget& window_;
  const testsupport::ScriptedDialogs& dialogs_;
};

// The pointer's shape Qt shows over the program: the override cursor's, or -1 for the usual one.
int PointerShape() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor ? static_cast<int>(cursor->shape()) : -1;
}

TEST_F(Form1EventsTest, WhileThePriceListIsHeldTheWindowShowsTheWaitCursorAndGivesThePointerBack) {
  REQUIRE_FIXTURES();
  testsupport::TempDir folder;
  ReadyToImport(window_, dialogs_, folder, "listini-pieno.mdb");
  if (HasFatalFailure()) return;

  // Another program commits to the price list: it holds the commit byte (the engine's lock
  // far past the end of the file, file_lock.h), and every read of the file waits for it.
  const std::string price_list = (folder.path() / "listini.mdb").string();
  const int other_program = ::open(price_list.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(other_program, 0);
  struct flock commit {};
  commit.l_type = F_WRLCK;
  commit.l_whence = SEEK_SET;
  commit.l_start = (off_t{1} << 40) + 1;
  commit.l_len = 1;
  ASSERT_EQ(::fcntl(other_program, F_OFD_SETLK, &commit), 0);

  // It lets go a while after the run began. Meanwhile the run waits in the engine, which
  // changes nothing of the window's: the pointer is read then, from here.
  constexpr auto kHeld = std::chrono::milliseconds(600);
  std::atomic<bool> run_began{false};
  std::atomic<int> shape_while_held{-2};
  std::atomic<int> paints_while_held{-1};
  RunWatch watch(window_, dialogs_);
  dialogs_.on_busy = [&] { run_began = true; };
  std::thread holder([&] {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!run_began && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(kHeld / 20);
    // The walk of the small source is over in the first half; the run then waits to commit.
    std::this_thread::sleep_for(kHeld / 2);
    const int paints_before = watch.paints;
    std::this_thread::sleep_for(kHeld / 2);
    paints_while_held = watch.paints - paints_before;
    shape_while_held = PointerShape();
    ::close(other_program);
  });
  std::vector<int> shape_at_message;
  dialogs_.on_message = [&] { shape_at_message.push_back(PointerShape()); };
  dialogs_.answers = {archives::kAnswerNo};
  const auto pressed = std::chrono::steady_clock::now();
  Press(window_, "Toolbar4_Importa");
  const auto run_took = std::chrono::steady_clock::now() - pressed;
  holder.join();

  EXPECT_TRUE(run_began);
  EXPECT_GE(run_took, kHeld) << "the run did not wait for the price list";
  EXPECT_EQ(shape_while_held, static_cast<int>(Qt::WaitCursor));
  // Drawn again and again while it waited, though nothing of the run moved on meanwhile.
  EXPECT_GE(paints_while_held, 2) << "the window was not kept drawn while it waited";
  // The purge question and the closing message come after the wait, and unchanged: each
  // box shows the usual pointer, and the run gives it back at its end.
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].text, u"Importazione eseguita.") << Printable(dialogs_.messages[1].text);
  EXPECT_EQ(shape_at_message, (std::vector<int>{-1, -1}));
  EXPECT_EQ(dialogs_.busy_depth_at_message, (std::vector<int>{1, 0}));
  EXPECT_EQ(dialogs_.busy_depth, 0);
  EXPECT_EQ(PointerShape(), -1);
}

TEST_F(Form1EventsTest, DuringARunTheWindowIsRepaintedButTakesNoInput) {
  REQUIRE_FIXTURES();
  testsupport::TempDir folder;
  std::filesystem::copy_file(testsupport::Listini("listini-pieno.mdb"),
                             folder.path() / "listini.mdb");
  archives::StartupBinding(window_.state(), dialogs_, folder.path().u16string());
  window_.show();
  dialogs_.files_to_choose = {(testsupport::SourceDir() / "samples" / "fonte-esempio.mdb").u16string()};
  Press(window_, "Toolbar1_Sfoglia");
  PressDownOnCombo2();
  auto* code_picker = window_.findChild<QComboBox*>("Combo6_1");
  code_picker->setCurrentIndex(code_picker->findText("Codice"));
  ASSERT_EQ(window_.PickerText(1), u"Codice");
  QCoreApplication::processEvents();

  RunWatch watch(window_, dialogs_);
  QWidget* text1 = window_.findChild<QLineEdit*>("Text1");
  int presses_during_run = -1;
  dialogs_.on_message = [&] {
    if (dialogs_.messages.size() == 1) {
      // The user clicks while the purge question is up: the click waits for the run's end.
      const QPointF at(2, 2);
      QCoreApplication::postEvent(text1, new QMouseEvent(QEvent::MouseButtonPress, at, text1->mapToGlobal(at),
                                                         Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    }
    presses_during_run = watch.presses;
  };
  dialogs_.answers = {archives::kAnswerYes};
  Press(window_, "Toolbar4_Importa");

  ASSERT_EQ(dialogs_.messages.size(), 3u);
  EXPECT_EQ(dialogs_.messages[1].text, u"Cancellazione record effettuata.");
  EXPECT_EQ(dialogs_.messages[2].text, u"Importazione eseguita.") << Printable(dialogs_.messages[2].text);
  EXPECT_EQ(presses_during_run, 0) << "a click reached the window during the run";
  // Painted whole once the question closed, and again once the notice closed and as the bar
  // moved on.
  const auto& paints = watch.whole_window_paints;
  EXPECT_EQ(std::count(paints.begin(), paints.end(), 1u), 1);
  EXPECT_GT(std::count(paints.begin(), paints.end(), 2u), 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(watch.presses, 1) << "the click waits for the run to end";
  EXPECT_EQ(dialogs_.end_program_calls, 0);
}

}  // namespace
