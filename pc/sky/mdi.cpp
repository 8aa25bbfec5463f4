#include "pc/sky/mdi.h"

#include "pc/sky/guithread.h"
#include "pc/sky/qtext.h"
#include "src/base/settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QPixmap>

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace {

DMDIClient* theClient = nullptr;

// Every box of controls that exists, so that a command of one of their
// controls can reach it from a menu or another window. GUI thread only.
std::vector<IControlBox*>& ControlBoxes() {
  static std::vector<IControlBox*> all;
  return all;
}

// A frame without an icon of its own shows none (an empty icon would show
// the toolkit's logo).
QIcon NoIcon() {
  constexpr int kIconSize = 16;
  QPixmap blank(kIconSize, kIconSize);
  blank.fill(Qt::transparent);
  return QIcon(blank);
}

bool InRange(int32_t id, int32_t first, int32_t last) { return id >= first && id <= last; }

// Ids the document window answers itself.
bool WindowCommand(int32_t id) {
  return InRange(id, cmd::kAppFirst, cmd::kAppLast) || id == cmd::kAbout ||
         InRange(id, cmd::kWindowFirst, cmd::kWindowLast) || InRange(id, cmd::kContextFirst, cmd::kContextLast) ||
         InRange(id, cmd::kLibraryFirst, cmd::kLibraryLast);
}

bool ControlCommand(int32_t id) { return InRange(id, cmd::kControlFirst, cmd::kControlLast); }

// PC set-1 scan codes (the low byte; extended keys share it with their twin).
namespace set1 {
constexpr int kEsc = 0x01, kDigit1 = 0x02, kMinus = 0x0C, kEqual = 0x0D, kBackspace = 0x0E, kTab = 0x0F;
constexpr int kBracketLeft = 0x1A, kBracketRight = 0x1B, kEnter = 0x1C, kCtrl = 0x1D;
constexpr int kSemicolon = 0x27, kApostrophe = 0x28, kGrave = 0x29, kLeftShift = 0x2A, kBackslash = 0x2B;
constexpr int kComma = 0x33, kPeriod = 0x34, kSlash = 0x35, kRightShift = 0x36, kAlt = 0x38, kSpace = 0x39;
constexpr int kCapsLock = 0x3A, kF1 = 0x3B, kLastPlain = 0x58;
constexpr int kHome = 0x47, kUp = 0x48, kPageUp = 0x49, kLeft = 0x4B, kRight = 0x4D, kEnd = 0x4F, kDown = 0x50;
constexpr int kPageDown = 0x51, kInsert = 0x52, kDelete = 0x53;
} // namespace set1

// X keycodes are Linux input codes plus 8; the input codes of the plain keys
// are their set-1 codes.
constexpr int kXKeycodeOffset = 8;
int FromInputCode(int code) {
  if (code >= set1::kEsc && code <= set1::kLastPlain) return code;
  static const std::unordered_map<int, int> extended{
      {96, set1::kEnter},  {97, set1::kCtrl},    {98, set1::kSlash},    {100, set1::kAlt},
      {102, set1::kHome},  {103, set1::kUp},     {104, set1::kPageUp},  {105, set1::kLeft},
      {106, set1::kRight}, {107, set1::kEnd},    {108, set1::kDown},    {109, set1::kPageDown},
      {110, set1::kInsert}, {111, set1::kDelete}};
  auto it = extended.find(code);
  return it == extended.end() ? 0 : it->second;
}

int FromQtKey(int key) {
  static const std::unordered_map<int, int> table = [] {
    std::unordered_map<int, int> t;
    const char* rows[] = {"1234567890", "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const int starts[] = {set1::kDigit1, 0x10, 0x1E, 0x2C};
    for (int r = 0; r < 4; ++r)
      for (int i = 0; rows[r][i]; ++i) t[int(rows[r][i])] = starts[r] + i; // Qt's keys of digits and letters are ASCII
    const int shiftedDigits[] = {Qt::Key_Exclam, Qt::Key_At, Qt::Key_NumberSign, Qt::Key_Dollar, Qt::Key_Percent,
                                 Qt::Key_AsciiCircum, Qt::Key_Ampersand, Qt::Key_Asterisk, Qt::Key_ParenLeft,
                                 Qt::Key_ParenRight};
    for (int i = 0; i < 10; ++i) t[shiftedDigits[i]] = set1::kDigit1 + i;
    const std::pair<int, int> rest[] = {
        {Qt::Key_Escape, set1::kEsc}, {Qt::Key_Minus, set1::kMinus}, {Qt::Key_Underscore, set1::kMinus},
        {Qt::Key_Equal, set1::kEqual}, {Qt::Key_Plus, set1::kEqual}, {Qt::Key_Backspace, set1::kBackspace},
        {Qt::Key_Tab, set1::kTab}, {Qt::Key_BracketLeft, set1::kBracketLeft}, {Qt::Key_BraceLeft, set1::kBracketLeft},
        {Qt::Key_BracketRight, set1::kBracketRight}, {Qt::Key_BraceRight, set1::kBracketRight},
        {Qt::Key_Return, set1::kEnter}, {Qt::Key_Enter, set1::kEnter}, {Qt::Key_Control, set1::kCtrl},
        {Qt::Key_Semicolon, set1::kSemicolon}, {Qt::Key_Colon, set1::kSemicolon},
        {Qt::Key_Apostrophe, set1::kApostrophe}, {Qt::Key_QuoteDbl, set1::kApostrophe},
        {Qt::Key_QuoteLeft, set1::kGrave}, {Qt::Key_AsciiTilde, set1::kGrave}, {Qt::Key_Shift, set1::kLeftShift},
        {Qt::Key_Backslash, set1::kBackslash}, {Qt::Key_Bar, set1::kBackslash}, {Qt::Key_Comma, set1::kComma},
        {Qt::Key_Less, set1::kComma}, {Qt::Key_Period, set1::kPeriod}, {Qt::Key_Greater, set1::kPeriod},
        {Qt::Key_Slash, set1::kSlash}, {Qt::Key_Question, set1::kSlash}, {Qt::Key_Alt, set1::kAlt},
        {Qt::Key_Space, set1::kSpace}, {Qt::Key_CapsLock, set1::kCapsLock}, {Qt::Key_Home, set1::kHome},
        {Qt::Key_Up, set1::kUp}, {Qt::Key_PageUp, set1::kPageUp}, {Qt::Key_Left, set1::kLeft},
        {Qt::Key_Right, set1::kRight}, {Qt::Key_End, set1::kEnd}, {Qt::Key_Down, set1::kDown},
        {Qt::Key_PageDown, set1::kPageDown}, {Qt::Key_Insert, set1::kInsert}, {Qt::Key_Delete, set1::kDelete}};
    for (auto [k, c] : rest) t[k] = c;
    for (int i = 0; i < 10; ++i) t[Qt::Key_F1 + i] = set1::kF1 + i;
    return t;
  }();
  auto it = table.find(key);
  return it == table.end() ? 0 : it->second;
}

// Watches the whole program's events for the client, apart from the
// client's own filter of its frames.
class TKeyFilter : public QObject {
public:
  explicit TKeyFilter(DMDIClient* client) : QObject(client), client_(client) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    client_->FilterKey(watched, e);
    return false;
  }

private:
  DMDIClient* client_;
};

} // namespace

