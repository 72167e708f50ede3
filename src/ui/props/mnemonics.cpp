#include "ui/props/mnemonics.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

namespace bc {
namespace {

// Letters a mnemonic may take: ASCII letters and digits, so Alt plus the key
// works on every keyboard layout the desktop may use.
bool Usable(QChar c, const QString& used) {
  return c.unicode() < 128 && c.isLetterOrNumber() && !used.contains(c.toLower());
}

}  // namespace

QString WithMnemonic(const QString& text, QString& used) {
  if (text.contains(QLatin1Char('&'))) {
    return text;
  }
  int pick = -1;
  for (int i = 0; i < text.size() && pick < 0; ++i) {
    const bool wordStart = i == 0 || !text[i - 1].isLetterOrNumber();
    if (wordStart && Usable(text[i], used)) {
      pick = i;
    }
  }
  for (int i = 0; i < text.size() && pick < 0; ++i) {
    if (Usable(text[i], used)) {
      pick = i;
    }
  }
  if (pick < 0) {
    return text;
  }
  used += text[pick].toLower();
  QString marked = text;
  marked.insert(pick, QLatin1Char('&'));
  return marked;
}

void AssignMnemonics(QWidget* scope) {
  QString used;
  // Letters already taken by hand keep their place.
  for (QObject* child : scope->findChildren<QObject*>()) {
    QString text;
    if (auto* button = qobject_cast<QAbstractButton*>(child)) {
      text = button->text();
    } else if (auto* label = qobject_cast<QLabel*>(child); label && label->buddy()) {
      text = label->text();
    }
    const int at = text.indexOf(QLatin1Char('&'));
    if (at >= 0 && at + 1 < text.size()) {
      used += text[at + 1].toLower();
    }
  }
  for (QObject* child : scope->findChildren<QObject*>()) {
    if (auto* button = qobject_cast<QAbstractButton*>(child)) {
      if (!button->text().isEmpty()) {
        button->setText(WithMnemonic(button->text(), used));
      }
    } else if (auto* label = qobject_cast<QLabel*>(child); label && label->buddy() &&
                                                           !label->isHidden() &&
                                                           label->textFormat() != Qt::RichText) {
      label->setText(WithMnemonic(label->text(), used));
    }
  }
}

}  // namespace bc
