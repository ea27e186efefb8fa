// Writes the import benchmarks' archives into a folder, for measuring the tools by hand:
// fonte.mdb (table "Prodotti" refilled with the benchmark's source records), and
// listini-100000.mdb and listini-1000000.mdb (table "Articoli" refilled by the benchmark's
// filling rule), listini-97-100000.mdb (the same articles in an Access 97 price list the
// engine makes), and listino-60000.xls (the workbook benchmark's sheet "Listino").
// ARCHIVI_BENCH_RECORDS changes the source's and the small list's size.
//   make_bench_archives FOLDER
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "bench/bench_archives.h"
#include "bench/bench_workbook.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " FOLDER\n";
    return 2;
  }
  try {
    const fs::path folder = argv[1];
    const fs::path fixtures = bench::FixturesDir() / "listini";
    fs::create_directories(folder);
    const auto refill = [&](const char* fixture, const std::string& name, std::u16string_view table, int count,
                            auto fill) {
      const fs::path target = folder / name;
      fs::copy_file(fixtures / fixture, target, fs::copy_options::overwrite_existing);
      bench::Refill(target, table, count, fill);
      std::cout << target.string() << ": " << count << " rows in " << engine::ToUtf8(table) << '\n';
    };
    refill("fonte.mdb", "fonte.mdb", u"Prodotti", bench::Records(), bench::FillSourceRecord);
    refill("listini.mdb", "listini-" + std::to_string(bench::Records()) + ".mdb", u"Articoli", bench::Records(),
           bench::FillArticle);
    refill("listini.mdb", "listini-1000000.mdb", u"Articoli", 1000000, bench::FillArticle);
    const fs::path access97 = folder / ("listini-97-" + std::to_string(bench::Records()) + ".mdb");
    const std::string refused = bench::MakeAccess97List(access97, bench::Records());
    if (refused.empty()) {
      std::cout << access97.string() << ": " << bench::Records() << " rows in Articoli\n";
    } else {
      std::cout << access97.string() << ": not made (" << refused << ")\n";
    }
    const fs::path workbook = folder / ("listino-" + std::to_string(bench::kWorkbookRows) + ".xls");
    bench::WriteBenchWorkbook(workbook, 9);  // xlrd, the reference reader, reads no other
    std::cout << workbook.string() << ": " << bench::kWorkbookRows << " rows in Listino\n";
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}
