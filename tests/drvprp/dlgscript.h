// Running a modal dialog as a person would, for the dialog tests.
#pragma once

#include "pc/sky/dlg.h"
#include "pc/sky/qthost.h"
#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <QAbstractButton>
#include <QDialog>
#include <QImage>

#include <functional>
#include <string>

namespace dlgscript {

using skytest::ModalScript;

template <class W> W* Ctl(QWidget& d, int32_t id) { return qobject_cast<W*>(FindDlgControl(&d, id)); }
inline void Click(QWidget& d, int32_t id) { Ctl<QAbstractButton>(d, id)->click(); }
// The dialog as the screen shows it, written for review; the image.
inline QImage Shot(QWidget& d, const std::string& name) {
  QImage image = d.grab().toImage();
  skytest::SaveShot(image, name);
  return image;
}

} // namespace dlgscript
