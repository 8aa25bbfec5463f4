// Menus built from tables: the main menu and the context menus of views.
// Each item carries its command id; before a menu shows, and again before a
// chosen item or its key runs, the item's command is asked whether it is
// enabled (and checked), so a greyed command never runs.
//
// An item's key is the one its label shows after the tab ("&Open...\tCtrl+O"):
// the label is the only place a key is written, so the key a user reads and
// the key that works cannot differ. In the main menu the keys act while its
// window is active; several items may show one key (each acts in the window
// that answers it), and a press runs the first of them that is enabled.
#pragma once

#include "src/base/base.h"

#include <QKeySequence>
#include <QList>
#include <QPointer>

#include <functional>
#include <map>
#include <string>
#include <vector>

class DWnd;
class QAction;
class QMenu;
class QMenuBar;
class QShortcut;
class QWidget;

// One entry of a menu table: a command (id != 0), a pop-up (items), or a
// separator (neither).
struct TMenuEntry {
  std::string text; // "&" marks the access key; "\t" starts the label of the item's key
  int32_t id = 0;
  std::vector<TMenuEntry> items;
};
inline TMenuEntry MenuCommand(std::string text, int32_t id) { return TMenuEntry{std::move(text), id, {}}; }
inline TMenuEntry MenuPopup(std::string text, std::vector<TMenuEntry> items) {
  return TMenuEntry{std::move(text), 0, std::move(items)};
}
inline TMenuEntry MenuSeparator() { return TMenuEntry{}; }

// The keys a label names after its tab, in the spelling the menus show:
// modifiers "Ctrl+", "Shift+", "Alt+", then a key: a letter, a digit, "F1" to
// "F12", "Del", "Ins", "Enter" (either Enter key), "Esc", "Backspace", "Tab",
// "Space", "Num 0" to "Num 9" (the numeric keypad's digits). Empty when the
// label shows no key or one these names do not cover.
QList<QKeySequence> LabelKeys(const QString& text);

// A name (of a file or folder) as an item text that shows it as it is: an
// "&" in it is doubled, so it neither vanishes nor becomes an access letter.
TStr MenuLiteral(const TStr& name);

// Makes a table known under a resource id (a later table of the id replaces it).
void RegisterMenuTable(int32_t resourceId, std::vector<TMenuEntry> table);
// The resource ids of the registered tables, in increasing order.
std::vector<int32_t> MenuTableIds();

namespace menu {
constexpr int32_t kAppend = 0x3FFFFFFD;     // position: after the last item
constexpr int32_t kEmptyPopup = 0x3FFFFFFE; // resource id: an empty pop-up menu
constexpr int kByPosition = 0, kByCommand = 1;
constexpr int kMaxTextLength = 99;          // characters an item text gives back
} // namespace menu

// Items are addressed by command id (searched through nested pop-ups) or by
// position in the menu itself.
class IMenu : public virtual IBase {
public:
  virtual int GetItemCount() = 0;
  virtual void SetDefaultItem(int32_t item, int byCommand) = 0;
  virtual void InsertItem(int32_t position, int32_t id, const TStr& text, int byCommand) = 0;
  // The pop-up item shows the other menu itself, which stays owned by its
  // object: deleting either object later never destroys the other's menu.
  virtual void InsertSubMenu(int32_t position, IMenu* menu, const TStr& text, int byCommand) = 0;
  virtual void InsertSeparator(int32_t position, int32_t id, int byCommand) = 0;
  // By position the item is taken from the pop-up the menu shows.
  virtual void DeleteItem(int32_t item, int byCommand) = 0;
  // At most kMaxTextLength characters; empty when there is no such item.
  virtual TStr GetItemText(int32_t item, int byCommand) = 0;
  virtual void SetItemText(int32_t item, const TStr& text, int byCommand) = 0;
  virtual void CheckItem(int32_t item, int checked, int byCommand) = 0;
};

// How a menu's commands reach their handlers.
struct TCommandTarget {
  std::function<void(int32_t id)> execute;
  std::function<void(int32_t id, int& enabled, int& hasCheck, int& checked)> query;
};

class DMenu : public TBase, public IMenu {
public:
  // A menu from a registered table (an unknown id gives an empty one), or,
  // for menu::kEmptyPopup, an empty pop-up menu.
  explicit DMenu(int32_t resourceId);
  // Wraps a menu or menu bar that stays owned by its widget; with a resource
  // id the registered table is built into it.
  explicit DMenu(QWidget* existing, int32_t resourceId = 0);
  ~DMenu() override;

  int GetItemCount() override;
  void SetDefaultItem(int32_t item, int byCommand) override;
  void InsertItem(int32_t position, int32_t id, const TStr& text, int byCommand) override;
  void InsertSubMenu(int32_t position, IMenu* menu, const TStr& text, int byCommand) override;
  void InsertSeparator(int32_t position, int32_t id, int byCommand) override;
  void DeleteItem(int32_t item, int byCommand) override;
  TStr GetItemText(int32_t item, int byCommand) override;
  void SetItemText(int32_t item, const TStr& text, int byCommand) override;
  void CheckItem(int32_t item, int checked, int byCommand) override;

  // The menu object and the pop-up that a context menu shows (the first
  // sub-menu of a table, else the menu itself).
  QWidget* Menu() const { return menu_.data(); }
  QMenu* Popup() const;
  // Where the commands of this menu go; set by the window that shows it.
  void SetTarget(TCommandTarget target);
  // Asks every command item of the widget for its state (what showing does).
  void UpdateItems(QWidget* menu);
  // Runs an item's command when it is enabled now.
  void Run(int32_t id);
  // A key press of the main menu: runs the first enabled item whose label
  // shows this key. False when none is enabled.
  bool RunKey(const QKeySequence& key);

private:
  QAction* Find(int32_t item, int byCommand, QWidget** holder = nullptr);
  QAction* MakeAction(QWidget* owner, const TStr& text, int32_t id);
  void Build(QWidget* into, const std::vector<TMenuEntry>& items);
  void Watch(QMenu* menu);
  // Keeps one window key for each key the items' labels show (menu bars only).
  void BindKeys();

  QPointer<QWidget> menu_;
  QPointer<QMenu> popup_;
  bool owned_ = true;
  TCommandTarget target_;
  bool bindsKeys_ = false;
  std::map<QString, QPointer<QShortcut>> keys_; // by the key's portable text
};

IMenu* CreateMenuObject(int32_t resourceId);
inline IMenu* CastToMenu(IBase* o) { return CastTo<IMenu>(o); }

// Where the commands of menus without a target of their own go (the main
// frame sets it).
void SetMainCommandTarget(TCommandTarget target);

// The main-menu object (owned by the shell); null before the main window.
IMenu* GetMainMenu();
void SetMainMenu(IMenu* menu);

namespace sky {
// The resource id of the main menu's table.
constexpr int32_t kMainMenuId = 7000;

// Shows a view's context menu at a screen point; its commands go to the
// window. Installed as the window layer's context-menu handler.
void ShowContextMenu(IMenu* menu, DWnd* owner, const QPoint& screen);
} // namespace sky
