// libFuzzer target for the import over a damaged source: the input is the source archive (a
// workbook when it starts as one, else a Jet database), bound as the window binds it; its
// first few tables are imported one after another (the later ones after emptying the list),
// each with the code slot on its first field and the other slots on the fields after it.
// The import runs as the "Importa" button runs it, into a new, empty price list on tmpfs, and
// writes its report to a file beside it. A damaged source must end in a run that says so,
// never in a crash, a hang, or memory or time beyond what a sound source of the same size
// would take (scripts/test.sh runs it with -rss_limit_mb and -timeout).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archives/data_binding.h"
#include "archives/window_interface.h"
#include "engine/base/error.h"
#include "engine/excel/compound_file.h"
#include "engine/excel/excel_database.h"
#include "engine/jet/create/database_creator.h"
#include "engine/jet/database/jet_database.h"
#include "engine/text/text_locale.h"
#include "import/import_run.h"
#include "import/italian_texts.h"

namespace {

namespace fs = std::filesystem;

// Where the price list and the report live: tmpfs, so that the syncs of every commit and
// report cost no disk time.
class Place {
 public:
  Place() {
    std::string folder = (fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string()) +
                         "/import_fuzz-XXXXXX";
    if (!mkdtemp(folder.data())) std::abort();
    folder_ = folder;
    engine::jet::CreateListiniDatabase(folder_ / "vuoto.mdb");
  }
  ~Place() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // A fresh empty price list for the next run, with no journal or report of the last one.
  fs::path FreshPriceList() const {
    std::error_code ignored;
    fs::remove(PriceList().string() + "-journal", ignored);
    fs::remove(Report(), ignored);
    fs::copy_file(folder_ / "vuoto.mdb", PriceList(), fs::copy_options::overwrite_existing);
    return PriceList();
  }
  fs::path PriceList() const { return folder_ / "listini.mdb"; }
  fs::path Report() const { return folder_ / "importazione.csv"; }

 private:
  fs::path folder_;
};

// The window's controls with the choices made: an archive, a table and the slots.
class ChosenForm : public archives::FormControls {
 public:
  std::u16string Text1() const override { return text1; }
  void SetText1(std::u16string_view text) override { text1 = text; }
  std::u16string Combo2Text() const override { return combo2; }
  void ClearCombo2() override { combo2.clear(); }
  void AppendCombo2(std::u16string_view) override {}
  std::u16string PickerText(int picker) const override { return pickers[picker]; }
  void ClearPicker(int picker) override { pickers[picker].clear(); }
  void AppendPicker(int, std::u16string_view) override {}
  void EnablePicker(int) override {}
  void SetProgress(float) override {}

  std::u16string text1, combo2;
  std::u16string pickers[archives::kPickerCount];
};

// Messages taken without a word; the purge question answered as `purge` says.
class SilentDialogs : public archives::Dialogs {
 public:
  int MessageBox(std::u16string_view, archives::MessageStyle style) override {
    if (style != archives::MessageStyle::YesNo) return archives::kAnswerOk;
    return purge ? archives::kAnswerYes : archives::kAnswerNo;
  }
  std::u16string OpenFile(std::u16string_view) override { return {}; }
  void ProcessEvents() override {}
  // "Importa" never ends the program: reaching here is a fault.
  [[noreturn]] void EndProgram() override { std::abort(); }

  bool purge = false;
};

bool LooksLikeWorkbook(const uint8_t* data, size_t size) {
  constexpr uint8_t kBiffBof[] = {0x09, 0x08};  // a bare BIFF5/8 stream, which the reader takes too
  return engine::excel::HasCompoundFileSignature({data, size}) ||
         (size >= 2 && data[0] == kBiffBof[0] && data[1] == kBiffBof[1]);
}

// The source archive from the input, or nothing when it cannot be opened at all (the browse
// step would have refused it before any import).
std::unique_ptr<engine::Database> OpenSource(const uint8_t* data, size_t size, bool workbook,
                                             const engine::TextLocale& locale) {
  std::vector<uint8_t> bytes(data, data + size);
  try {
    if (workbook) return engine::excel::OpenExcelDatabase(std::move(bytes), "fonte.xls", locale);
    return engine::jet::OpenJetDatabaseFromBytes(std::move(bytes), "fonte.mdb", locale);
  } catch (const engine::Error&) {
    return nullptr;
  }
}

// The source's user tables imported one after another: the first is often a small one
// (fonte.mdb lists "Fornitori" before "Prodotti").
constexpr size_t kMostTables = 3;
// A sound table of more records is passed over: each record costs milliseconds under the
// fuzzer's instrumentation, and the 2,000 of fonte.mdb's "Prodotti" would take most of the
// time limit, which is there to catch what damage makes slow.
constexpr long kMostRecords = 300;

// Binds `table` as choosing it in Combo2 binds it, with slot 1 (the code) on its first field
// and slots 0, 2, 3... on the fields after it. False when it cannot be bound (which ends the
// program before "Importa" can be pressed) or is too long to import here.
bool ChooseTable(archives::WindowState& state, ChosenForm& form, const std::u16string& table) {
  try {
    form.combo2 = table;
    state.DataSorgente.RecordSource = table;
    state.DataSorgente.Refresh();
    engine::Recordset& records = state.DataSorgente.Recordset();
    if (records.RecordCount() > kMostRecords) return false;
    const int fields = records.FieldCount();
    const int slot_order[archives::kPickerCount] = {1, 0, 2, 3, 4, 5, 6};
    for (int i = 0; i < archives::kPickerCount; ++i) {
      form.pickers[slot_order[i]] = i < fields ? records.FieldName(i) : std::u16string();
    }
    return true;
  } catch (const engine::Error&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Place place;
  const engine::TextLocale locale = engine::TextLocale::Italian();
  const bool workbook = LooksLikeWorkbook(data, size);
  std::unique_ptr<engine::Database> source = OpenSource(data, size, workbook, locale);
  if (!source) return 0;
  std::vector<std::u16string> tables;
  try {
    for (const engine::TableInfo& info : source->TableDefs()) {
      if (!info.is_system && tables.size() < kMostTables) tables.push_back(info.name);
    }
  } catch (const engine::Error&) {
    return 0;
  }

  ChosenForm form;
  form.text1 = workbook ? u"/archivi/fonte.xls" : u"/archivi/fonte.mdb";
  archives::WindowState state(locale);
  state.DataSorgente.DatabaseName = form.text1;
  state.DataSorgente.Connect = workbook ? archives::kExcelConnect : archives::kAccessConnect;
  state.DataSorgente.Attach(std::move(source));
  state.DataDestinazione.DatabaseName = place.FreshPriceList().u16string();
  state.DataDestinazione.RecordSource = u"Articoli";
  state.DataDestinazione.Refresh();
  SilentDialogs dialogs;
  for (const std::u16string& table : tables) {
    if (!ChooseTable(state, form, table)) continue;
    // Every run after the first empties the list first, as a clerk importing anew would.
    dialogs.purge = &table != &tables.front();
    import::RunImport(import::kImportKey, state, form, dialogs, import::ReportPlace::File(place.Report()));
  }
  try {
    state.DataDestinazione.Close();
  } catch (const engine::Error&) {
  }
  return 0;
}
