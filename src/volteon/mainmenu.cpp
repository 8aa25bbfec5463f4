// The main menu: the application's commands and the framework's window
// commands. Items of windows that are not open stay greyed. A key works
// when an item's label shows it after the tab; no two items of one menu
// share an access letter, so a letter always chooses its item at once.
#include "src/volteon/volteon.h"

#include "pc/sky/mdi.h"
#include "pc/sky/menu.h"
#include "src/volteon/inserts.h"
#include "src/volteon/strucwnd.h"

void RegisterMainMenu() {
  using std::string;
  RegisterStructureMenus();
  std::vector<TMenuEntry> factors, rates;
  const char* factorTexts[cmd::kFactorCount] = {"Factor 1/2", "Factor 3/4", "Factor 1/1",
                                                "Factor 3/2", "Factor 2/1", "Factor 3/1"};
  for (int i = 0; i < cmd::kFactorCount; ++i) factors.push_back(MenuCommand(factorTexts[i], cmd::kFactorHalf + i));
  const char* rateTexts[cmd::kRateCount] = {"25 Hz", "50 Hz", "100 Hz", "200 Hz", "400 Hz", "800 Hz", "1600 Hz"};
  for (int i = 0; i < cmd::kRateCount; ++i) rates.push_back(MenuCommand(rateTexts[i], cmd::kRate25 + i));
  RegisterMenuTable(sky::kMainMenuId,
                    {
                        MenuPopup("&File",
                                  {
                                      MenuCommand("&New Ensemble\tCtrl+N", cmd::kNewEnsemble),
                                      MenuCommand("&Open...\tCtrl+O", cmd::kOpen),
                                      MenuCommand("&Save Ensemble\tCtrl+S", cmd::kSaveEnsemble),
                                      MenuCommand("Sav&e Ensemble As...", cmd::kSaveEnsembleAs),
                                      MenuCommand("Save &Window As...\tCtrl+E", cmd::kSaveWindowAs),
                                      MenuSeparator(),
                                      MenuCommand("&Batch Analyse...", cmd::kBatchAnalyse),
                                      MenuSeparator(),
                                      MenuCommand("E&xit", cmd::kExit),
                                  }),
                        MenuPopup("&Edit",
                                  {
                                      MenuCommand("&Undo\tCtrl+Z", cmd::kUndo),
                                      MenuCommand("&Redo\tCtrl+Y", cmd::kRedo),
                                      MenuSeparator(),
                                      MenuCommand("Cu&t\tCtrl+X", cmd::kCut),
                                      MenuCommand("&Copy\tCtrl+C", cmd::kCopy),
                                      MenuCommand("&Paste\tCtrl+V", cmd::kPaste),
                                      MenuCommand("&Delete\tDel", cmd::kDelete),
                                      MenuCommand("Select &All\tCtrl+A", cmd::kSelectAll),
                                      MenuSeparator(),
                                      MenuCommand("&Mute\tCtrl+M", cmd::kMute),
                                      MenuCommand("Mo&no", cmd::kMono),
                                      MenuCommand("Solo", cmd::kEditSolo),
                                      MenuSeparator(),
                                      MenuCommand("&Load Audio...", cmd::kLoadAudio),
                                      MenuCommand("Reload Aud&io", cmd::kReloadAudio),
                                      MenuCommand("E&xport Audio...", cmd::kExportAudio),
                                      MenuCommand("O&verwrite Audio", cmd::kOverwriteAudio),
                                      MenuSeparator(),
                                      MenuCommand("Store Snapshot\tCtrl+T", cmd::kStoreSnapshot),
                                      MenuCommand("Learn\tCtrl+I", cmd::kLearn),
                                      MenuCommand("Lock\tCtrl+L", cmd::kLock),
                                      MenuSeparator(),
                                      MenuCommand("&Goto Panel\tCtrl+B", cmd::kGotoPanel),
                                      MenuCommand("Goto &Structure\tCtrl+B", cmd::kGotoStructure),
                                      MenuCommand("Goto Par&ent\tCtrl+P", cmd::kGotoParent),
                                      MenuCommand("Pr&operties\tAlt+Enter", cmd::kProperties),
                                      MenuCommand("Properties", cmd::kEditProperties),
                                  }),
                        MenuPopup("&Insert", InsertMenuEntries(true)),
                        MenuPopup("&Settings",
                                  {
                                      MenuPopup("Sample &Rate", factors),
                                      MenuPopup("&Control Rate", rates),
                                      MenuSeparator(),
                                      MenuCommand("Au&dio Settings...", cmd::kAudioSettings),
                                      MenuCommand("&MIDI Settings...", cmd::kMidiSettings),
                                  }),
                        MenuPopup("S&ystem",
                                  {
                                      MenuCommand("Stop &Audio\tNum 0", cmd::kStopAudio),
                                      MenuCommand("Measure CPU &Usage\tCtrl+U", cmd::kMeasureCpu),
                                      MenuSeparator(),
                                      MenuCommand("Audio&werk8", cmd::kPortCard),
                                      MenuCommand("&Soundcard", cmd::kPortSoundcard),
                                      MenuSeparator(),
                                      MenuCommand("E&xternal Sync", cmd::kExternalSync),
                                      MenuCommand("Clock S&tart", cmd::kClockStart),
                                      MenuCommand("Clock St&op", cmd::kClockStop),
                                      MenuSeparator(),
                                      MenuCommand("Hide &Ensemble Toolbar", cmd::kEnsembleToolbar),
                                      MenuCommand("Hide &Instrument Toolbar", cmd::kInstrumentToolbar),
                                      MenuCommand("Hide &Hints\tCtrl+H", cmd::kShowHints),
                                      MenuSeparator(),
                                      MenuCommand("Show Ensemble", cmd::kShowEnsemble),
                                      MenuCommand("C&lose All Panels", cmd::kCloseAllPanels),
                                      MenuCommand("Close All St&ructures", cmd::kCloseAllStructures),
                                      MenuCommand("All &Panels to Front", cmd::kPanelsToFront),
                                      MenuSeparator(),
                                      MenuCommand("Pre&ferences...", cmd::kPreferences),
                                  }),
                        MenuPopup("&Window",
                                  {
                                      MenuCommand("&Cascade", cmd::kCascade),
                                      MenuCommand("&Tile", cmd::kTile),
                                      MenuCommand("Arrange &Icons", cmd::kArrangeIcons),
                                      MenuCommand("Close A&ll", cmd::kCloseAll),
                                  }),
                        MenuPopup("&Help", {MenuCommand("&About Volteon...", cmd::kAbout)}),
                    });
}
