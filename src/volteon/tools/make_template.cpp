// Writes the template of a new ensemble: 44100 Hz, an Audio In and an Audio
// Out, the top structure window open. Run at build time; the program reads
// the file beside itself for File > New.
#include "src/base/file.h"
#include "src/engine/module_types.h"
#include "src/engine/offline.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/mod.h"
#include "src/mod/moddata.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_template OUTPUT.ens\n");
    return 2;
  }
  try {
    KEnsemble ensemble([](int32_t, IAudioOwner* owner) -> IAudioInOut* { return new TOfflineAudio(owner, 44100.0f); });
    KEnsembleFiles files(ensemble);
    ensemble.SetFiles(&files);
    ensemble.SetSampleRate(44100);
    ensemble.ApplySampleRate();
    KSModul* top = ensemble.GetTopModule();
    ensemble.SetAudioInModule(top->InsertModule(kTypeAudioIn, kPlaceAudioIn));
    ensemble.SetAudioOutModule(top->InsertModule(kTypeAudioOut, kPlaceAudioOut));
    top->Data().structOpenNo = 1;
    EPtr<IFileName> name(CreateFileName());
    name->SetPath(TStr(argv[1]));
    files.SaveEnsemble(*name);
    ensemble.SetFiles(nullptr);
  } catch (...) {
    RecordCurrentException();
    std::fprintf(stderr, "make_template: %s\n", LastError() ? LastError()->Expand().CStr() : "failed");
    return 1;
  }
  return 0;
}
