#include "ui/window/qt_prompt.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace bc {
namespace {

const QString kCaption = QStringLiteral("Brindlecast");

}  // namespace

void QtPrompt::ShowMessage(const std::string& text) {
  QMessageBox::warning(parent_, kCaption, QString::fromStdString(text));
}

bool QtPrompt::AskYesNo(const std::string& text) {
  return QMessageBox::question(parent_, kCaption, QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::string QtPrompt::ChooseOpenFile(const std::string& title, const std::string& filter,
                                     const std::string& defaultSuffix) {
  QFileDialog dialog(parent_, QString::fromStdString(title));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDirectory(QDir::homePath());
  dialog.setNameFilter(QString::fromStdString(filter));
  dialog.setDefaultSuffix(QString::fromStdString(defaultSuffix));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return dialog.selectedFiles().front().toStdString();
}

std::string QtPrompt::ChooseSaveFile(const std::string& title, const std::string& filter,
                                     const std::string& defaultSuffix) {
  QFileDialog dialog(parent_, QString::fromStdString(title));
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);  // ask before replacing
  dialog.setNameFilter(QString::fromStdString(filter));
  dialog.setDefaultSuffix(QString::fromStdString(defaultSuffix));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace bc
