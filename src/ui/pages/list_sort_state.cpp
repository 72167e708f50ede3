#include "ui/pages/list_sort_state.h"

#include <algorithm>

namespace bc {
namespace {

int IndexOf(const std::vector<Field>& columns, Field field) {
  const auto found = std::find(columns.begin(), columns.end(), field);
  return found == columns.end() ? -1 : static_cast<int>(found - columns.begin());
}

}  // namespace

bool ListSortState::DirectionBit(int column) const {
  if (column < 0 || column >= kMaxColumns) {
    return false;
  }
  return (directionBits_ >> column) & 1U;
}

void ListSortState::SetBit(int column, bool on) {
  if (column < 0 || column >= kMaxColumns) {
    return;
  }
  const std::uint64_t bit = std::uint64_t{1} << column;
  directionBits_ = on ? (directionBits_ | bit) : (directionBits_ & ~bit);
}

void ListSortState::FlipBit(int column) {
  SetBit(column, !DirectionBit(column));
}

std::vector<SortKey> ListSortState::PlainClick(int column, Field field) {
  if (column < 0 || column >= kMaxColumns) {
    return {};
  }
  sortColumns_.assign(1, column);
  const SortKey key{column, !DirectionBit(column)};
  FlipBit(column);
  savedDirection_ = DirectionBit(column);
  lastSorted_ = field;
  return {key};
}

std::vector<SortKey> ListSortState::CtrlClick(int column, Field field) {
  if (column < 0 || column >= kMaxColumns) {
    return {};
  }
  std::erase(sortColumns_, column);
  sortColumns_.push_back(column);
  std::vector<SortKey> keys;
  keys.reserve(sortColumns_.size());
  for (const int listed : sortColumns_) {
    // The clicked column reads its bit the other way round from the rest.
    const bool ascending = listed == column ? DirectionBit(listed) : !DirectionBit(listed);
    keys.push_back({listed, ascending});
  }
  FlipBit(column);
  lastSorted_ = field;
  return keys;
}

std::vector<SortKey> ListSortState::AfterRebuild(const std::vector<Field>& columns) {
  if (!lastSorted_) {
    return {};
  }
  const int column = IndexOf(columns, *lastSorted_);
  if (column < 0 || column >= kMaxColumns) {
    return {};
  }
  SetBit(column, savedDirection_);
  sortColumns_.assign(1, column);
  // The saved bit is the one left after the last plain sort flipped it: set
  // means that sort went ascending.
  return {{column, savedDirection_}};
}

void ListSortState::SaveSortDirection(const std::vector<Field>& columns) {
  const int column = lastSorted_ ? IndexOf(columns, *lastSorted_) : -1;
  savedDirection_ = column >= 0 && DirectionBit(column);
}

}  // namespace bc
