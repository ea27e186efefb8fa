// A power cut at any moment of a change to the price list: every write and sync of an insert,
// a purge, an import and an import after the purge is recorded, and the files the disk could hold at
// each point are built (the writes since the last sync all there, some dropped, reordered,
// or the last one torn). Opened by the next run, which undoes an interrupted commit from its
// journal, each must pass the engine's check and hold "Articoli" exactly as before the
// change or exactly as after it; so must some of them when a second power cut stops that
// recovery half way.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <random>
#include <thread>

#include "engine/jet/storage/journal_format.h"
#include "tests/import/real_files.h"
#include "tests/support/files.h"
#include "tests/support/jet_check.h"
#include "tests/support/power_cut.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using engine::Value;
using Table = std::vector<std::vector<Value>>;

const engine::TextLocale kLocale = engine::TextLocale::Italian();
const Pickers kPickers = {u"Categoria", u"Codice", u"Nome", u"", u"Prezzo", u"", u""};

// A source of `count` products coded PREFIX-0 .. PREFIX-(count - 1).
void WriteSource(const fs::path& path, const std::string& prefix, int count) {
  using engine::jet::ColumnType;
  engine::jet::TableSpec spec;
  spec.name = u"Prodotti";
  spec.columns = {{u"Codice", ColumnType::Text}, {u"Nome", ColumnType::Text}, {u"Categoria", ColumnType::Text},
                  {u"Prezzo", ColumnType::Double}};
  engine::jet::CreateDatabase(path, {spec});
  auto database = engine::jet::OpenJetDatabase(path, engine::OpenMode::ReadWrite, kLocale);
  auto records = database->OpenRecordset(u"Prodotti");
  for (int i = 0; i < count; ++i) {
    const std::u16string n = engine::FromUtf8(std::to_string(i));
    records->AddNew();
    records->SetValue(0, Value::Text(engine::FromUtf8(prefix) + u"-" + n));
    records->SetValue(1, Value::Text(u"Prodotto numero " + n + u" con una descrizione"));
    records->SetValue(2, Value::Text(u"Categoria " + engine::FromUtf8(std::to_string(i % 7))));
    records->SetValue(3, Value::Double(i * 1.25));
    records->Update();
  }
  database->Commit();
}

// The files of `state` in `folder`: listini.mdb, and its journal when there is one.
fs::path Lay(const DiskState& state, const fs::path& folder) {
  const fs::path file = folder / "listini.mdb";
  WriteBytes(file, state.database);
  if (state.journal) WriteBytes(engine::jet::JournalPathFor(file), *state.journal);
  return file;
}

// What the next run finds in the state: "Articoli", or why it could not read it.
std::string OpenAsTheNextRun(const DiskState& state, Table& articles) {
  TempDir dir;
  const fs::path file = Lay(state, dir.path());
  try {
    engine::jet::OpenJetDatabase(file, engine::OpenMode::ReadWrite, kLocale).reset();
    const std::string problems = CheckProblems(file);
    if (!problems.empty()) return "check: " + problems;
    articles = ReadTable(file, u"Articoli", kLocale);
  } catch (const std::exception& failure) {
    return std::string("cannot be opened: ") + failure.what();
  }
  return "";
}

// A random way of losing what was not synced after `done` operations.
PowerCut::Loss AnyLoss(const std::vector<FileOperation>& operations, size_t done, std::mt19937& random) {
  const bool torn_possible = operations[done - 1].kind == FileOperation::Write;
  return static_cast<PowerCut::Loss>(std::uniform_int_distribution<int>(0, torn_possible ? 3 : 2)(random));
}

// The state as a second power cut leaves it while the next run undoes the interrupted commit
// from its journal: what that recovery writes is recorded and cut short at random.
DiskState RecoveryCutShort(const DiskState& state, std::mt19937& random) {
  TempDir dir;
  const fs::path file = Lay(state, dir.path());
  std::optional<WriteLog> log(std::in_place, file);
  try {
    engine::jet::OpenJetDatabase(file, engine::OpenMode::ReadWrite, kLocale).reset();
  } catch (const std::exception&) {
    // The state as it was is checked on its own.
  }
  const DiskState before = log->before();
  const std::vector<FileOperation> operations = log->operations();
  log.reset();
  if (operations.empty()) return state;
  const size_t done = std::uniform_int_distribution<size_t>(1, operations.size())(random);
  return PowerCut(before, operations).After(done, AnyLoss(operations, done, random), random);
}

