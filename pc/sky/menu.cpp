#include "pc/sky/menu.h"

#include "pc/sky/guithread.h"
#include "pc/sky/qtext.h"
#include "pc/sky/wnd.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

#include <map>
#include <memory>

namespace {

std::map<int32_t, std::vector<TMenuEntry>>& Tables() {
  static std::map<int32_t, std::vector<TMenuEntry>> tables;
  return tables;
}

IMenu*& MainMenuSlot() {
  static IMenu* menu = nullptr;
  return menu;
}

TCommandTarget& MainTarget() {
  static TCommandTarget target;
  return target;
}

// The command id an action carries; 0 for pop-ups and separators.
int32_t IdOf(const QAction* a) { return a->isSeparator() || a->menu() ? 0 : a->data().toInt(); }

// Keeps a menu object's handlers from outliving it.
std::map<const DMenu*, std::shared_ptr<int>>& Liveness() {
  static std::map<const DMenu*, std::shared_ptr<int>> alive;
  return alive;
}
std::weak_ptr<int> AliveToken(const DMenu* m) {
  auto& slot = Liveness()[m];
  if (!slot) slot = std::make_shared<int>(0);
  return slot;
}

// A check mark, or nothing: an unchecked item shows no empty box, as a
// command without a state (Cut, Copy) must not look like a switch.
void ShowCheck(QAction* a, int checked) {
  a->setCheckable(checked != 0);
  a->setChecked(checked != 0);
}

// The command items of a menu and its pop-ups, in the order they show.
void CommandItems(QWidget* menu, std::vector<QAction*>& out) {
  for (QAction* a : menu->actions()) {
    if (QMenu* sub = a->menu()) CommandItems(sub, out);
    else if (IdOf(a)) out.push_back(a);
  }
}

} // namespace

QList<QKeySequence> LabelKeys(const QString& text) {
  const qsizetype tab = text.indexOf(QLatin1Char('\t'));
  if (tab < 0) return {};
  const QStringList parts = text.mid(tab + 1).trimmed().split(QLatin1Char('+'));
  if (parts.isEmpty() || parts.last().isEmpty()) return {};
  int modifiers = 0;
  for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
    const QString m = parts[i].trimmed();
    if (m == QLatin1String("Ctrl")) modifiers |= Qt::ControlModifier;
    else if (m == QLatin1String("Shift")) modifiers |= Qt::ShiftModifier;
    else if (m == QLatin1String("Alt")) modifiers |= Qt::AltModifier;
    else return {};
  }
  const QString name = parts.last().trimmed();
  static const std::map<QString, int> named{
      {QStringLiteral("Del"), Qt::Key_Delete},       {QStringLiteral("Ins"), Qt::Key_Insert},
      {QStringLiteral("Esc"), Qt::Key_Escape},       {QStringLiteral("Backspace"), Qt::Key_Backspace},
      {QStringLiteral("Tab"), Qt::Key_Tab},          {QStringLiteral("Space"), Qt::Key_Space},
      {QStringLiteral("Enter"), Qt::Key_Return}};
  QList<QKeySequence> keys;
  if (auto it = named.find(name); it != named.end()) {
    keys.append(QKeySequence(modifiers | it->second));
    // Either Enter key: the keypad's arrives as Key_Enter.
    if (it->second == Qt::Key_Return) keys.append(QKeySequence(modifiers | Qt::Key_Enter));
  } else if (name.size() == 5 && name.startsWith(QLatin1String("Num ")) && name[4].isDigit()) {
    keys.append(QKeySequence(modifiers | Qt::KeypadModifier | (Qt::Key_0 + name[4].digitValue())));
  } else if (name.size() == 1 && (name[0].isLetterOrNumber()) && name[0].unicode() < 0x80) {
    keys.append(QKeySequence(modifiers | name[0].toUpper().unicode()));
  } else if (name.size() >= 2 && name[0] == QLatin1Char('F')) {
    bool ok = false;
    const int n = name.mid(1).toInt(&ok);
    if (ok && n >= 1 && n <= 12) keys.append(QKeySequence(modifiers | (Qt::Key_F1 + n - 1)));
  }
  return keys;
}

