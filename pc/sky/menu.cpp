#include "pc/sky/menu.h"

#include "pc/sky/guithread.h"
#include "pc/sky/qtext.h"
#include "pc/sky/wnd.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

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

} // namespace

void RegisterMenuTable(int32_t resourceId, std::vector<TMenuEntry> table) { Tables()[resourceId] = std::move(table); }

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
}

DMenu::~DMenu() {
  Liveness().erase(this);
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
      QAction* a = MakeAction(into, TStr(e.text), e.id);
      if (!e.shortcut.empty()) a->setShortcut(QKeySequence(QString::fromStdString(e.shortcut)));
      into->addAction(a);
    }
  }
}

void DMenu::Watch(QMenu* m) {
  std::weak_ptr<int> alive = AliveToken(this);
  QObject::connect(m, &QMenu::aboutToShow, m, [this, alive, m] {
    if (!alive.expired()) UpdateItems(m);
  });
  // Hidden items count as enabled, so that their shortcuts reach Run, which
  // asks again before the command runs.
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
      a->setCheckable(true);
      a->setChecked(checked != 0);
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
}

TStr DMenu::GetItemText(int32_t item, int byCommand) {
  QAction* a = Find(item, byCommand);
  if (!a) return TStr();
  return TStr(sky::FromQString(a->text().left(menu::kMaxTextLength)));
}

void DMenu::SetItemText(int32_t item, const TStr& text, int byCommand) {
  if (QAction* a = Find(item, byCommand)) a->setText(sky::ToQString(text));
}

void DMenu::CheckItem(int32_t item, int checked, int byCommand) {
  if (QAction* a = Find(item, byCommand)) {
    a->setCheckable(true);
    a->setChecked(checked != 0);
  }
}

IMenu* CreateMenuObject(int32_t resourceId) { return new DMenu(resourceId); }

namespace sky {
void ShowContextMenu(IMenu* m, DWnd* owner, const QPoint& screen) {
  auto* d = dynamic_cast<DMenu*>(m);
  if (!d || !d->Popup() || !owner) return;
  QPointer<DWnd> w(owner);
  TCommandTarget target;
  target.execute = [w](int32_t id) {
    // The window's own items go to it; the rest where the main frame's
    // rules send them (as the query below asks them).
    if (w && w->QueryCommand(id).handled) w->CommandMessage(id);
    else if (MainTarget().execute) MainTarget().execute(id);
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