TEST(CrashStates, EveryStateAPowerCutLeavesHoldsTheListBeforeOrAfter) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path first_source = dir.path() / "prima.mdb";
  const fs::path second_source = dir.path() / "seconda.mdb";
  WriteSource(first_source, "A", 150);
  WriteSource(second_source, "B", 120);
  const fs::path listed = dir.Copy(Listini("listini.mdb"));
  {
    BoundFiles run(listed, first_source, u"Prodotti", kPickers);
    ASSERT_EQ(run.Press().added, 150);
    run.state.DataDestinazione.Close();
  }

  // Halfway through, the run waits past the engine's second: without the purge it commits
  // there, with it the change so far is spilled to the journal.
  const auto Import = [&](const fs::path& file, int purge_answer) {
    BoundFiles run(file, second_source, u"Prodotti", kPickers);
    run.window.on_progress = [waited = false](float percent) mutable {
      if (percent >= 50 && !waited) waited = true, std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    };
    run.Press(purge_answer);
    run.state.DataDestinazione.Close();
  };
  struct Change {
    const char* name;
    std::function<void(const fs::path&)> make;
  };
  const Change changes[] = {
      {"an insert",
       [](const fs::path& file) {
         auto database = engine::jet::OpenJetDatabase(file, engine::OpenMode::ReadWrite, kLocale);
         auto records = database->OpenRecordset(u"Articoli");
         records->AddNew();
         records->SetValue(u"Codice Articolo", Value::Text(u"Z-1"));
         records->SetValue(u"Categoria", Value::Text(u"Nuova"));
         records->Update();
         database->Commit();
       }},
      {"a purge on its own, as archivi exec makes it",
       [](const fs::path& file) {
         engine::jet::OpenJetDatabase(file, engine::OpenMode::ReadWrite, kLocale)->Execute(u"DELETE * From Articoli;");
       }},
      {"an import", [&](const fs::path& file) { Import(file, archives::kAnswerNo); }},
      {"an import after the purge", [&](const fs::path& file) { Import(file, archives::kAnswerYes); }},
  };
  // States tried per change: the disk as the writes left it after every operation, and a
  // sample, with a fixed seed, of the ways of losing what was not synced at each point (each
  // drawn a few times, as the writes lost differ).
  constexpr size_t kLossesPerChange = 40;
  constexpr int kDraws = 3;
  // States left with a journal whose recovery by the next run is cut short in its turn.
  constexpr int kRecoveriesCutPerChange = 15;
  std::mt19937 random(20261208);
  size_t tried = 0;
  std::string operations_seen;
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    TempDir work;
    const fs::path file = work.path() / "listini.mdb";
    fs::copy_file(listed, file);
    std::optional<WriteLog> log(std::in_place, file);
    change.make(file);
    const DiskState before = log->before();
    const std::vector<FileOperation> operations = log->operations();
    log.reset();
    const PowerCut cut(before, operations);
    operations_seen += std::string(operations_seen.empty() ? "" : ", ") + change.name + " " +
                       std::to_string(operations.size());

    // The list at each point where no change was under way, the end included.
    std::vector<size_t> quiet = cut.QuietPoints();
    if (quiet.back() != operations.size()) quiet.push_back(operations.size());
    std::vector<Table> at_quiet(quiet.size());
    for (size_t i = 0; i < quiet.size(); ++i) {
      ASSERT_EQ(OpenAsTheNextRun(cut.After(quiet[i], PowerCut::Loss::None, random), at_quiet[i]), "") << quiet[i];
    }
    ASSERT_NE(at_quiet.front(), at_quiet.back()) << "the change changed nothing";

    struct Point {
      size_t done;
      PowerCut::Loss loss;
    };
    std::vector<Point> points, losses;
    for (size_t done = 1; done <= operations.size(); ++done) {
      points.push_back({done, PowerCut::Loss::None});
      for (int draw = 0; draw < kDraws; ++draw) {
        losses.push_back({done, PowerCut::Loss::Dropped});
        losses.push_back({done, PowerCut::Loss::Reordered});
        if (operations[done - 1].kind == FileOperation::Write) losses.push_back({done, PowerCut::Loss::Torn});
      }
    }
    std::shuffle(losses.begin(), losses.end(), random);
    points.insert(points.end(), losses.begin(), losses.begin() + long(std::min(losses.size(), kLossesPerChange)));
    std::shuffle(points.begin(), points.end(), random);  // the recoveries cut are spread over the change
    int failures = 0;
    int recoveries_cut = 0;
    for (const Point& point : points) {
      const size_t last = static_cast<size_t>(std::upper_bound(quiet.begin(), quiet.end(), point.done) - quiet.begin()) - 1;
      const auto holds_before_or_after = [&](const DiskState& state, const char* how) {
        ++tried;
        Table articles;
        const std::string refused = OpenAsTheNextRun(state, articles);
        const bool before_or_after = refused.empty() && (articles == at_quiet[last] ||
                                                         (last + 1 < quiet.size() && articles == at_quiet[last + 1]));
        EXPECT_TRUE(before_or_after) << how << " after " << point.done << " of " << operations.size()
                                     << " operations, loss " << static_cast<int>(point.loss) << ": "
                                     << (refused.empty() ? std::to_string(articles.size()) + " articles" : refused);
        return before_or_after || ++failures < 5;
      };
      const DiskState state = cut.After(point.done, point.loss, random);
      if (!holds_before_or_after(state, "cut")) break;
      if (state.journal && recoveries_cut < kRecoveriesCutPerChange) {
        ++recoveries_cut;
        if (!holds_before_or_after(RecoveryCutShort(state, random), "cut again in its recovery")) break;
      }
    }
  }
  RecordProperty("crash_states", static_cast<int>(tried));
  std::cout << "crash states tried: " << tried << " (operations recorded: " << operations_seen << ")\n";
}

}  // namespace
}  // namespace testsupport
