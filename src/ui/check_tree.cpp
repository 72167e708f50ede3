#include "ui/check_tree.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace bc {

namespace {

// Paints like the standard delegate but never toggles a box itself (the tree
// does, with its own rules), and tells the tree where the box of an entry is.
class CheckDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&,
                   const QModelIndex&) override {
    return false;
  }

  QRect CheckRect(QStyleOptionViewItem option, const QModelIndex& index,
                  const QWidget* widget) const {
    initStyleOption(&option, index);
    if (!(option.features & QStyleOptionViewItem::HasCheckIndicator)) {
      return {};
    }
    const QStyle* style = widget ? widget->style() : QApplication::style();
    return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, widget);
  }
};

// Screen readers (Orca among them) say a table cell's check state only when
// the cell offers an action named "toggle"; Qt names it "Toggle", and its item
// cells cannot be given another name. The name is Qt's one shared string, so
// it is set once, for every checkable control of the program alike.
void NameToggleActionForScreenReaders() {
  static const bool named = [] {
    auto& name = const_cast<QString&>(QAccessibleActionInterface::toggleAction());
    name = name.toLower();
    return true;
  }();
  (void)named;
}

}  // namespace

CCheckTreeCtrl::CCheckTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
  NameToggleActionForScreenReaders();
  setItemDelegate(new CheckDelegate(this));
  setHeaderHidden(true);
}

void CCheckTreeCtrl::AnnounceCheck(QTreeWidgetItem* item) {
  // The cell of an entry is found by its row among the rows shown.
  int row = 0;
  for (QModelIndex above = indexAbove(indexFromItem(item)); above.isValid();
       above = indexAbove(above)) {
    ++row;
  }
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(this);
  QAccessibleTableInterface* table = face ? face->tableInterface() : nullptr;
  QAccessibleInterface* cell = table ? table->cellAt(row, 0) : nullptr;
  if (cell == nullptr) {
    return;
  }
  QAccessible::State changed;
  changed.checked = true;
  QAccessibleStateChangeEvent event(cell, changed);
  QAccessible::updateAccessibility(&event);
}

int CCheckTreeCtrl::CheckOf(const QTreeWidgetItem* item) {
  if (!item) {
    return kNoBox;
  }
  const QVariant value = item->data(0, Qt::CheckStateRole);
  if (!value.isValid()) {
    return kNoBox;
  }
  switch (value.value<Qt::CheckState>()) {
    case Qt::Unchecked:
      return kUnchecked;
    case Qt::PartiallyChecked:
      return kPartly;
    case Qt::Checked:
      return kChecked;
  }
  return kNoBox;
}

void CCheckTreeCtrl::SetBox(QTreeWidgetItem* item, int state) {
  switch (state) {
    case kUnchecked:
      item->setData(0, Qt::CheckStateRole, Qt::Unchecked);
      break;
    case kPartly:
      item->setData(0, Qt::CheckStateRole, Qt::PartiallyChecked);
      break;
    case kChecked:
      item->setData(0, Qt::CheckStateRole, Qt::Checked);
      break;
    default:
      item->setData(0, Qt::CheckStateRole, QVariant());
      break;
  }
}

void CCheckTreeCtrl::SetCheck(QTreeWidgetItem* item, int state, bool propagateToChildren) {
  if (!item) {
    return;
  }
  SetBox(item, state);
  if (state == kNoBox) {
    return;
  }
  if (propagateToChildren) {
    PropagateToChildren(item, state);
  }
  PropagateToParents(item, state);
}

void CCheckTreeCtrl::PropagateToChildren(QTreeWidgetItem* item, int state) {
  for (int i = 0; i < item->childCount(); ++i) {
    QTreeWidgetItem* child = item->child(i);
    // The first child is set even when it had no box of its own, so a group's
    // first entry always follows the group; an entry meant to stay box-less
    // goes after a boxed sibling.
    if (i == 0 || CheckOf(child) != kNoBox) {
      SetBox(child, state);
    }
    PropagateToChildren(child, state);
  }
}

void CCheckTreeCtrl::PropagateToParents(QTreeWidgetItem* item, int state) {
  QTreeWidgetItem* entry = item;
  while (QTreeWidgetItem* parent = entry->parent()) {
    bool agree = true;
    for (int i = 0; i < parent->childCount() && agree; ++i) {
      const int sibling = CheckOf(parent->child(i));
      agree = sibling == kNoBox || sibling == state;
    }
    if (!agree) {
      for (QTreeWidgetItem* up = parent; up; up = up->parent()) {
        if (CheckOf(up) != kNoBox) {
          SetBox(up, kPartly);
        }
      }
      return;
    }
    if (CheckOf(parent) != kNoBox) {
      SetBox(parent, state);
    }
    entry = parent;
  }
}

bool CCheckTreeCtrl::ToggleCheck(QTreeWidgetItem* item) {
  const int state = CheckOf(item);
  if (state == kNoBox) {
    return false;
  }
  SetCheck(item, state == kChecked ? kUnchecked : kChecked, true);
  AnnounceCheck(item);  // heard, not only seen
  Q_EMIT CheckToggled(item);
  return true;
}

QTreeWidgetItem* CCheckTreeCtrl::CheckBoxAt(const QPoint& pos) const {
  const QModelIndex index = indexAt(pos);
  if (!index.isValid()) {
    return nullptr;
  }
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(index);
  const auto* delegate = static_cast<const CheckDelegate*>(itemDelegate());
  if (!delegate->CheckRect(option, index, this).contains(pos)) {
    return nullptr;
  }
  return itemFromIndex(index);
}

void CCheckTreeCtrl::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    QTreeWidgetItem* boxHit = CheckBoxAt(pos);
    if (QTreeWidgetItem* entry = itemAt(pos)) {
      setCurrentItem(entry);
    }
    if (boxHit) {
      ToggleCheck(boxHit);
    }
  }
  QTreeWidget::mousePressEvent(event);
}

void CCheckTreeCtrl::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    // The space bar toggles the selected entry and goes no further, so the view
    // does not also treat it as a selection key.
    ToggleCheck(currentItem());
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

}  // namespace bc