TStr MenuLiteral(const TStr& name) {
  std::string out;
  for (char c : name.Std()) {
    out += c;
    if (c == '&') out += c;
  }
  return TStr(out);
}

void RegisterMenuTable(int32_t resourceId, std::vector<TMenuEntry> table) { Tables()[resourceId] = std::move(table); }

std::vector<int32_t> MenuTableIds() {
  std::vector<int32_t> ids;
  for (const auto& [id, table] : Tables()) ids.push_back(id);
  return ids;
}

void SetMainCommandTarget(TCommandTarget target) { MainTarget() = std::move(target); }

IMenu* GetMainMenu() { return MainMenuSlot(); }
void SetMainMenu(IMenu* menu) { MainMenuSlot() = menu; }

// ---------------------------------------------------------------- DMenu

DMenu::DMenu(int32_t resourceId) {
  QV_ASSERT_GUI_THREAD();
  auto it = Tables().find(resourceId);
  if (resourceId == menu::kEmptyPopup || it == Tables().end()) {
    auto* m = new QMenu;
    menu_ = m;
    popup_ = m;
    Watch(m);
    return;
  }
  auto* top = new QMenu;
  menu_ = top;
  Watch(top);
  Build(top, it->second);
  for (QAction* a : top->actions())
    if (a->menu()) {
      popup_ = a->menu();
      break;
    }
  if (!popup_) popup_ = top;
}

DMenu::DMenu(QWidget* existing, int32_t resourceId) : menu_(existing), owned_(false) {
  QV_ASSERT_GUI_THREAD();
  bool built = false;
  if (auto it = Tables().find(resourceId); existing && resourceId != 0 && it != Tables().end()) {
    Build(existing, it->second); // watches what it makes
    built = true;
  }
  if (auto* m = qobject_cast<QMenu*>(existing)) {
    popup_ = m;
    Watch(m);
  }
  if (existing)
    for (QAction* a : existing->actions())
      if (QMenu* sub = a->menu()) {
        if (!popup_) popup_ = sub;
        if (!built) Watch(sub);
      }
  // A menu bar's keys act in its window; a context menu only shows the
  // keys of the main menu's items.
  if (qobject_cast<QMenuBar*>(existing)) {
    bindsKeys_ = true;
    BindKeys();
  }
}

DMenu::~DMenu() {
  Liveness().erase(this);
  for (auto& [name, shortcut] : keys_) delete shortcut.data();
  if (owned_ && menu_) {
    // Pop-ups of other menu objects shown here stay theirs: take them out
    // first, so that destroying this menu never destroys them.
    std::vector<QWidget*> holders{menu_.data()};
    for (size_t i = 0; i < holders.size(); ++i)
      for (QAction* a : holders[i]->actions())
        if (QMenu* sub = a->menu()) {
          if (sub->parent() == menu_.data() || sub->parent() == holders[i]) holders.push_back(sub);
          else holders[i]->removeAction(a);
        }
    delete menu_.data();
  }
}

QMenu* DMenu::Popup() const { return popup_.data(); }

void DMenu::SetTarget(TCommandTarget target) { target_ = std::move(target); }

QAction* DMenu::MakeAction(QWidget* owner, const TStr& text, int32_t id) {
  auto* a = new QAction(sky::ToQString(text), owner);
  a->setData(id);
  std::weak_ptr<int> alive = AliveToken(this);
  QObject::connect(a, &QAction::triggered, a, [this, alive, id] {
    if (!alive.expired()) Run(id);
  });
  return a;
}

void DMenu::Build(QWidget* into, const std::vector<TMenuEntry>& items) {
  for (const TMenuEntry& e : items) {
    if (!e.items.empty()) {
      auto* sub = new QMenu(sky::ToQString(TStr(e.text)), into);
      Watch(sub);
      Build(sub, e.items);
      into->addAction(sub->menuAction());
    } else if (e.id == 0) {
      auto* s = new QAction(into);
      s->setSeparator(true);
      into->addAction(s);
    } else {
      into->addAction(MakeAction(into, TStr(e.text), e.id));
    }
  }
}

