#pragma once

#include <QPushButton>
#include <QString>
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

}  // namespace bc
