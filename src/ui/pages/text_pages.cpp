#include "ui/pages/text_pages.h"

#include <QClipboard>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QVBoxLayout>

#include "config/prompt.h"

namespace bc {
namespace {

QPlainTextEdit* MakeTextBox(QWidget* parent, const QString& name) {
  auto* box = new QPlainTextEdit(parent);
  box->setObjectName(name);
  // Both scroll bars, no wrapping: long lines scroll sideways.
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box->setTabChangesFocus(true);
  return box;
}

}  // namespace

QString DecodeTextFile(const QByteArray& bytes) {
  QString text;
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  text = utf8.decode(bytes);
  if (utf8.hasError()) {
    // Stateless, or a multibyte tail cut off at the end would vanish unseen.
    QStringDecoder ansi("windows-1252", QStringDecoder::Flag::Stateless);
    text = ansi.isValid() ? QString(ansi.decode(bytes)) : QString::fromLatin1(bytes);
  }
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

QString TextToRead(const QString& pageText) {
  if (pageText.size() <= kMaxReadCharacters) {
    return pageText;
  }
  qsizetype length = kMaxReadCharacters;
  if (pageText.at(length - 1).isHighSurrogate()) {
    --length;
  }
  return pageText.left(length);
}

ReadingPage::ReadingPage(QWidget* parent, const QString& textName)
    : QWidget(parent), text_(MakeTextBox(this, textName)) {
  text_->installEventFilter(this);
}

QString ReadingPage::Text() const {
  return text_->toPlainText();
}

void ReadingPage::SetText(const QString& text) {
  text_->setPlainText(text);
}

void ReadingPage::FocusText() {
  text_->setFocus(Qt::OtherFocusReason);
}

bool ReadingPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == text_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->keyCombination() ==
          QKeyCombination(Qt::ControlModifier, Qt::Key_V)) {
    Q_EMIT PasteRequested();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

TextReaderPage::TextReaderPage(QWidget* parent)
    : ReadingPage(parent, QStringLiteral("readerText")) {
  setObjectName(QStringLiteral("textReaderPage"));
  auto* frame = new QGroupBox(QStringLiteral("Reading"), this);
  // The text box and the path box sit inside the frame with a small margin
  // (the layout moves the text box into the frame, before the path box).
  auto* inner = new QVBoxLayout(frame);
  inner->setContentsMargins(9, 6, 9, 9);
  inner->setSpacing(6);
  inner->addWidget(text_, 1);
  path_ = new QLineEdit(frame);
  path_->setObjectName(QStringLiteral("readerPath"));
  path_->setReadOnly(true);
  // Both sit in the "Reading" frame; a screen reader needs them told apart.
  text_->setAccessibleName(QStringLiteral("Text to read"));
  path_->setAccessibleName(QStringLiteral("File being read"));
  inner->addWidget(path_);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(9, 5, 15, 11);
  outer->addWidget(frame);
}

bool TextReaderPage::ChooseAndLoad(Prompt& prompt) {
  const std::string path =
      prompt.ChooseOpenFile(kTextFileDialogTitle, kTextFileFilter, kTextFileSuffix);
  if (path.empty()) {
    return false;
  }
  if (const std::string error = LoadFile(path); !error.empty()) {
    prompt.ShowMessage("The file " + path + " could not be opened: " + error);
  }
  return true;
}

std::string TextReaderPage::LoadFile(const std::string& path) {
  const QString name = QString::fromStdString(path);
  QFile file(name);
  QString text;
  std::string error;
  if (file.open(QIODevice::ReadOnly)) {
    text = DecodeTextFile(file.readAll());
  } else {
    error = file.errorString().toStdString();
  }
  text_->setPlainText(text);
  path_->setText(name);
  return error;
}

QString TextReaderPage::Path() const {
  return path_->text();
}

bool TextReaderPage::IsEmpty() const {
  return text_->document()->isEmpty();
}

std::optional<std::string> TextReaderPage::TextForPlay() const {
  const QString text = Text();
  if (text.isEmpty()) {
    return std::nullopt;
  }
  return TextToRead(text).toStdString();
}

ClipboardReaderPage::ClipboardReaderPage(QWidget* parent)
    : ReadingPage(parent, QStringLiteral("clipboardText")) {
  setObjectName(QStringLiteral("clipboardReaderPage"));
  text_->setAccessibleName(QStringLiteral("Clipboard text"));
  // The text box at 10, 10 (292 x 160) of the 315 x 179 page.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(15, 16, 20, 15);
  layout->addWidget(text_);
}

bool ClipboardReaderPage::ClipboardHasText() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data != nullptr && data->hasText() && !data->text().isEmpty();
}

void ClipboardReaderPage::Paste(Prompt& prompt) {
  QString text;
  if (ClipboardHasText()) {
    text = QGuiApplication::clipboard()->text();
  } else {
    prompt.ShowMessage(kClipboardEmptyMessage);
  }
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text_->setPlainText(text);
  FocusText();
}

std::optional<std::string> ClipboardReaderPage::TextForPlay(Prompt& prompt) const {
  const QString text = Text();
  if (text.size() > kMaxClipboardCharacters) {
    prompt.ShowMessage(kClipboardTooLongMessage);
    return std::nullopt;
  }
  if (text.isEmpty()) {
    return std::nullopt;
  }
  return TextToRead(text).toStdString();
}

}  // namespace bc
