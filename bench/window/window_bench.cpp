// The window's overhead on the import: the purge and import of 100,000 source records into
// a 100,000-article price list, timed from the click on "Importa" to the closing box, in the
// window and then the same run as `archivi import --purge yes` makes it, in one iteration.
// The window is Form1 shown offscreen with its own Qt message boxes, each answered by a
// timer as soon as it is on screen ("Sì" to the purge question, OK to the others), so
// what is timed is the program's work, box making included, and none of a clerk's.
// The counter `ratio` is the window's time over the tool's; it is meant to stay at most 1.1.
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "app/form1.h"
#include "archives/handlers.h"
#include "bench/bench_archives.h"
#include "bench/headless_window.h"
#include "import/import_run.h"
#include "import/italian_texts.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

QString Q(std::u16string_view text) { return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())); }

QApplication& Application() {
  static int argc = 1;
  static char name[] = "window_bench";
  static char* argv[] = {name, nullptr};
  static auto* application = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  return *application;
}

// The window's run: seconds from the click to the closing box, or nothing when the run
// did not reach it.
std::optional<double> WindowRun(const fs::path& folder, const fs::path& source) {
  app::Form1 window(engine::TextLocale::Italian());
  bench::HeadlessWindow file_dialog(source.u16string(), archives::kAnswerYes);
  archives::StartupBinding(window.state(), file_dialog, folder.u16string());
  window.show();
  archives::Browse(window.state(), window, file_dialog);
  auto* combo2 = window.findChild<QComboBox*>("Combo2");
  combo2->setCurrentIndex(combo2->findText("Prodotti"));
  emit combo2->activated(combo2->currentIndex());
  for (int picker = 0; picker < archives::kPickerCount; ++picker) {
    auto* combo = window.findChild<QComboBox*>(QString("Combo6_%1").arg(picker));
    combo->setCurrentIndex(combo->findText(Q(bench::SourceColumns().at(static_cast<size_t>(picker)))));
  }
  QApplication::processEvents();

  std::optional<Clock::time_point> closing_box;
  QTimer clerk;
  QObject::connect(&clerk, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    if (box->text() == Q(import::kImportDone)) closing_box = Clock::now();
    QAbstractButton* answer = box->button(QMessageBox::Yes);
    if (!answer) answer = box->button(QMessageBox::Ok);
    if (answer) answer->click();
  });
  clerk.start(0);
  const Clock::time_point click = Clock::now();
  window.findChild<QToolButton*>("Toolbar4_Importa")->click();
  clerk.stop();
  if (!closing_box) return std::nullopt;
  return std::chrono::duration<double>(*closing_box - click).count();
}

// The same run as `archivi import DEST SOURCE Prodotti --slot ... --purge yes` makes it.
double ToolRun(const fs::path& destination, const fs::path& source) {
  archives::WindowState state(engine::TextLocale::Italian());
  state.DataDestinazione.DatabaseName = destination.u16string();
  state.DataDestinazione.RecordSource = archives::kDestinationTable;
  state.DataDestinazione.Refresh();
  state.DataSorgente.DatabaseName = source.u16string();
  state.DataSorgente.Connect = archives::kAccessConnect;
  state.DataSorgente.RecordSource = u"Prodotti";
  state.DataSorgente.Refresh();
  bench::HeadlessWindow tool(source.u16string(), archives::kAnswerYes);
  const Clock::time_point start = Clock::now();
  const import::ImportResult result = import::RunImport(import::kImportKey, state, tool, tool);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  state.DataDestinazione.Close();
  return result.added == bench::Records() ? seconds : -1.0;
}

void BM_WindowOverTool(benchmark::State& state) {
  Application();
  static bench::ImportArchives archives_on_disk("archivi-window-bench");
  if (!archives_on_disk.error.empty()) {
    state.SkipWithError(archives_on_disk.error.c_str());
    return;
  }
  const fs::path destination = archives_on_disk.folder / "listini.mdb";
  double window_total = 0, tool_total = 0;
  for (auto _ : state) {
    fs::copy_file(archives_on_disk.destination_template, destination, fs::copy_options::overwrite_existing);
    const std::optional<double> window_seconds = WindowRun(archives_on_disk.folder, archives_on_disk.source);
    fs::copy_file(archives_on_disk.destination_template, destination, fs::copy_options::overwrite_existing);
    const double tool_seconds = ToolRun(destination, archives_on_disk.source);
    if (!window_seconds || tool_seconds < 0) {
      state.SkipWithError("a run did not import every record");
      return;
    }
    state.SetIterationTime(*window_seconds + tool_seconds);
    window_total += *window_seconds;
    tool_total += tool_seconds;
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["window_s"] = window_total / iterations;
  state.counters["tool_s"] = tool_total / iterations;
  state.counters["ratio"] = window_total / tool_total;
}
BENCHMARK(BM_WindowOverTool)->Unit(benchmark::kSecond)->Iterations(3)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
