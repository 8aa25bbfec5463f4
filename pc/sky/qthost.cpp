#include "pc/sky/qthost.h"

#include "pc/sky/guithread.h"
#include "pc/sky/qtext.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace sky {

namespace {
TModalRunner& Runner() {
  static TModalRunner runner;
  return runner;
}

constexpr int kAnswerOk = 0, kAnswerCancel = 1, kAnswerYes = 2, kAnswerNo = 3;

bool HaveWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

QWidget* OwnerOf(platform::WindowHandle handle) {
  if (handle) return static_cast<QWidget*>(handle);
  return QApplication::activeWindow();
}

int ShowBox(const std::string& text, const std::string& caption, int kind) {
  QMessageBox box(OwnerOf(platform::GetClientWindowHandle()));
  box.setWindowTitle(ToQString(caption));
  box.setText(ToQString(text));
  box.setTextFormat(Qt::PlainText);
  QMessageBox::StandardButton escape = QMessageBox::Ok;
  switch (kind) {
  case 1:
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    escape = QMessageBox::Cancel;
    break;
  case 2:
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    escape = QMessageBox::No;
    break;
  case 3:
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    escape = QMessageBox::Cancel;
    break;
  default:
    box.setStandardButtons(QMessageBox::Ok);
    break;
  }
  box.setDefaultButton(kind == 2 || kind == 3 ? QMessageBox::Yes : QMessageBox::Ok);
  box.setEscapeButton(escape);
  RunModal(box);
  switch (box.standardButton(box.clickedButton())) {
  case QMessageBox::Ok: return kAnswerOk;
  case QMessageBox::Cancel: return kAnswerCancel;
  case QMessageBox::Yes: return kAnswerYes;
  case QMessageBox::No: return kAnswerNo;
  default: return platform::EscapeAnswer(kind); // closed without a button
  }
}
} // namespace

TModalRunner SetModalRunner(TModalRunner runner) {
  TModalRunner old = std::move(Runner());
  Runner() = std::move(runner);
  return old;
}

int RunModal(QDialog& dialog) {
  QV_ASSERT_GUI_THREAD();
  // A start picture stays on top of every window: a question asked while it
  // stands would wait unseen behind it, and the picture's closing timer waits
  // for the answer. It goes before anything asks the user.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != &dialog && w->isVisible() && w->windowType() == Qt::SplashScreen) w->hide();
  if (Runner()) return Runner()(dialog);
  return dialog.exec();
}

QString QtFileFilter(const platform::FileDialogFilter& filter) {
  QString description = ToQString(filter.description);
  description.remove(QRegularExpression(QStringLiteral("\\([^)]*\\)")));
  description = description.trimmed();
  QStringList masks;
  const QStringList parts = ToQString(filter.pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts);
  for (QString mask : parts) {
    mask = mask.trimmed();
    if (mask == QLatin1String("*.*")) mask = QStringLiteral("*");
    if (!mask.isEmpty() && !masks.contains(mask)) masks << mask;
  }
  QStringList upper;
  for (const QString& mask : masks)
    if (mask.toUpper() != mask && !masks.contains(mask.toUpper())) upper << mask.toUpper();
  masks << upper;
  if (masks.isEmpty()) masks << QStringLiteral("*");
  return description + QStringLiteral(" (") + masks.join(QLatin1Char(' ')) + QLatin1Char(')');
}

int QtGuiHost::MessageBox(const std::string& text, const std::string& caption, int kind) {
  if (!HaveWidgets()) return platform::HeadlessHost().MessageBox(text, caption, kind);
  if (!IsGuiThread()) {
    PostToGui([text, caption, kind] { ShowBox(text, caption, kind); });
    return platform::EscapeAnswer(kind);
  }
  return ShowBox(text, caption, kind);
}

void QtGuiHost::Beep() {
  if (HaveWidgets()) QApplication::beep();
}

bool QtGuiHost::FileDialog(const platform::FileDialogRequest& request, std::string& chosen) {
  if (!HaveWidgets() || !IsGuiThread()) return platform::HeadlessHost().FileDialog(request, chosen);
  QFileDialog dialog(OwnerOf(request.owner), ToQString(request.title), ToQString(request.initialFolder));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  QStringList filters;
  for (const platform::FileDialogFilter& f : request.filters) filters << QtFileFilter(f);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(ToQString(request.defaultExtension));
  if (!request.fileName.empty()) dialog.selectFile(ToQString(request.fileName));
  if (RunModal(dialog) != QDialog::Accepted) return false;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return false;
  chosen = FromQString(files.first());
  return true;
}

void InstallQtGuiHost() {
  static QtGuiHost host;
  platform::SetHost(&host);
}

} // namespace sky
