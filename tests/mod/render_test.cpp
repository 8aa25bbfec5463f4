// Notes received as MIDI play through a graph built in code: NotePitch and
// Gate into a sine and an envelope, into the Audio Out.
#include "tests/mod/ensemble_fixture.h"

#include "tests/common/testkit.h"

#include "src/base/file.h"
#include "src/base/settings.h"
#include "src/mod/ensfile.h"
#include "src/mod/modfile.h"
#include "src/mod/undo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

using ensfix::TEnsembleFixture;

namespace {

class Render : public ::testing::Test, public TEnsembleFixture {
protected:
  void SetUp() override {
    ens.SetRateFactor(1.0f);
    KSModul* out = AddAudioOut();
    KSModul* pitch = Insert(Top(), kTypeNotePitch);
    KSModul* gate = Insert(Top(), kTypeGate);
    KSModul* sine = Insert(Top(), kTypeSine);
    KSModul* env = Insert(Top(), kTypeAttackReleaseEnv); // "AR - Env"
    ASSERT_EQ(Wire(pitch, 0, sine, 0), 0);
    ASSERT_EQ(Wire(gate, 0, env, 0), 0);
    ASSERT_EQ(Wire(env, 0, sine, 1), 0);
    ASSERT_EQ(Wire(sine, 0, out, 2), 0);
    ASSERT_EQ(Wire(sine, 0, out, 3), 0);
    ASSERT_NE(pitch->GetEngineRecord(), nullptr);
    ASSERT_NE(gate->GetEngineRecord(), nullptr);
  }
  // Renders seconds of output and returns the left channel.
  std::vector<float> Left(float seconds) {
    const int32_t frames = int32_t(44100.0f * seconds);
    std::vector<float> output(static_cast<size_t>(frames) * 2);
    Driver().Render(nullptr, output.data(), frames);
    std::vector<float> left(static_cast<size_t>(frames));
    for (int32_t i = 0; i < frames; ++i) left[size_t(i)] = output[size_t(2 * i)];
    return left;
  }
  // Frequency from the upward zero crossings.
  static double Frequency(const std::vector<float>& x) {
    int32_t first = -1, last = -1, count = 0;
    for (size_t i = 1; i < x.size(); ++i) {
      if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
        if (first < 0) first = int32_t(i);
        last = int32_t(i);
        ++count;
      }
    }
    if (count < 2) return 0.0;
    return double(count - 1) * 44100.0 / double(last - first);
  }
  static float Peak(const std::vector<float>& x) {
    float p = 0.0f;
    for (float v : x) p = std::max(p, std::fabs(v));
    return p;
  }

  testkit::ScriptedHost boxes;
};

} // namespace

TEST_F(Render, NotesReceivedAsMidiSoundAtTheirPitch) {
  EXPECT_LT(Peak(Left(0.1f)), 1e-6f) << "silent before any note";
  struct Case {
    int32_t note;
    double hz;
  };
  for (Case c : {Case{69, 440.0}, Case{81, 880.0}, Case{57, 220.0}}) {
    Midi().Receive(1, 0, c.note, 127);
    Left(0.05f); // the attack
    std::vector<float> held = Left(0.5f);
    EXPECT_NEAR(Frequency(held), c.hz, c.hz * 0.01) << c.note;
    EXPECT_GT(Peak(held), 0.5f) << c.note;
    Midi().Receive(0, 0, c.note, 0);
    Left(0.2f); // the release
    EXPECT_LT(Peak(Left(0.1f)), 1e-3f) << "the note ended: " << c.note;
  }
}

TEST_F(Render, TransposeAndTuneMoveThePitch) {
  TopInstr()->SetNoteShift(12);
  TopInstr()->SetTune(-12.0f, false);
  Midi().Receive(1, 0, 69, 100);
  Left(0.05f);
  EXPECT_NEAR(Frequency(Left(0.5f)), 440.0, 4.4);
  Midi().Receive(1, 0, 69, 0);
}

TEST_F(Render, APatchSoundsTheSameAfterSaveAndOpenUndoAndRedoAndACrashRestore) {
  // A note played on the patch as built.
  auto play = [this] {
    Midi().Receive(1, 0, 69, 127);
    std::vector<float> sound = Left(0.2f);
    Midi().Receive(0, 0, 69, 0);
    Left(0.3f); // the release, so that nothing sounds into the next take
    return sound;
  };
  const std::string dir = testkit::TempDir("render-open");
  OpenSettings(TStr("Quorvex"));
  KEnsembleFiles files(ens);
  KUndo& undo = files.GetUndo();
  undo.SetFolder(TStr(dir.c_str()));
  undo.SetUndoEnabled(1);
  undo.SetUndoMax(5);
  undo.AddUndoStep(UndoKind::kInsertModule); // the patch as it is, before an unwired module joins it
  const std::vector<float> reference = play();
  ASSERT_GT(Peak(reference), 0.5f);
  Insert(Top(), kTypeSawtooth);

  EPtr<IFileName> file(CreateFileName());
  file->SetPath(TStr((dir + "/patch.ens").c_str()));
  // The crash restore as the program offers it at start: it opens the
  // newest snapshot through the application.
  struct TRestoringApp : ensfix::TApp {
    KEnsembleFiles* files = nullptr;
    bool OpenEnsembleFile(const TStr& path) override {
      EPtr<IFileName> name(CreateFileName());
      name->SetPath(path);
      return files->OpenEnsemble(*name) == 1;
    }
  } restoring;
  restoring.files = &files;
  WriteSettingStr(TStr(setting::TmpDir), TStr(dir.c_str()));
  struct Case {
    const char* what;
    std::function<void()> reopen;
  };
  const Case cases[] = {
      {"crash restore",
       [&] {
         ens.SetOwner(&restoring);
         boxes.QueueAnswer(0); // yes, restore
         EXPECT_TRUE(ens.OfferRestore());
         ens.SetOwner(&app);
       }},
      {"undo", [&] { undo.Undo(); }},
      {"redo", [&] { undo.Redo(); }},
      {"save and open",
       [&] {
         files.SaveEnsemble(*file);
         ASSERT_EQ(files.OpenEnsemble(*file), 1);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.reopen();
    const std::vector<float> again = play();
    ASSERT_EQ(again.size(), reference.size());
    float worst = 0.0f;
    for (size_t i = 0; i < again.size(); ++i) worst = std::max(worst, std::fabs(again[i] - reference[i]));
    EXPECT_LT(worst, 1e-5f) << "peak " << Peak(again) << " against " << Peak(reference);
  }
}
