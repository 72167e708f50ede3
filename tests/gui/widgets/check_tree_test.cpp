#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "ui/check_tree.h"

namespace bc {
namespace {

using Tree = CCheckTreeCtrl;

class CheckTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.resize(300, 300);
    tree.show();
  }

  QTreeWidgetItem* Add(QTreeWidgetItem* parent, const char* name, int state) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(&tree);
    item->setText(0, QString::fromLatin1(name));
    if (state != Tree::kNoBox) {
      tree.SetCheck(item, state, false);
    }
    tree.expandAll();
    return item;
  }

  // Finds a point on the entry's check box by scanning its row.
  QPoint BoxPoint(QTreeWidgetItem* item) {
    const QRect row = tree.visualItemRect(item);
    for (int x = row.left(); x <= row.right(); ++x) {
      const QPoint p(x, row.center().y());
      if (tree.CheckBoxAt(p) == item) {
        return p;
      }
    }
    ADD_FAILURE() << "no check box found for " << item->text(0).toStdString();
    return {};
  }

  void ClickBox(QTreeWidgetItem* item) {
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, BoxPoint(item));
  }

  Tree tree;
};

TEST_F(CheckTreeTest, ClickingLastUncheckedChildChecksParentAndUncheckingMakesItPartly) {
  QTreeWidgetItem* root = Add(nullptr, "root", Tree::kPartly);
  QTreeWidgetItem* a = Add(root, "a", Tree::kChecked);
  QTreeWidgetItem* b = Add(root, "b", Tree::kChecked);
  QTreeWidgetItem* c = Add(root, "c", Tree::kUnchecked);
  tree.SetCheck(root, Tree::kPartly, false);
  QSignalSpy toggled(&tree, &Tree::CheckToggled);

  ClickBox(c);
  EXPECT_EQ(Tree::CheckOf(c), Tree::kChecked);
  EXPECT_EQ(Tree::CheckOf(root), Tree::kChecked);
  ASSERT_EQ(toggled.count(), 1);
  EXPECT_EQ(toggled.at(0).at(0).value<QTreeWidgetItem*>(), c);

  ClickBox(a);
  EXPECT_EQ(Tree::CheckOf(a), Tree::kUnchecked);
  EXPECT_EQ(Tree::CheckOf(b), Tree::kChecked);
  EXPECT_EQ(Tree::CheckOf(root), Tree::kPartly);
  EXPECT_EQ(toggled.count(), 2);
}

TEST_F(CheckTreeTest, DisagreementMarksEveryBoxedAncestorPartlyAcrossBoxlessLevels) {
  QTreeWidgetItem* top = Add(nullptr, "top", Tree::kChecked);
  QTreeWidgetItem* plain = Add(top, "group without box", Tree::kNoBox);
  QTreeWidgetItem* x = Add(plain, "x", Tree::kChecked);
  Add(plain, "y", Tree::kChecked);

  ASSERT_TRUE(tree.ToggleCheck(x));
  EXPECT_EQ(Tree::CheckOf(plain), Tree::kNoBox);
  EXPECT_EQ(Tree::CheckOf(top), Tree::kPartly);

  // Agreement walks up through the box-less level too.
  ASSERT_TRUE(tree.ToggleCheck(x));
  EXPECT_EQ(Tree::CheckOf(top), Tree::kChecked);
}

TEST_F(CheckTreeTest, ToggleSpreadsToWholeSubtree) {
  QTreeWidgetItem* parent = Add(nullptr, "parent", Tree::kUnchecked);
  QTreeWidgetItem* first = Add(parent, "first, no box", Tree::kNoBox);
  QTreeWidgetItem* boxed = Add(parent, "boxed", Tree::kUnchecked);
  QTreeWidgetItem* plain = Add(parent, "later, no box", Tree::kNoBox);
  QTreeWidgetItem* deep = Add(plain, "deep", Tree::kUnchecked);

  ClickBox(parent);
  EXPECT_EQ(Tree::CheckOf(parent), Tree::kChecked);
  EXPECT_EQ(Tree::CheckOf(first), Tree::kChecked);  // the first child always follows
  EXPECT_EQ(Tree::CheckOf(boxed), Tree::kChecked);
  EXPECT_EQ(Tree::CheckOf(plain), Tree::kNoBox);
  EXPECT_EQ(Tree::CheckOf(deep), Tree::kChecked);
}

TEST_F(CheckTreeTest, SpaceBarTogglesSelectedEntryAndIgnoresEntriesWithoutBox) {
  QTreeWidgetItem* parent = Add(nullptr, "parent", Tree::kPartly);
  QTreeWidgetItem* boxless = Add(nullptr, "no box", Tree::kNoBox);
  QTreeWidgetItem* child = Add(parent, "child", Tree::kChecked);
  Add(parent, "other", Tree::kUnchecked);
  tree.SetCheck(parent, Tree::kPartly, false);
  QSignalSpy toggled(&tree, &Tree::CheckToggled);
  tree.setFocus();

  // A partly checked entry becomes checked, and its children with it.
  tree.setCurrentItem(parent);
  QTest::keyClick(&tree, Qt::Key_Space);
  EXPECT_EQ(Tree::CheckOf(parent), Tree::kChecked);
  EXPECT_EQ(Tree::CheckOf(child), Tree::kChecked);
  EXPECT_EQ(toggled.count(), 1);

  tree.setCurrentItem(boxless);
  QTest::keyClick(&tree, Qt::Key_Space);
  EXPECT_EQ(Tree::CheckOf(boxless), Tree::kNoBox);
  EXPECT_EQ(toggled.count(), 1);
}

TEST_F(CheckTreeTest, ClickOnTextSelectsWithoutToggling) {
  QTreeWidgetItem* item = Add(nullptr, "entry with a long text", Tree::kUnchecked);
  QSignalSpy toggled(&tree, &Tree::CheckToggled);
  const QRect row = tree.visualItemRect(item);
  const QPoint onText(row.left() + row.width() / 2, row.center().y());
  ASSERT_EQ(tree.CheckBoxAt(onText), nullptr);

  QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, onText);
  EXPECT_EQ(tree.currentItem(), item);
  EXPECT_EQ(Tree::CheckOf(item), Tree::kUnchecked);
  EXPECT_EQ(toggled.count(), 0);
}

}  // namespace
}  // namespace bc