int ScanCodeOf(const QKeyEvent* e) {
  const QString platform = QGuiApplication::platformName();
  const bool evdev = platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
  if (evdev && e->nativeScanCode() > quint32(kXKeycodeOffset))
    if (int code = FromInputCode(int(e->nativeScanCode()) - kXKeycodeOffset)) return code;
  return FromQtKey(e->key());
}

// ---------------------------------------------------------------- boxes of controls

void AddControlBox(IControlBox* box) { ControlBoxes().push_back(box); }
void RemoveControlBox(IControlBox* box) { std::erase(ControlBoxes(), box); }

IControlBox* ControlBoxOf(int32_t id) {
  for (IControlBox* box : ControlBoxes())
    if (box->HasControl(id)) return box;
  return nullptr;
}

// ---------------------------------------------------------------- MDI client

DMDIClient* GetMDIClient() { return theClient; }

DMDIClient::DMDIClient() {
  QV_ASSERT_GUI_THREAD();
  theClient = this;
  setViewMode(QMdiArea::SubWindowView);
  setBackground(palette().brush(QPalette::Dark));
  TCommandTarget target;
  target.execute = [](int32_t id) {
    if (theClient) theClient->Command(id);
  };
  target.query = [](int32_t id, int& enabled, int& hasCheck, int& checked) {
    if (theClient) theClient->Query(id, enabled, hasCheck, checked);
  };
  SetMainCommandTarget(std::move(target));
  SetAppCommandHandler([](int32_t id) {
    if (theClient) theClient->AppCommand(id);
  });
  SetContextMenuHandler(&sky::ShowContextMenu);
  keyFilter_ = new TKeyFilter(this);
  qApp->installEventFilter(keyFilter_);
}

