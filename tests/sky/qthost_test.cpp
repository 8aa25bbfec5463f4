// The Qt host of message boxes and file dialogs, driven through its modal
// runner as a person would press the buttons.
#include "pc/sky/qthost.h"

#include "src/base/file.h"
#include "src/base/system.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <fstream>
#include <thread>

namespace {

// Installs the Qt host and a runner for one test.
class HostTest : public ::testing::Test {
protected:
  void SetUp() override {
    previousHost_ = platform::SetHost(&host_);
    previousRunner_ = sky::SetModalRunner([this](QDialog& d) {
      ++runs_;
      return runner_ ? runner_(d) : (ADD_FAILURE() << "unexpected dialog", QDialog::Rejected);
    });
  }
  void TearDown() override {
    sky::SetModalRunner(previousRunner_);
    platform::SetHost(previousHost_ == &host_ ? nullptr : previousHost_);
  }
  sky::QtGuiHost host_;
  platform::GuiHost* previousHost_ = nullptr;
  sky::TModalRunner previousRunner_;
  sky::TModalRunner runner_;
  int runs_ = 0;
};

void PressEscape(QWidget& w) {
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&w, &esc);
}

TEST_F(HostTest, MessageBoxKindsButtonsAndAnswers) {
  using B = QMessageBox::StandardButton;
  constexpr B kEsc = QMessageBox::NoButton; // press Escape instead of a button
  struct Case {
    int kind;
    std::vector<B> buttons;
    B escape;
    B press;
    int answer;
  };
  const std::vector<B> ok{QMessageBox::Ok}, okCancel{QMessageBox::Ok, QMessageBox::Cancel},
      yesNo{QMessageBox::Yes, QMessageBox::No}, yesNoCancel{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
  const Case cases[] = {
      {0, ok, QMessageBox::Ok, QMessageBox::Ok, 0},
      {0, ok, QMessageBox::Ok, kEsc, 0},
      {1, okCancel, QMessageBox::Cancel, QMessageBox::Ok, 0},
      {1, okCancel, QMessageBox::Cancel, QMessageBox::Cancel, 1},
      {1, okCancel, QMessageBox::Cancel, kEsc, 1},
      {2, yesNo, QMessageBox::No, QMessageBox::Yes, 2},
      {2, yesNo, QMessageBox::No, QMessageBox::No, 3},
      {2, yesNo, QMessageBox::No, kEsc, 3},
      {3, yesNoCancel, QMessageBox::Cancel, QMessageBox::Yes, 2},
      {3, yesNoCancel, QMessageBox::Cancel, QMessageBox::No, 3},
      {3, yesNoCancel, QMessageBox::Cancel, QMessageBox::Cancel, 1},
      {3, yesNoCancel, QMessageBox::Cancel, kEsc, 1},
      {9, ok, QMessageBox::Ok, kEsc, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " press " << int(c.press));
    runner_ = [&](QDialog& d) {
      auto* box = qobject_cast<QMessageBox*>(&d);
      EXPECT_NE(box, nullptr);
      if (!box) return int(QDialog::Rejected);
      EXPECT_EQ(box->windowTitle(), QStringLiteral("Quorvex test"));
      EXPECT_EQ(box->text(), QStringLiteral("Keep the changes?"));
      std::vector<B> shown;
      for (QAbstractButton* b : box->buttons()) shown.push_back(box->standardButton(b));
      std::sort(shown.begin(), shown.end());
      std::vector<B> want = c.buttons;
      std::sort(want.begin(), want.end());
      EXPECT_EQ(shown, want);
      EXPECT_EQ(box->escapeButton(), box->button(c.escape));
      box->show();
      if (c.press == kEsc) PressEscape(*box);
      else box->button(c.press)->click();
      return box->result();
    };
    EXPECT_EQ(SystemMessageBox("Keep the changes?", "Quorvex test", c.kind), c.answer);
  }
  EXPECT_EQ(runs_, int(std::size(cases)));
}

TEST_F(HostTest, TheBoxRunsModallyUntilAPersonAnswers) {
  runner_ = [](QDialog& d) {
    QTimer::singleShot(0, &d, [&d] { PressEscape(d); });
    return d.exec();
  };
  EXPECT_EQ(SystemMessageBox("Really?", "Quorvex", 2), 3);
}

TEST_F(HostTest, AStartPictureGoesBeforeAQuestionShows) {
  // A picture above every window, as the program shows while it starts.
  QDialog picture;
  picture.setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  picture.show();
  ASSERT_TRUE(picture.isVisible());
  bool pictureShownMeanwhile = true;
  runner_ = [&](QDialog&) {
    pictureShownMeanwhile = picture.isVisible();
    return int(QDialog::Rejected);
  };
  SystemMessageBox("The library folder is missing.", "Quorvex", 0);
  EXPECT_EQ(runs_, 1);
  EXPECT_FALSE(pictureShownMeanwhile) << "the question would wait unseen behind the picture";
}

TEST_F(HostTest, ABoxFromAnotherThreadAnswersAtOnceAndShowsOnTheGuiThread) {
  bool onGui = false;
  QString text;
  runner_ = [&](QDialog& d) {
    onGui = QThread::currentThread() == qApp->thread();
    text = static_cast<QMessageBox&>(d).text();
    return int(QDialog::Rejected);
  };
  int answer = -1;
  std::thread([&] { answer = SystemMessageBox("Driver lost", "Quorvex", 3); }).join();
  EXPECT_EQ(answer, 1) << "the Esc answer, without waiting";
  EXPECT_EQ(runs_, 0);
  QCoreApplication::sendPostedEvents();
  QApplication::processEvents();
  EXPECT_EQ(runs_, 1);
  EXPECT_TRUE(onGui);
  EXPECT_EQ(text, QStringLiteral("Driver lost"));
}

TEST(FileFilters, ConvertedToQtsForm) {
  struct Case {
    const char* description;
    const char* pattern;
    const char* qt;
  };
  const Case cases[] = {
      {"Audiofiles (*.wav)(*.aif)", "*.wav;*.aif;*.aiff", "Audiofiles (*.wav *.aif *.aiff *.WAV *.AIF *.AIFF)"},
      {"All Files (*.*)", "*.*", "All Files (*)"},
      {"Program Files", "*", "Program Files (*)"},
      {"Ensembles (*.ens)", "*.ens", "Ensembles (*.ens *.ENS)"},
      {"Odd", "", "Odd (*)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(sky::QtFileFilter({c.description, c.pattern}).toStdString(), c.qt) << c.description;
}

TEST_F(HostTest, FileDialogsOpenSaveAndCancel) {
  const std::string dir = testkit::TempDir("dialogs");
  for (const char* f : {"/a.wav", "/B.WAV", "/c.txt"}) std::ofstream(dir + f) << "x";

  // Open through the base library's file name, as the program does.
  QStringList filters;
  runner_ = [&](QDialog& d) {
    auto* fd = qobject_cast<QFileDialog*>(&d);
    EXPECT_NE(fd, nullptr);
    if (!fd) return int(QDialog::Rejected);
    EXPECT_TRUE(fd->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(fd->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(fd->windowTitle(), QStringLiteral("Load Sound"));
    filters = fd->nameFilters();
    fd->selectFile(QString::fromStdString(dir + "/B.WAV"));
    d.accept();
    return fd->result();
  };
  EPtr<IFileName> name(CreateFileName());
  EPtr<IFileName> memory(CreateFileName());
  memory->SetFolder(TStr(dir.c_str()));
  ASSERT_EQ(name->OpenDialog("Load Sound", memory.Get(), 9), 1);
  EXPECT_EQ(name->GetPath().Std(), dir + "/B.WAV");
  ASSERT_FALSE(filters.isEmpty());
  EXPECT_EQ(filters.first(), QStringLiteral("Audiofiles (*.wav *.aif *.aiff *.WAV *.AIF *.AIFF)"));
  EXPECT_EQ(filters.last(), QStringLiteral("All Files (*)"));

  // Save: a typed name without a type gets the default one.
  runner_ = [&](QDialog& d) {
    auto& fd = static_cast<QFileDialog&>(d);
    EXPECT_EQ(fd.acceptMode(), QFileDialog::AcceptSave);
    fd.selectFile(QString::fromStdString(dir + "/song"));
    d.accept();
    return fd.result();
  };
  platform::FileDialogRequest save;
  save.save = true;
  save.title = "Save Ensemble";
  save.filters = {{"Ensembles (*.ens)", "*.ens"}};
  save.defaultExtension = "ens";
  std::string chosen;
  ASSERT_TRUE(host_.FileDialog(save, chosen));
  EXPECT_EQ(chosen, dir + "/song.ens");

  runner_ = [](QDialog& d) {
    d.reject();
    return d.result();
  };
  chosen.clear();
  EXPECT_FALSE(host_.FileDialog(save, chosen));
  EXPECT_TRUE(chosen.empty());
}

} // namespace
