// Workbook reading speed and memory: the benchmarks' 60,000-row sheet (bench_workbook.h) is
// opened and every value of every record is read.
//
// The workbook is written once before timing. Peak memory is measured in a fresh process
// (this program run with --walk-once FILE), so that the generator's buffers and the
// benchmark library do not count.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/bench_workbook.h"
#include "engine/excel/excel_database.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = bench::kWorkbookRows;

const fs::path& Workbook() {
  static const fs::path path = [] {
    fs::path file = fs::temp_directory_path() / ("excel_bench_" + std::to_string(getpid()) + ".xls");
    bench::WriteBenchWorkbook(file, 12);
    return file;
  }();
  return path;
}

// Opens the workbook and reads every value; returns the number of non-Null values.
long WalkOnce(const fs::path& file) {
  auto db = engine::excel::OpenExcelDatabase(file, engine::TextLocale::Italian());
  auto rs = db->OpenRecordset(u"Select * From [Listino$];");
  long present = 0;
  for (; !rs->Eof(); rs->MoveNext()) {
    for (int i = 0; i < rs->FieldCount(); ++i) present += !rs->GetValue(i).is_null();
  }
  return present;
}

// The high-water mark of this process's resident memory (VmHWM), in MB. It belongs to the
// current program image only, unlike getrusage's figure, which keeps the peak of the
// process that started us.
double PeakResidentMegabytes() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  double megabytes = -1;
  while (std::fgets(line, sizeof line, status)) {
    long kilobytes;
    if (std::sscanf(line, "VmHWM: %ld kB", &kilobytes) == 1) megabytes = static_cast<double>(kilobytes) / 1024.0;
  }
  std::fclose(status);
  return megabytes;
}

// Peak resident memory in MB of a fresh process that opens and walks the workbook.
double PeakMemoryOfOneWalk() {
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return -1;
  std::string command = std::string("'") + self + "' --walk-once '" + Workbook().string() + "'";
  FILE* child = popen(command.c_str(), "r");
  if (!child) return -1;
  double megabytes = -1;
  if (std::fscanf(child, "%lf", &megabytes) != 1) megabytes = -1;
  return pclose(child) == 0 ? megabytes : -1;
}

void BM_OpenAndWalk60000Rows(benchmark::State& state) {
  const fs::path& file = Workbook();
  long present = 0;
  for (auto _ : state) {
    present = WalkOnce(file);
    benchmark::DoNotOptimize(present);
  }
  if (present != 5L * kRows) state.SkipWithError("the walk did not read every value");
  state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1048576.0;
  state.counters["peak_RSS_MB"] = PeakMemoryOfOneWalk();
}
BENCHMARK(BM_OpenAndWalk60000Rows)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--walk-once") == 0) {
    if (WalkOnce(argv[2]) != 5L * kRows) return 1;
    std::printf("%.1f\n", PeakResidentMegabytes());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove(Workbook(), ignored);
  return 0;
}