DMDIClient::~DMDIClient() {
  qApp->removeEventFilter(keyFilter_);
  if (theClient == this) {
    theClient = nullptr;
    SetMainCommandTarget({});
    SetAppCommandHandler({});
    SetContextMenuHandler({});
  }
}

DWnd* DMDIClient::ActiveCanvas() const {
  QMdiSubWindow* s = activeSubWindow();
  if (!s) {
    // Without an active frame the focus may still sit in a canvas.
    return dynamic_cast<DWnd*>(QApplication::focusWidget());
  }
  return dynamic_cast<DWnd*>(s->widget());
}

void DMDIClient::Command(int32_t id) {
  QV_ASSERT_GUI_THREAD();
  if (DWnd* c = ActiveCanvas(); c && WindowCommand(id)) {
    // The application's own ids pass through the window to the application;
    // the window takes the rest only where it answers for them, as in Query.
    if (InRange(id, cmd::kAppFirst, cmd::kAppLast) || id == cmd::kAbout || c->QueryCommand(id).handled) {
      c->CommandMessage(id);
      return;
    }
  }
  if (ControlCommand(id))
    if (IControlBox* box = ControlBoxOf(id)) {
      try {
        if (!box->RunControl(id)) Dropped(id);
      } catch (...) {
        RecordCurrentException();
        ShowLastError();
      }
      return;
    }
  AppCommand(id);
}

void DMDIClient::Dropped(int32_t id) {
  ++dropped_;
  std::fprintf(stderr, "command %d reached no handler\n", int(id));
}

void DMDIClient::Query(int32_t id, int& enabled, int& hasCheck, int& checked) {
  TCommandState s;
  if (DWnd* c = ActiveCanvas()) s = c->QueryCommand(id);
  if (!s.handled && ControlCommand(id))
    if (IControlBox* box = ControlBoxOf(id)) {
      // A tool-box button is there to be clicked while it is enabled.
      s.handled = 1;
      s.enabled = box->IsControlEnabled(id) ? 1 : 0;
    }
  if (!s.handled) s = AppQuery(id);
  enabled = s.enabled;
  hasCheck = s.hasCheck;
  checked = s.checked;
}

void DMDIClient::AppCommand(int32_t id) {
  QV_ASSERT_GUI_THREAD();
  IShellApp* app = GetShellApp();
  TTView* view = app ? app->GetAppView() : nullptr;
  try {
    if (InRange(id, cmd::kAppFirst, cmd::kAppLast) || ControlCommand(id)) {
      int enabled = 0;
      if (!view || !view->IsEnabled(id, enabled)) {
        Dropped(id);
      } else {
        TUpdateBracket bracket;
        view->Execute(id);
      }
    } else if (id == cmd::kAbout) {
      if (app) {
        TUpdateBracket bracket;
        app->About();
      }
    } else if (id == cmd::kExit) {
      window()->close();
    } else if (id == cmd::kTile) {
      tileSubWindows();
    } else if (id == cmd::kCascade) {
      cascadeSubWindows();
    } else if (id == cmd::kArrangeIcons) {
      ArrangeIcons();
    } else if (id == cmd::kCloseAll) {
      closeAllSubWindows();
    } else {
      Dropped(id);
    }
  } catch (...) {
    // A command that failed says why; the program goes on.
    RecordCurrentException();
    ShowLastError();
  }
}

TCommandState DMDIClient::AppQuery(int32_t id) {
  TCommandState s;
  IShellApp* app = GetShellApp();
  TTView* view = app ? app->GetAppView() : nullptr;
  if (InRange(id, cmd::kAppFirst, cmd::kAppLast) || InRange(id, cmd::kControlFirst, cmd::kControlLast)) {
    if (view) s.handled = view->IsEnabled(id, s.enabled);
  } else if (id == cmd::kAbout || id == cmd::kExit) {
    s.handled = s.enabled = 1;
  } else if (id == cmd::kTile || id == cmd::kCascade || id == cmd::kCloseAll) {
    s.handled = 1;
    s.enabled = !subWindowList().isEmpty();
  } else if (id == cmd::kArrangeIcons) {
    s.handled = 1;
    for (QMdiSubWindow* w : subWindowList())
      if (w->isMinimized()) s.enabled = 1;
  }
  return s;
}

