#include "engine/jet/page/data_page_writer.h"

#include <utility>

#include "engine/base/error.h"

namespace engine::jet {

RowPlacer::RowPlacer(PageStore& store, PageAllocator& allocator, uint32_t owner, RowId owned_map,
                     RowId free_map)
    : store_(store), allocator_(allocator), owner_(owner), owned_map_(owned_map), free_map_(free_map) {}

std::optional<CheckedDataPage> RowPlacer::Usable(PageNumber page, size_t row_length) {
  if (page.is_none() || !store_.has_page(page)) return std::nullopt;
  if (last_ && last_->page() == page && last_->current()) {
    if (!last_->HasRoom(row_length)) return std::nullopt;
    return std::exchange(last_, std::nullopt);
  }
  // A page of someone else's is passed over (maps may keep bits for pages given back); one of
  // the owner's that does not check out stops the change.
  if (!DataPage(store_.ReadPage(page), store_.format()).owned_by(owner_)) return std::nullopt;
  CheckedDataPage checked = CheckedDataPage::Check(store_, page, owner_);
  if (!checked.HasRoom(row_length)) return std::nullopt;
  return checked;
}

PageNumber RowPlacer::Candidate() {
  if (!free_map_.page.is_none()) {
    UsageMapEditor free_pages(store_, free_map_);
    if (last_ && store_.has_page(last_->page()) && free_pages.Contains(last_->page())) return last_->page();
    // The last free page that the owner really owns (Access keeps free ⊆ owned).
    UsageMapEditor owned(store_, owned_map_);
    for (PageNumber page = free_pages.Highest();; page = free_pages.HighestBelow(page)) {
      if (page.is_none()) return kNoPage;
      if (owned.Contains(page)) return page;
    }
  }
  if (owned_map_.page.is_none()) return last_ ? last_->page() : kNoPage;
  UsageMapEditor owned(store_, owned_map_);
  return owned.Highest();
}

PageNumber RowPlacer::NewPage() {
  const PageNumber page = allocator_.Allocate();
  InitDataPage(store_.WritePage(page).data(), store_.page_size(), owner_);
  auto allocate_bitmap = [this] { return allocator_.Allocate(); };
  if (!owned_map_.page.is_none()) UsageMapEditor(store_, owned_map_, allocate_bitmap).Add(page);
  if (!free_map_.page.is_none()) UsageMapEditor(store_, free_map_, allocate_bitmap).Add(page);
  return page;
}

RowId RowPlacer::Place(std::string_view row) {
  if (row.size() > store_.format().max_long_value_row_size) {
    throw Error("", "a record part is too long for a page", ErrorKind::InvalidValue);
  }
  PageNumber page = Candidate();
  // A candidate too full for the row leaves the free-space map, as Access does, and the next
  // one is tried (pages emptied by a DELETE are re-used this way); then a new page.
  std::optional<CheckedDataPage> usable = Usable(page, row.size());
  for (int tries = 0; !usable; ++tries) {
    if (page.is_none() || free_map_.page.is_none() || !store_.has_page(page) || tries >= 64) {
      page = NewPage();
      usable = CheckedDataPage::Check(store_, page, owner_);
      break;
    }
    UsageMapEditor(store_, free_map_).Remove(page);
    last_.reset();
    page = Candidate();
    usable = Usable(page, row.size());
  }
  const uint8_t slot = usable->Append(row);
  last_ = std::move(usable);
  return RowId{page, slot};
}

}  // namespace engine::jet