void DMenu::Watch(QMenu* m) {
  std::weak_ptr<int> alive = AliveToken(this);
  QObject::connect(m, &QMenu::aboutToShow, m, [this, alive, m] {
    if (!alive.expired()) UpdateItems(m);
  });
  // Hidden items count as enabled: a state asked while showing may be stale
  // later, and whatever runs an item (a click, a key) asks again first.
  QObject::connect(m, &QMenu::aboutToHide, m, [m] {
    for (QAction* a : m->actions())
      if (IdOf(a)) a->setEnabled(true);
  });
}

void DMenu::UpdateItems(QWidget* m) {
  const TCommandTarget& t = target_.query ? target_ : MainTarget();
  for (QAction* a : m->actions()) {
    const int32_t id = IdOf(a);
    if (!id) continue;
    int enabled = 0, hasCheck = 0, checked = 0;
    if (t.query) t.query(id, enabled, hasCheck, checked);
    a->setEnabled(enabled != 0);
    if (hasCheck) {
      ShowCheck(a, checked);
      if (IMenu* main = GetMainMenu(); main && main != this) main->CheckItem(id, checked, menu::kByCommand);
    }
  }
}

void DMenu::Run(int32_t id) {
  const TCommandTarget& t = target_.execute ? target_ : MainTarget();
  int enabled = 0, hasCheck = 0, checked = 0;
  if (t.query) t.query(id, enabled, hasCheck, checked);
  if (enabled && t.execute) t.execute(id);
}

bool DMenu::RunKey(const QKeySequence& key) {
  if (!menu_) return false;
  const TCommandTarget& t = target_.query ? target_ : MainTarget();
  std::vector<QAction*> items;
  CommandItems(menu_.data(), items);
  for (QAction* a : items) {
    if (!LabelKeys(a->text()).contains(key)) continue;
    const int32_t id = IdOf(a);
    int enabled = 0, hasCheck = 0, checked = 0;
    if (t.query) t.query(id, enabled, hasCheck, checked);
    if (!enabled) continue;
    if (t.execute) t.execute(id);
    return true;
  }
  return false;
}

void DMenu::BindKeys() {
  if (!bindsKeys_ || !menu_) return;
  std::map<QString, QList<QKeySequence>> wanted;
  std::vector<QAction*> items;
  CommandItems(menu_.data(), items);
  for (QAction* a : items) {
    const QList<QKeySequence> keys = LabelKeys(a->text());
    if (!keys.isEmpty()) wanted[keys.first().toString(QKeySequence::PortableText)] = keys;
  }
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (!wanted.count(it->first) || !it->second) {
      delete it->second.data();
      it = keys_.erase(it);
    } else {
      ++it;
    }
  }
  std::weak_ptr<int> alive = AliveToken(this);
  for (const auto& [name, keys] : wanted) {
    if (keys_.count(name)) continue;
    auto* shortcut = new QShortcut(menu_.data());
    shortcut->setKeys(keys);
    shortcut->setContext(Qt::WindowShortcut);
    // One press, one command: a held key does not toggle a state on and off.
    shortcut->setAutoRepeat(false);
    const QKeySequence key = keys.first();
    QObject::connect(shortcut, &QShortcut::activated, shortcut, [this, alive, key] {
      if (!alive.expired()) RunKey(key);
    });
    keys_[name] = shortcut;
  }
}

QAction* DMenu::Find(int32_t item, int byCommand, QWidget** holder) {
  if (!menu_) return nullptr;
  if (!byCommand) {
    const QList<QAction*> list = menu_->actions();
    if (item < 0 || item >= list.size()) return nullptr;
    if (holder) *holder = menu_.data();
    return list[item];
  }
  std::vector<QWidget*> todo{menu_.data()};
  for (size_t i = 0; i < todo.size(); ++i)
    for (QAction* a : todo[i]->actions()) {
      if (QMenu* sub = a->menu()) todo.push_back(sub);
      else if (IdOf(a) == item || (item != 0 && a->isSeparator() && a->data().toInt() == item)) {
        if (holder) *holder = todo[i];
        return a;
      }
    }
  return nullptr;
}