void DMDIClient::ArrangeIcons() {
  // Minimised frames in rows along the bottom edge, left to right.
  int x = 0, row = 1;
  for (QMdiSubWindow* w : subWindowList()) {
    if (!w->isMinimized()) continue;
    const QSize s = w->size();
    if (x > 0 && x + s.width() > viewport()->width()) {
      x = 0;
      ++row;
    }
    w->move(x, viewport()->height() - row * s.height());
    x += s.width();
  }
}

bool DMDIClient::ReportKey(QKeyEvent* e, bool notesAllowed) {
  if (e->isAutoRepeat()) return false;
  const bool down = e->type() == QEvent::KeyPress;
  const int keyClass = e->key() == Qt::Key_Shift ? keyclass::kShift
                       : e->key() == Qt::Key_Control ? keyclass::kCtrl
                                                     : keyclass::kOther;
  const int code = ScanCodeOf(e);
  if (code == 0) return false;
  if (down) {
    if (keyClass == keyclass::kOther && !notesAllowed) return false;
    if (keyClass == keyclass::kOther) FollowModifiers(e->modifiers());
    if (!held_.insert(code).second) return false; // already down
  } else if (!held_.erase(code)) {
    return false; // its press was never reported
  }
  if (IShellApp* app = GetShellApp()) app->KeyChange(keyClass, code, down ? 1 : 0);
  return true;
}

void DMDIClient::FollowModifiers(Qt::KeyboardModifiers now) {
  struct Modifier {
    Qt::KeyboardModifier flag;
    int keyClass;
    int codes[2];
  };
  static const Modifier modifiers[] = {{Qt::ShiftModifier, keyclass::kShift, {set1::kLeftShift, set1::kRightShift}},
                                       {Qt::ControlModifier, keyclass::kCtrl, {set1::kCtrl, set1::kCtrl}}};
  IShellApp* app = GetShellApp();
  for (const Modifier& m : modifiers) {
    const bool down = now.testFlag(m.flag);
    bool held = false;
    for (int code : m.codes) {
      if (!held_.count(code)) continue;
      held = true;
      if (down) continue;
      held_.erase(code);
      if (app) app->KeyChange(m.keyClass, code, 0);
    }
    if (down && !held) {
      held_.insert(m.codes[0]);
      if (app) app->KeyChange(m.keyClass, m.codes[0], 1);
    }
  }
}

void DMDIClient::FilterKey(QObject* watched, QEvent* e) {
  switch (e->type()) {
  case QEvent::KeyPress:
  case QEvent::KeyRelease: {
    // A key event travels from the focus widget up to its parents; it is
    // reported once, where it starts.
    QWidget* target = QApplication::activePopupWidget(); // an open menu takes the keys
    if (!target) target = QWidget::keyboardGrabber();
    if (!target) target = QApplication::focusWidget();
    if (!target) target = QApplication::activeWindow();
    if (watched != target) break;
    const bool notes = target == this || target == viewport() || dynamic_cast<DWnd*>(target) ||
                       qobject_cast<QMdiSubWindow*>(target);
    ReportKey(static_cast<QKeyEvent*>(e), notes);
    break;
  }
  case QEvent::ApplicationDeactivate:
    // Releases never arrive while another program has the keyboard.
    if (watched == qApp && !held_.empty()) {
      std::set<int> held;
      held.swap(held_);
      if (IShellApp* app = GetShellApp())
        for (int code : held)
          app->KeyChange(code == set1::kLeftShift || code == set1::kRightShift ? keyclass::kShift
                         : code == set1::kCtrl                                  ? keyclass::kCtrl
                                                                                : keyclass::kOther,
                         code, 0);
    }
    break;
  default: break;
  }
}

// ---------------------------------------------------------------- main frame

DMainFrame::DMainFrame(DMDIClient* client) : client_(client) {
  setCentralWidget(client);
  auto* m = new DMenu(menuBar(), sky::kMainMenuId);
  SetMainMenu(m);
}

DMainFrame::~DMainFrame() {
  SavePlacement();
  if (IMenu* m = GetMainMenu()) {
    auto* d = dynamic_cast<DMenu*>(m);
    if (d && d->Menu() == menuBar()) {
      SetMainMenu(nullptr);
      delete d;
    }
  }
}

