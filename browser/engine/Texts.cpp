#include "Texts.h"

namespace qlon {

std::string_view HttpStatusTableText(int status) {
  if (status < 200 || status >= 600) return {};
  const int index = status % 100;
  switch (status / 100) {
    case 2: return TextAt(kHttpStatus200, index);
    case 3: return TextAt(kHttpStatus300, index);
    case 4: return TextAt(kHttpStatus400, index);
    default: return TextAt(kHttpStatus500, index);
  }
}

std::optional<TColHeader> DefaultColumn(int id) {
  if (id < 0 || static_cast<std::size_t>(id) >= kDefaultColumns.size()) return std::nullopt;
  const TDefaultColumn& c = kDefaultColumns[static_cast<std::size_t>(id)];
  return TColHeader{std::string(c.Caption), id, c.Width, c.Flags};
}

}  // namespace qlon
