#include "engine/jet/format/page_number.h"

#include <ostream>

namespace engine::jet {

std::ostream& operator<<(std::ostream& out, PageNumber page) { return out << page.value(); }

}  // namespace engine::jet
