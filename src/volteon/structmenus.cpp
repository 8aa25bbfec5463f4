// The menus of the structure editor: the window's context menu with its
// insert entries, the boxes' menus by module type, the port handles' and
// the wires' menus.
#include "pc/sky/menu.h"
#include "src/volteon/inserts.h"
#include "src/volteon/portprp.h"
#include "src/volteon/portview.h"
#include "src/volteon/strucwnd.h"
#include "src/volteon/volteon.h"
#include "src/volteon/wireview.h"

namespace {
TMenuEntry Popup(const char* name, std::vector<TMenuEntry> items) { return MenuPopup(name, std::move(items)); }
TMenuEntry Cut() { return MenuCommand("Cu&t", cmd::kCut); }
TMenuEntry Copy() { return MenuCommand("&Copy", cmd::kCopy); }
TMenuEntry Delete() { return MenuCommand("&Delete", cmd::kDelete); }
TMenuEntry Properties() { return MenuCommand("Pr&operties", cmd::kBoxProperties); }
TMenuEntry Mute() { return MenuCommand("&Mute", cmd::kBoxMute); }
TMenuEntry Mono() { return MenuCommand("Mo&no", cmd::kBoxMono); }
TMenuEntry Sep() { return MenuSeparator(); }
} // namespace

void RegisterStructureMenus() {
  RegisterPortPrp();
  RegisterMenuTable(menuid::kStructure,
                    {Popup("Structure", {
                                            Popup("Modules", InsertMenuEntries(false)),
                                            MenuCommand("Paste", cmd::kPaste),
                                            Sep(),
                                            MenuCommand("Select &All", cmd::kSelectAll),
                                            MenuCommand("Sav&e As...", cmd::kSaveWindowAs),
                                            Sep(),
                                            MenuCommand("&Panel", cmd::kGotoPanel),
                                            MenuCommand("Pa&rent", cmd::kGotoParent),
                                            Sep(),
                                            MenuCommand("Pr&operties", cmd::kProperties),
                                        })});
  RegisterMenuTable(menuid::kControl, {Popup("Control", {Cut(), Copy(), Delete(), Sep(), Properties()})});
  RegisterMenuTable(menuid::kProcessing,
                    {Popup("Processing Module", {Mute(), Mono(), Sep(), Cut(), Copy(), Delete(), Sep(), Properties()})});
  RegisterMenuTable(menuid::kMonoModule,
                    {Popup("Mono Module", {Mute(), Sep(), Cut(), Copy(), Delete(), Sep(), Properties()})});
  RegisterMenuTable(menuid::kTapedeck, {Popup("Tapedeck Module",
                                              {Mute(), Mono(), Sep(), Cut(), Copy(), Delete(), Sep(),
                                               MenuCommand("&Load Audio...", cmd::kBoxLoadAudio),
                                               MenuCommand("&Reload Audio", cmd::kBoxReloadAudio),
                                               MenuCommand("&Export Audio...", cmd::kBoxExportAudio),
                                               MenuCommand("O&verwrite Audio", cmd::kBoxOverwriteAudio), Sep(),
                                               Properties()})});
  RegisterMenuTable(menuid::kSampler, {Popup("Sampler Module",
                                             {Mute(), Mono(), Sep(), Cut(), Copy(), Delete(), Sep(),
                                              MenuCommand("&Load Audio...", cmd::kBoxLoadAudio),
                                              MenuCommand("&Reload Audio", cmd::kBoxReloadAudio), Sep(),
                                              Properties()})});
  RegisterMenuTable(menuid::kInOut, {Popup("InOut Module", {Mute(), Sep(), Properties()})});
  RegisterMenuTable(menuid::kMacros, {Popup("Macros", {Mute(), Mono(), Sep(), Cut(), Copy(), Delete(), Sep(),
                                                       MenuCommand("Sav&e As...", cmd::kBoxSaveAs),
                                                       MenuCommand("&Structure", cmd::kBoxStructure), Sep(),
                                                       Properties()})});
  RegisterMenuTable(menuid::kInstrument,
                    {Popup("Instrument", {MenuCommand("Solo", cmd::kBoxSolo), Mute(), Sep(), Cut(), Copy(), Delete(),
                                          Sep(), MenuCommand("Sav&e As...", cmd::kBoxSaveAs),
                                          MenuCommand("&Panel", cmd::kBoxPanel),
                                          MenuCommand("&Structure", cmd::kBoxStructure), Sep(), Properties()})});
  RegisterMenuTable(menuid::kInPort, {Popup("InPort", {MenuCommand("&Create Control", cmd::kCreateControl),
                                                       MenuCommand("&Wire/Unwire", cmd::kWireUnwire),
                                                       MenuCommand("&Mute", cmd::kPortMute), Sep(),
                                                       MenuCommand("Pr&operties", cmd::kPortProperties)})});
  RegisterMenuTable(menuid::kOutPort, {Popup("OutPort", {MenuCommand("&Wire/Unwire", cmd::kWireUnwire),
                                                         MenuCommand("&Mute", cmd::kPortMute), Sep(),
                                                         MenuCommand("Pr&operties", cmd::kPortProperties)})});
  RegisterMenuTable(menuid::kWire, {Popup("Wire", {MenuCommand("&Delete", cmd::kWireDelete)})});
}