int DMenu::GetItemCount() { return menu_ ? int(menu_->actions().size()) : 0; }

void DMenu::SetDefaultItem(int32_t item, int byCommand) {
  if (QAction* a = Find(item, byCommand)) {
    QFont f = a->font();
    f.setBold(true);
    a->setFont(f);
  }
}

void DMenu::InsertItem(int32_t position, int32_t id, const TStr& text, int byCommand) {
  if (!menu_) return;
  QWidget* holder = menu_.data();
  QAction* before = position == menu::kAppend ? nullptr : Find(position, byCommand, &holder);
  QAction* a = MakeAction(holder, text, id);
  holder->insertAction(before, a);
  BindKeys();
}

void DMenu::InsertSubMenu(int32_t position, IMenu* other, const TStr& text, int byCommand) {
  auto* o = dynamic_cast<DMenu*>(other);
  if (!menu_ || !o || o == this) return;
  auto* sub = qobject_cast<QMenu*>(o->Menu());
  if (!sub) return;
  QWidget* holder = menu_.data();
  QAction* before = position == menu::kAppend ? nullptr : Find(position, byCommand, &holder);
  sub->setTitle(sky::ToQString(text));
  holder->insertAction(before, sub->menuAction());
  BindKeys();
}

void DMenu::InsertSeparator(int32_t position, int32_t id, int byCommand) {
  if (!menu_) return;
  QWidget* holder = menu_.data();
  QAction* before = position == menu::kAppend ? nullptr : Find(position, byCommand, &holder);
  auto* s = new QAction(holder);
  s->setSeparator(true);
  s->setData(int(id)); // so that it can be deleted by its id
  holder->insertAction(before, s);
}

void DMenu::DeleteItem(int32_t item, int byCommand) {
  QAction* a = nullptr;
  QWidget* holder = nullptr;
  if (byCommand) {
    a = Find(item, byCommand, &holder);
  } else if (popup_) {
    const QList<QAction*> list = popup_->actions();
    if (item >= 0 && item < list.size()) {
      a = list[item];
      holder = popup_.data();
    }
  }
  if (!a) return;
  QMenu* sub = a->menu();
  if (sub && sub->parent() != holder) {
    holder->removeAction(a); // another menu object's pop-up: only taken out
    return;
  }
  holder->removeAction(a);
  if (sub) delete sub; // takes its own item along
  else if (a->parent() == holder) delete a;
  BindKeys();
}

TStr DMenu::GetItemText(int32_t item, int byCommand) {
  QAction* a = Find(item, byCommand);
  if (!a) return TStr();
  return TStr(sky::FromQString(a->text().left(menu::kMaxTextLength)));
}

void DMenu::SetItemText(int32_t item, const TStr& text, int byCommand) {
  if (QAction* a = Find(item, byCommand)) {
    a->setText(sky::ToQString(text));
    BindKeys();
  }
}

void DMenu::CheckItem(int32_t item, int checked, int byCommand) {
  if (QAction* a = Find(item, byCommand)) ShowCheck(a, checked);
}

IMenu* CreateMenuObject(int32_t resourceId) { return new DMenu(resourceId); }

namespace sky {
void ShowContextMenu(IMenu* m, DWnd* owner, const QPoint& screen) {
  auto* d = dynamic_cast<DMenu*>(m);
  if (!d || !d->Popup() || !owner) return;
  QPointer<DWnd> w(owner);
  TCommandTarget target;
  target.execute = [w](int32_t id) {
    if (w) w->CommandMessage(id);
  };
  target.query = [w](int32_t id, int& enabled, int& hasCheck, int& checked) {
    TCommandState s;
    if (w) s = w->QueryCommand(id);
    if (!s.handled) {
      // Not the window's: the main frame's rules answer.
      if (MainTarget().query) MainTarget().query(id, enabled, hasCheck, checked);
      return;
    }
    enabled = s.enabled;
    hasCheck = s.hasCheck;
    checked = s.checked;
  };
  d->SetTarget(std::move(target));
  d->Popup()->popup(screen);
}
} // namespace sky
