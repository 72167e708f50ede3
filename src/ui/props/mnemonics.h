#pragma once

#include <QString>

class QWidget;

namespace bc {

/// The text with an Alt-letter mnemonic: a '&' before the first letter not in
/// `used` (first letters of words preferred), which is then added to `used`
/// (lower case). Texts that already hold a '&', or have no free letter, come
/// back unchanged.
[[nodiscard]] QString WithMnemonic(const QString& text, QString& used);

/// Gives every button and every label with a buddy under `scope` a mnemonic of
/// its own, letters unique within the scope, in the order the widgets were made.
/// Hidden labels (captions for assistive technology only) get none.
void AssignMnemonics(QWidget* scope);

}  // namespace bc
