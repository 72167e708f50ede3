#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "config/field_order.h"

namespace bc {

/// One level of a row sort: a column index of the list and its direction.
struct SortKey {
  int column = 0;
  bool ascending = true;

  bool operator==(const SortKey&) const = default;
};

/// How header clicks sort the email list, kept apart from the widget.
///
/// State: the columns of the current multi-column sort in the order they were
/// added, one direction bit per column index (a column's bit flips on every
/// click of it), the field of the column last clicked, and the saved direction
/// (the clicked column's bit after its last plain sort), which brings the sort
/// back after the list is rebuilt.
///
/// Each call returns the keys to sort by, most significant first: sorting the
/// rows stably by them equals sorting by the last key, then by the one before,
/// and so on, the first key applied last.
class ListSortState {
 public:
  /// Columns beyond this many are ignored (one direction bit each).
  static constexpr int kMaxColumns = 64;

  /// A header click without Ctrl on `column` showing `field`: sorts by that
  /// column alone, ascending when its bit is clear, then flips the bit and
  /// saves it. So the first click sorts ascending, the next descending.
  [[nodiscard]] std::vector<SortKey> PlainClick(int column, Field field);

  /// A header click with Ctrl held: the column joins the end of the sort (or
  /// moves there). Every listed column sorts ascending when its bit is clear,
  /// except the clicked one, which sorts ascending when its bit is set; then
  /// the clicked column's bit flips. The saved direction is left alone.
  [[nodiscard]] std::vector<SortKey> CtrlClick(int column, Field field);

  /// After a rebuild showing `columns`: if a header was ever clicked and the
  /// field last clicked still has a column, that column's bit becomes the saved
  /// direction and the rows sort by it alone in the direction last used
  /// (ascending when the saved bit is set). Otherwise no sort.
  [[nodiscard]] std::vector<SortKey> AfterRebuild(const std::vector<Field>& columns);

  /// Before a rebuild that may change the columns: the saved direction becomes
  /// the bit of the column showing the field last clicked, or clear when no
  /// column shows it.
  void SaveSortDirection(const std::vector<Field>& columns);

  [[nodiscard]] bool DirectionBit(int column) const;
  [[nodiscard]] const std::vector<int>& sortColumns() const { return sortColumns_; }

 private:
  void FlipBit(int column);
  void SetBit(int column, bool on);

  std::vector<int> sortColumns_;
  std::uint64_t directionBits_ = 0;
  std::optional<Field> lastSorted_;  // set once a header has been clicked
  bool savedDirection_ = false;
};

}  // namespace bc
