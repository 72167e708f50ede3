#pragma once

#include <QTreeWidget>

namespace bc {

/// A tree whose entries carry three-state check boxes that propagate to
/// children and parents: the account list of the property sheet.
///
/// Box states: 0 no box, 1 unchecked, 2 partly checked, 3 checked (shown with
/// Qt's check indicator; an entry with state 0 shows none). The tree does its
/// own toggling: a click on a box or the space bar turns a checked entry
/// unchecked and an unchecked or partly checked one checked, propagates, and
/// then emits CheckToggled. Qt's built-in toggling never acts. Screen readers
/// hear each entry's state ("toggle" action, state-change events).
class CCheckTreeCtrl : public QTreeWidget {
  Q_OBJECT

 public:
  enum BoxState { kNoBox = 0, kUnchecked = 1, kPartly = 2, kChecked = 3 };

  explicit CCheckTreeCtrl(QWidget* parent = nullptr);

  /// Sets the entry's box. Unless `state` is kNoBox, the state then spreads:
  /// to the children when `propagateToChildren` is true (every child with a box,
  /// and the first child in any case, takes it, and so on down through every
  /// subtree), and up: while every boxed sibling agrees, the parent (when it has
  /// a box) takes the state and the walk goes on from it; at the first
  /// disagreement every boxed ancestor becomes partly checked.
  void SetCheck(QTreeWidgetItem* item, int state, bool propagateToChildren);

  /// The entry's box state (kNoBox for a null entry).
  [[nodiscard]] static int CheckOf(const QTreeWidgetItem* item);

  /// Toggles the entry as a click on its box does, with propagation, and emits
  /// CheckToggled. An entry without a box is left alone (returns false).
  bool ToggleCheck(QTreeWidgetItem* item);

  /// Whether `pos` (viewport coordinates) lies on the check box of an entry.
  [[nodiscard]] QTreeWidgetItem* CheckBoxAt(const QPoint& pos) const;

 Q_SIGNALS:
  /// The user toggled `item` by a click or the space bar; the boxes of the
  /// whole tree are settled when this arrives.
  void CheckToggled(QTreeWidgetItem* item);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  static void SetBox(QTreeWidgetItem* item, int state);
  /// Tells screen readers that the entry's check state changed.
  void AnnounceCheck(QTreeWidgetItem* item);
  void PropagateToChildren(QTreeWidgetItem* item, int state);
  void PropagateToParents(QTreeWidgetItem* item, int state);
};

}  // namespace bc
