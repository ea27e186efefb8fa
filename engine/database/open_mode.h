// How an archive is opened: only read, or read and changed.
#pragma once

namespace engine {

enum class OpenMode { ReadOnly, ReadWrite };

}  // namespace engine
