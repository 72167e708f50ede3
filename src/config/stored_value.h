#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace bc {

/// A typed settings value that remembers the text it was stored as.
///
/// Read from the file, it keeps that text as it was ("0110", " 110", "02", an
/// empty port, a unit no one knows), so a file saves back byte for byte the
/// same; set from the program, it holds the value's canonical text. A text that
/// names no value (an unknown Security) stays exactly that: its value says so,
/// and nothing turns it into a default.
///
/// `Codec` is a struct with `Value`, `static Parsed Parse(std::string_view)`
/// (a Value, or std::optional<Value> when not every text names one) and
/// `static std::string Format(Value)`.
template <class Codec>
class Stored {
 public:
  using Value = typename Codec::Value;
  using Parsed = decltype(Codec::Parse(std::string_view{}));

  /// The value of empty stored text.
  Stored() : Stored(std::string()) {}
  /// A value set by the program: its text is the canonical one.
  Stored(Value value) : text_(Codec::Format(value)), parsed_(Codec::Parse(text_)) {}

  /// The value of a stored text, keeping the text as it is.
  [[nodiscard]] static Stored FromText(std::string text) { return Stored(std::move(text)); }

  /// What the text names (a std::optional that is empty when the text names no value).
  [[nodiscard]] const Parsed& value() const { return parsed_; }
  /// The text to store: as read, or canonical once set by the program.
  [[nodiscard]] const std::string& text() const { return text_; }

  bool operator==(const Stored& other) const { return text_ == other.text_; }
  /// Compares the stored text: "02" is not "2", though both may name one value.
  friend bool operator==(const Stored& stored, std::string_view text) {
    return stored.text_ == text;
  }

 private:
  explicit Stored(std::string text) : text_(std::move(text)), parsed_(Codec::Parse(text_)) {}

  std::string text_;
  Parsed parsed_;
};

}  // namespace bc
