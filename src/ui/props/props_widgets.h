#pragma once

#include <QAbstractItemView>
#include <QAccessible>
#include <QEvent>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <string>

namespace bc {

/// UTF-8 core text to Qt and back.
inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
inline std::string S(const QString& text) {
  return text.toStdString();
}

/// The Add, Edit and Delete column beside a list, top-aligned.
struct ListButtons {
  QPushButton* add;
  QPushButton* edit;
  QPushButton* del;
  QVBoxLayout* layout;
};

[[nodiscard]] inline ListButtons MakeListButtons(QWidget* parent) {
  ListButtons b{new QPushButton(QStringLiteral("Add"), parent),
                new QPushButton(QStringLiteral("Edit"), parent),
                new QPushButton(QStringLiteral("Delete"), parent), new QVBoxLayout};
  b.add->setObjectName(QStringLiteral("addButton"));
  b.edit->setObjectName(QStringLiteral("editButton"));
  b.del->setObjectName(QStringLiteral("deleteButton"));
  b.layout->addWidget(b.add);
  b.layout->addWidget(b.edit);
  b.layout->addWidget(b.del);
  b.layout->addStretch();
  return b;
}

/// Says a list's current entry when the list gets the focus: Qt reports the
/// focus of the list alone, so Orca says "List with 3 items" and no entry.
class CurrentEntryAnnouncer final : public QObject {
 public:
  explicit CurrentEntryAnnouncer(QAbstractItemView* view) : QObject(view), view_(view) {
    view->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == view_ && event->type() == QEvent::FocusIn) {
      // After the list's own focus news, which would otherwise come last.
      QTimer::singleShot(0, this, [this] { Announce(); });
    }
    return false;
  }

 private:
  void Announce() {
    const QModelIndex current = view_->currentIndex();
    if (!view_->hasFocus() || !current.isValid()) {
      return;
    }
    int row = current.row();  // among the rows shown, as the accessible table counts them
    if (auto* tree = qobject_cast<QTreeView*>(view_)) {
      row = 0;
      for (QModelIndex above = tree->indexAbove(current); above.isValid();
           above = tree->indexAbove(above)) {
        ++row;
      }
    }
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(view_);
    QAccessibleTableInterface* table = face ? face->tableInterface() : nullptr;
    QAccessibleInterface* cell = table ? table->cellAt(row, 0) : nullptr;
    if (cell != nullptr) {
      QAccessibleEvent focus(cell, QAccessible::Focus);
      QAccessible::updateAccessibility(&focus);
    }
  }

  QAbstractItemView* view_;
};

}  // namespace bc
