#include "engine/jet/catalog/tdef_counters.h"

#include <string>

#include "engine/base/bytes.h"
#include "engine/jet/catalog/tdef_layout.h"
#include "engine/jet/page/data_page.h"
#include "engine/text/utf.h"

namespace engine::jet {

void TdefCounters::Check() {
  for (PageNumber page : table_.tdef_pages) {
    if (!store_.has_page(page) || store_.ReadPage(page).data()[kPageTypeOffset] != kPageTableDefinition) {
      store_.Damaged("the definition of table \"" + ToUtf8(table_.name) + "\" is damaged");
    }
  }
  // Every row takes a slot on a data page, so no table holds more rows than the file has
  // pages times the rows a page can list.
  const uint64_t most_rows = static_cast<uint64_t>(store_.page_count()) * kMaxRowsPerDataPage;
  if (row_count() > most_rows) {
    store_.Damaged("the definition of table \"" + ToUtf8(table_.name) + "\" counts " + std::to_string(row_count()) +
                   " rows, more than the file can hold");
  }
}

uint32_t TdefCounters::Read(size_t offset) {
  const Place place = Locate(offset);
  return GetU32(store_.ReadPage(place.page).data() + place.in_page);
}

void TdefCounters::Write(size_t offset, uint32_t value) {
  const Place place = Locate(offset);
  PutU32(store_.WritePage(place.page).data() + place.in_page, value);
}

TdefCounters::Place TdefCounters::Locate(size_t offset) {
  const JetFormat& f = store_.format();
  const TdefPlace place = PlaceInTdefChain(f, offset);
  const PageNumber page = place.page_index < table_.tdef_pages.size() ? table_.tdef_pages[place.page_index]
                          : place.page_index == 0                      ? table_.tdef_page
                                                                       : kNoPage;
  if (page.is_none() || place.in_page + 4 > f.page_size) {
    store_.Damaged("the definition of table \"" + ToUtf8(table_.name) + "\" is damaged");
  }
  return {page, place.in_page};
}

}  // namespace engine::jet
