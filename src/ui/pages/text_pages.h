#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <optional>
#include <string>

class QLineEdit;
class QPlainTextEdit;

namespace bc {

class Prompt;

/// Play reads at most this many characters of a Text or Clipboard Reader text.
inline constexpr int kMaxReadCharacters = 19999;
/// A Clipboard Reader text longer than this is not read at all.
inline constexpr int kMaxClipboardCharacters = 20000;

inline constexpr const char* kClipboardTooLongMessage = "Over 20000 characters in clipboard";
inline constexpr const char* kClipboardEmptyMessage = "Clipboard is empty";
/// The open-file dialog of Open Text File and Read File.
inline constexpr const char* kTextFileDialogTitle = "Open";
inline constexpr const char* kTextFileFilter = "Txt Documents (*.txt)";
inline constexpr const char* kTextFileSuffix = "txt";

/// The text of a file's bytes: valid UTF-8 is taken as UTF-8 (a leading byte
/// order mark dropped); anything else is read as Windows-1252, the code page
/// such files were written in. Line ends are made one LF each (CR LF, or LF
/// alone); a lone CR stays.
[[nodiscard]] QString DecodeTextFile(const QByteArray& bytes);

/// The part of a page's text that Play reads: its first 19999 characters
/// (UTF-16 units, one fewer when the cut would split a surrogate pair).
[[nodiscard]] QString TextToRead(const QString& pageText);

/// What the Text and Clipboard Reader pages share: an editable text box in
/// which Ctrl+V asks the window for Paste Clipboard (clear, then paste, with
/// its limits and messages) rather than pasting at the cursor.
class ReadingPage : public QWidget {
  Q_OBJECT

 public:
  /// The text as the page holds it (edits included), LF line ends.
  [[nodiscard]] QString Text() const;
  void SetText(const QString& text);
  void FocusText();
  [[nodiscard]] QPlainTextEdit* textBox() const { return text_; }

 Q_SIGNALS:
  /// Ctrl+V was pressed in the text box: the window runs Paste Clipboard, as
  /// it does on the other pages.
  void PasteRequested();

 protected:
  /// Makes the text box (object name `textName`); a page may lay it out in a
  /// frame of its own.
  ReadingPage(QWidget* parent, const QString& textName);
  bool eventFilter(QObject* watched, QEvent* event) override;

  QPlainTextEdit* const text_;
};

/// The " Text Reader " page: the editable text of a file in a "Reading" frame,
/// with the file's path in a read-only box below it. Loading never reads
/// aloud; the main window's Play does.
class TextReaderPage : public ReadingPage {
  Q_OBJECT

 public:
  explicit TextReaderPage(QWidget* parent = nullptr);

  /// Shows the open-file dialog ("Txt Documents (*.txt)") and loads the
  /// chosen file. Returns false, changing nothing, when the user cancels.
  bool ChooseAndLoad(Prompt& prompt);
  /// Puts the whole text of the file at `path` (UTF-8 path) in the text box
  /// and the path in the path box. A file that cannot be read gives an empty
  /// text and the reason is returned (empty when it was read); ChooseAndLoad
  /// shows it.
  std::string LoadFile(const std::string& path);

  [[nodiscard]] QString Path() const;
  [[nodiscard]] bool IsEmpty() const;
  /// What Play reads from this page: nothing when the text is empty, else its
  /// first 19999 characters as UTF-8.
  [[nodiscard]] std::optional<std::string> TextForPlay() const;

  [[nodiscard]] QLineEdit* pathBox() const { return path_; }

 private:
  QLineEdit* path_ = nullptr;
};

/// The " Clipboard Reader " page: the editable text taken from the clipboard.
class ClipboardReaderPage : public ReadingPage {
  Q_OBJECT

 public:
  explicit ClipboardReaderPage(QWidget* parent = nullptr);

  /// Paste Clipboard: the clipboard's text replaces the page's and the text
  /// box takes the focus. Without text on the clipboard the page empties and
  /// "Clipboard is empty" is shown.
  void Paste(Prompt& prompt);
  /// Whether the clipboard holds text now (Read Clipboard reads only then).
  [[nodiscard]] static bool ClipboardHasText();

  /// What Play reads from this page: nothing when the text is empty, nothing
  /// and the message "Over 20000 characters in clipboard" when it is longer
  /// than 20000 characters (the text stays), else its first 19999 characters
  /// as UTF-8.
  [[nodiscard]] std::optional<std::string> TextForPlay(Prompt& prompt) const;
};

}  // namespace bc