void DMainFrame::SavePlacement() {
  // Position and size as move() and resize() take them back.
  WriteSettingInt(setting::MainX, uint32_t(pos().x()));
  WriteSettingInt(setting::MainY, uint32_t(pos().y()));
  WriteSettingInt(setting::MainW, uint32_t(width()));
  WriteSettingInt(setting::MainH, uint32_t(height()));
}

void DMainFrame::closeEvent(QCloseEvent* e) {
  IShellApp* app = GetShellApp();
  if (app && !app->MayClose()) {
    e->ignore();
    return;
  }
  e->accept();
  if (app) app->Quit();
}

// ---------------------------------------------------------------- document frames

QWidget* NewDocumentFrame() { return new DDecWnd; }

DDecWnd::DDecWnd() {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowIcon(NoIcon());
  hide();
}

DDecWnd::~DDecWnd() {
  if (!notCreated_ || ownerGone_) return;
  // The user closed the frame: the canvas goes, and with it the window view.
  DWnd* canvas = GetCanvas();
  TWnd* owner = canvas ? canvas->Root() : nullptr;
  delete canvas;
  if (owner) {
    TUpdateBracket bracket;
    delete owner;
  }
}

DWnd* DDecWnd::GetCanvas() const { return findChild<DWnd*>(); }

void DDecWnd::Create() {
  QV_ASSERT_GUI_THREAD();
  if (!notCreated_) return;
  DWnd* canvas = GetCanvas();
  if (canvas && widget() != canvas) setWidget(canvas);
  if (!mdiArea() && GetMDIClient()) GetMDIClient()->addSubWindow(this);
  if (icon_ >= 0) SetIcon(icon_);
  move(storedPos_.X(), storedPos_.Y());
  show();
  notCreated_ = 0;
  SetClientSize(storedSize_);
  KeepInView();
}

void DDecWnd::KeepInView() {
  // A new window opens where it can be seen: its title bar inside the MDI
  // area, as much of it as fits, whatever place was stored for it.
  QMdiArea* area = mdiArea();
  QWidget* port = area ? area->viewport() : nullptr;
  if (!port || port->width() <= 0 || port->height() <= 0 || isMinimized() || isMaximized()) return;
  const int x = std::clamp(pos().x(), 0, std::max(0, port->width() - width()));
  const int y = std::clamp(pos().y(), 0, std::max(0, port->height() - height()));
  if (x != pos().x() || y != pos().y()) move(x, y);
}

TPnt DDecWnd::GetFramePos() const { return notCreated_ ? storedPos_ : TPnt(pos().x(), pos().y()); }

void DDecWnd::SetFramePos(const TPnt& p) {
  if (notCreated_) storedPos_ = p;
  else move(p.X(), p.Y());
}

TPnt DDecWnd::GetClientSize() const {
  DWnd* canvas = GetCanvas();
  if (notCreated_ || !canvas) return storedSize_;
  return TPnt(canvas->width(), canvas->height());
}

void DDecWnd::SetClientSize(const TPnt& s) {
  DWnd* canvas = GetCanvas();
  if (notCreated_ || !canvas) {
    storedSize_ = s;
    return;
  }
  if (layout()) layout()->activate();
  const QSize extra = size() - canvas->size();
  resize(s.X() + extra.width(), s.Y() + extra.height());
  if (layout()) layout()->activate();
}

void DDecWnd::SetIcon(int32_t id) {
  icon_ = id;
  if (id < 0) {
    setWindowIcon(NoIcon());
    return;
  }
  EPtr<IBmp> bmp(CreateBmp());
  try {
    bmp->LoadResource(id);
  } catch (const TError&) {
    return; // a frame without its icon still works
  }
  if (const QImage* image = sky::QtImage(bmp.Get())) setWindowIcon(QIcon(QPixmap::fromImage(*image)));
}

void DDecWnd::SetTitle(const TStr& title) { setWindowTitle(sky::ToQString(title)); }

void DDecWnd::BringToTop() {
  if (notCreated_) return;
  showNormal();
  raise();
  if (mdiArea()) mdiArea()->setActiveSubWindow(this);
}

void DDecWnd::SetTopmost(int topmost) {
  const bool shown = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, topmost != 0);
  if (shown) show();
}

void DDecWnd::closeEvent(QCloseEvent* e) {
  const TPnt pos = GetFramePos(), size = GetClientSize();
  QMdiSubWindow::closeEvent(e);
  if (!e->isAccepted()) return;
  storedPos_ = pos;
  storedSize_ = size;
  notCreated_ = 1;
}
