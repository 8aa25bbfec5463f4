// The sound-file pool: keys, states, shared users, references with and
// without embedded copies, locating missing files, the outside editor and
// batch analysis.
#include "src/audio/soundpool.h"

#include "src/audio/audiofile.h"
#include "src/audio/samplemap.h"
#include "tests/audio/pooltest.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

using namespace pooltest;

namespace {

namespace fs = std::filesystem;

// A map entry that only holds sounds: the pool's user.
struct TUser {
  TAudioFileMapEntry entry{nullptr};
  IAudioFileMapEntry* operator&() { return &entry; }
};

using SoundPoolTest = PoolTest;

TEST_F(SoundPoolTest, SoundsAreKeyedByTheirWholeFileName) {
  const std::string root = Folder("keys");
  for (const char* f : {"/Piano", "/Strings"}) fs::create_directories(root + f);
  struct Case {
    const char* first;
    const char* second;
    bool shared;
  } cases[] = {
      {"/Piano/C3.wav", "/Piano/C3.wav", true},
      {"/Piano/C3.wav", "/Strings/C3.wav", false},
      {"/Piano/kick.wav", "/Strings/kick.aif", false},
      {"/Piano/Kick.wav", "/Piano/kick.wav", false},
      {"/Piano/a.aiff", "/Piano/b.aiff", false},
      {"/Piano/a.aiff", "/Piano/a.aiff", true},
  };
  for (const Case& c : cases) {
    WriteSound(root + c.first);
    WriteSound(root + c.second);
    TAudioFileMapEntry one(nullptr), two(nullptr);
    EPtr<IFileName> a(NameOf(root + c.first)), b(NameOf(root + c.second));
    IAudioFileBuf* sa = AcquireSoundFile(&one, a.Get(), 0);
    IAudioFileBuf* sb = AcquireSoundFile(&two, b.Get(), 0);
    EXPECT_EQ(sa == sb, c.shared) << c.first << " " << c.second;
    EXPECT_EQ(PoolSize(), c.shared ? 1 : 2);
    EXPECT_EQ(FindSoundFile(a.Get()), dynamic_cast<TAudioFileBuf*>(sa));
    sa->Release(&one);
    sb->Release(&two);
    EXPECT_EQ(PoolSize(), 0);
  }
}

TEST_F(SoundPoolTest, LoadedSoundCarriesItsFileSettings) {
  const std::string path = Folder("load") + "/loop.wav";
  TSound s;
  s.rate = 22050;
  s.channels = 2;
  s.frames = 5000;
  s.rootKey = 48;
  s.loopOn = 1;
  s.loopStart = 100;
  s.loopEnd = 4000;
  WriteSound(path, s);
  TAudioFileMapEntry user(nullptr);
  EPtr<IFileName> name(NameOf(path));
  IAudioFileBuf* sound = AcquireSoundFile(&user, name.Get(), 0);
  EXPECT_EQ(sound->GetState(), soundstate::Loaded);
  IAudioBuf* samples = sound->GetSampleBuf();
  EXPECT_EQ(samples->GetRate(), 22050);
  EXPECT_EQ(samples->GetChannels(), 2);
  EXPECT_EQ(samples->GetLength(), 5000);
  EXPECT_EQ(samples->GetMargin(), 4);
  EXPECT_EQ(samples->IsFloat(), 1);
  EXPECT_EQ(samples->IsInterleaved(), 0);
  EXPECT_NEAR(samples->GetSample(2500, 0), 0.25f, 1e-3f);
  EXPECT_NEAR(samples->GetSample(2500, 1), -0.25f, 1e-3f);
  EXPECT_EQ(sound->GetRootKey(), 48);
  EXPECT_EQ(sound->GetLoopOn(), 1);
  EXPECT_EQ(sound->GetLoopStart(), 100);
  EXPECT_EQ(sound->GetLoopEnd(), 4000);
  EXPECT_EQ(sound->GetLoopLength(), 3900);
  EXPECT_EQ(sound->GetAnalysis(), nullptr);
  sound->Release(&user);
}

TEST_F(SoundPoolTest, UnreadableSoundRaisesAndLeavesNothingBehind) {
  const std::string folder = Folder("bad");
  PutFileBytes(folder + "/junk.wav", std::vector<uint8_t>(64, 'x'));
  struct Case {
    const char* file;
    const char* message;
  } cases[] = {{"/missing.wav", "Cannot open file "}, {"/junk.wav", "junk.wav"}};
  for (const Case& c : cases) {
    TAudioFileMapEntry user(nullptr);
    EPtr<IFileName> name(NameOf(folder + c.file));
    EXPECT_THROW(AcquireSoundFile(&user, name.Get(), 0), TError) << c.file;
    EXPECT_NE(LastError()->Expand().Std().find(c.message), std::string::npos) << LastError()->Expand().Std();
    EXPECT_EQ(PoolSize(), 0);
  }
}

TEST_F(SoundPoolTest, EveryRegistrationIsReleasedOnItsOwn) {
  const std::string path = Folder("users") + "/a.wav";
  WriteSound(path);
  TAudioFileMapEntry first(nullptr), second(nullptr);
  EPtr<IFileName> name(NameOf(path));
  IAudioFileBuf* sound = AcquireSoundFile(&first, name.Get(), 0);
  EXPECT_EQ(AcquireSoundFile(&first, name.Get(), 0), sound);
  EXPECT_EQ(AcquireSoundFile(&second, name.Get(), 0), sound);
  auto* entry = dynamic_cast<TAudioFileBuf*>(sound);
  EXPECT_EQ(entry->GetUserCount(), 3);
  sound->Release(&first);
  EXPECT_EQ(entry->GetUserCount(), 2);
  sound->Release(&second);
  EXPECT_EQ(PoolSize(), 1);
  sound->Release(&first);
  EXPECT_EQ(PoolSize(), 0);
}

TEST_F(SoundPoolTest, DeleteThroughTheInterfaceIsRefused) {
  const std::string path = Folder("del") + "/a.wav";
  WriteSound(path);
  testkit::ScriptedHost host;
  host.QueueAnswer(0);
  TAudioFileMapEntry user(nullptr);
  EPtr<IFileName> name(NameOf(path));
  IAudioFileBuf* sound = AcquireSoundFile(&user, name.Get(), 0);
  sound->Delete();
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_EQ(host.Boxes()[0].text, "IAudioFileBuf::Delete() unimplemented: must know who's deleting");
  EXPECT_EQ(PoolSize(), 1);
  EXPECT_EQ(dynamic_cast<TAudioFileBuf*>(sound)->GetUserCount(), 1);
  sound->Release(&user);
}

// A reference record as a sound writes it, for reading back.
std::vector<uint8_t> RefBytes(IAudioFileBuf* sound, int embed, int order = 0) {
  TMemInOut out;
  out.SetByteOrder(order);
  sound->WriteRef(&out, embed);
  return out.Data();
}

// The references of a sound file, bare and with the embedded copy.
struct TRefs {
  std::vector<uint8_t> bare, embedded;
};
TRefs WrittenRefs(const std::string& path) {
  TRefs r;
  TAudioFileMapEntry user(nullptr);
  EPtr<IFileName> name(NameOf(path));
  IAudioFileBuf* sound = AcquireSoundFile(&user, name.Get(), 0);
  r.bare = RefBytes(sound, 0);
  r.embedded = RefBytes(sound, 1);
  sound->Release(&user);
  return r;
}

TEST_F(SoundPoolTest, ReferenceStatesFollowTheFileAndTheEmbeddedCopy) {
  const std::string folder = Folder("refs");
  const std::string path = folder + "/a.wav";
  TSound s;
  s.rate = 32000;
  s.frames = 800;
  s.rootKey = 50;
  WriteSound(path, s);
  std::vector<uint8_t> bare, embedded;
  {
    TAudioFileMapEntry user(nullptr);
    EPtr<IFileName> name(NameOf(path));
    IAudioFileBuf* sound = AcquireSoundFile(&user, name.Get(), 0);
    bare = RefBytes(sound, 0);
    embedded = RefBytes(sound, 1);
    // Once written, the same sound goes without its data until the marks are cleared.
    EXPECT_EQ(RefBytes(sound, 1).size(), bare.size());
    ClearWrittenMarks();
    EXPECT_EQ(RefBytes(sound, 1), embedded);
    sound->Release(&user);
  }
  ClearWrittenMarks();
  EXPECT_EQ(embedded.size(), bare.size() + 24 + 800 * 4 + 16);

  struct Case {
    bool fileThere;
    bool withCopy;
    int state;
    int reportFlag;
  } cases[] = {
      {true, false, soundstate::Loaded, 0},
      {true, true, soundstate::Loaded, 0},
      {false, true, soundstate::Elsewhere, 0},
      {false, false, soundstate::NotFound, 1},
  };
  for (const Case& c : cases) {
    if (!c.fileThere) fs::remove(path);
    else WriteSound(path, s);
    std::vector<uint8_t> bytes = c.withCopy ? embedded : bare;
    bytes.push_back(0x5A); // what follows the record must still be there
    TMemInOut in(bytes);
    TAudioFileMapEntry user(nullptr);
    IAudioFileBuf* sound = ReadSoundFileRef(&user, &in, 0, 200);
    auto* entry = dynamic_cast<TAudioFileBuf*>(sound);
    EXPECT_EQ(sound->GetState(), c.state) << c.fileThere << c.withCopy;
    EXPECT_EQ(entry->GetReportFlag(), c.reportFlag);
    EXPECT_EQ(in.Remaining(), 1);
    if (c.state != soundstate::NotFound) {
      EXPECT_EQ(sound->GetSampleBuf()->GetLength(), 800);
      EXPECT_EQ(sound->GetSampleBuf()->GetRate(), 32000);
      EXPECT_EQ(sound->GetRootKey(), 50);
      EXPECT_NEAR(sound->GetSampleBuf()->GetSample(400, 0), 0.25f, 1e-3f);
    }
    entry->SetReportFlag(0);
    sound->Release(&user);
  }
}

TEST_F(SoundPoolTest, EmbeddedCopyInBigEndianOrderReadsTheSame) {
  const std::string path = Folder("order") + "/a.wav";
  TSound s;
  s.frames = 300;
  s.analysed = true;
  WriteSound(path, s);
  std::vector<uint8_t> big;
  std::vector<float> original;
  {
    TAudioFileMapEntry user(nullptr);
    EPtr<IFileName> name(NameOf(path));
    IAudioFileBuf* sound = AcquireSoundFile(&user, name.Get(), 0);
    ASSERT_NE(sound->GetAnalysis(), nullptr);
    big = RefBytes(sound, 1, 1);
    for (int i = 0; i < 300; ++i) original.push_back(sound->GetSampleBuf()->GetSample(i, 0));
    sound->Release(&user);
  }
  fs::remove(path);
  TMemInOut in(big);
  in.SetByteOrder(1);
  TAudioFileMapEntry user(nullptr);
  IAudioFileBuf* sound = ReadSoundFileRef(&user, &in, 0, 200);
  EXPECT_EQ(sound->GetState(), soundstate::Elsewhere);
  ASSERT_EQ(sound->GetSampleBuf()->GetLength(), 300);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(sound->GetSampleBuf()->GetSample(i, 0), original[i]) << i;
  EXPECT_NE(sound->GetAnalysis(), nullptr);
  sound->Release(&user);
}

TEST_F(SoundPoolTest, DamagedReferencesEndInAMessage) {
  const std::string path = Folder("damage") + "/a.wav";
  TSound s;
  s.frames = 40;
  WriteSound(path, s);
  const std::vector<uint8_t> embedded = WrittenRefs(path).embedded;
  fs::remove(path);
  for (size_t cut = 0; cut < embedded.size(); ++cut) {
    TMemInOut in(std::vector<uint8_t>(embedded.begin(), embedded.begin() + cut));
    TAudioFileMapEntry user(nullptr);
    EXPECT_THROW(ReadSoundFileRef(&user, &in, 0, 200), TError) << cut;
    EXPECT_EQ(PoolSize(), 0) << cut;
  }
}

TEST_F(SoundPoolTest, ReloadTellsEveryUserAndTheyPlayAtTheNewRate) {
  const std::string path = Folder("reload") + "/a.wav";
  TSound s;
  s.frames = 44100;
  WriteSound(path, s);
  TTestOwner owner;
  TAudioFileMap map(&owner, 0);
  EPtr<IFileName> name(NameOf(path));
  map.Add(name.Get());
  map.Add(name.Get()); // the same sound twice, at two splits
  ASSERT_EQ(map.GetCount(), 2);
  const float steps[] = {map.GetAt(0)->GetStep(), map.GetAt(1)->GetStep()};
  EXPECT_EQ(map.GetAt(0)->GetLength16(), 8);
  s.rate = 22050;
  s.frames = 11025;
  WriteSound(path, s);
  const int updates = owner.sampleUpdates;
  map.GetAt(0)->GetSoundFile()->Reload();
  EXPECT_GT(owner.sampleUpdates, updates);
  for (int i = 0; i < 2; ++i) {
    EXPECT_FLOAT_EQ(map.GetAt(i)->GetStep(), steps[i] / 2) << i;
    EXPECT_EQ(map.GetAt(i)->GetLength16(), 4) << i;
  }
  // A reload that fails shows why and keeps the sound.
  testkit::ScriptedHost host;
  host.QueueAnswer(0);
  fs::remove(path);
  map.GetAt(0)->GetSoundFile()->Reload();
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_NE(host.Boxes()[0].text.find("Cannot open file"), std::string::npos);
  EXPECT_EQ(map.GetAt(0)->GetSoundFile()->GetSampleBuf()->GetLength(), 11025);
  EXPECT_EQ(map.GetAt(0)->GetSoundFile()->GetState(), soundstate::Loaded);
}

// A map that references sounds which are then moved away from where it says.
struct MissingSounds {
  std::string mapPath, from, to;
  std::vector<std::string> names;
};

MissingSounds MakeMissing(PoolTest& test, const std::string& tag, std::vector<std::string> names,
                          const std::string& relocated, int rate = 44100) {
  MissingSounds m;
  m.from = testkit::TempDir(tag + "-from");
  m.to = testkit::TempDir(tag + "-to");
  m.mapPath = testkit::TempDir(tag + "-maps") + "/kit.map";
  m.names = names;
  TSound s;
  s.rate = rate;
  {
    TAudioFileMap map(nullptr, 0);
    for (const std::string& n : names) {
      WriteSound(m.from + "/" + n, s);
      EPtr<IFileName> name(NameOf(m.from + "/" + n));
      map.Add(name.Get());
    }
    testkit::ScriptedHost host;
    host.QueueAnswer(3); // no backup copy
    EPtr<IFileName> file(NameOf(m.mapPath));
    map.Save(file.Get());
  }
  for (const std::string& n : names) {
    if (!relocated.empty()) fs::rename(m.from + "/" + n, m.to + "/" + n);
    else fs::remove(m.from + "/" + n);
  }
  (void)test;
  return m;
}

TEST_F(SoundPoolTest, LocatingOneMissingSoundFindsTheOthersBesideIt) {
  MissingSounds m = MakeMissing(*this, "locate", {"a.wav", "b.wav", "c.wav"}, "moved", 22050);
  testkit::ScriptedHost host;
  host.QueueAnswer(2); // yes, locate a.wav
  host.QueueFileChoice(m.to + "/a.wav");
  TTestOwner owner;
  TAudioFileMap map(&owner, 0);
  EPtr<IFileName> file(NameOf(m.mapPath));
  map.Load(file.Get());
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_EQ(host.Boxes()[0].text,
            m.from + "/a.wav could not be found.\nWould you like to locate / replace this file now?");
  EXPECT_EQ(host.Boxes()[0].kind, 3);
  ASSERT_EQ(host.FileDialogs().size(), 1u);
  EXPECT_EQ(host.FileDialogs()[0].title, "Where is \"" + m.from + "/a.wav\"?");
  EXPECT_EQ(LastLocatedFolder().Std(), m.to);
  ASSERT_EQ(map.GetCount(), 3);
  for (int i = 0; i < 3; ++i) {
    IAudioFileBuf* sound = map.GetAt(i)->GetSoundFile();
    EXPECT_EQ(sound->GetState(), soundstate::Loaded) << i;
    EXPECT_EQ(sound->GetFileName()->GetFolder().Std(), m.to);
    // Located at 22050 Hz: the entry plays it at its own pitch, not an octave high.
    const double expected = 22050.0 * std::pow(2.0, (69 - map.GetAt(i)->GetRootKey()) / 12.0) / 44100 / 440;
    EXPECT_NEAR(map.GetAt(i)->GetStep(), expected, 1e-8) << i;
  }
}

TEST_F(SoundPoolTest, LocateQuestionsAndCounts) {
  const std::string one = "A Soundfile was referenced but not found.\nYou may want to locate / replace this File "
                          "in the Module's Properties Dialog.\nTo avoid Loss of Sample Data, check the \"Backup "
                          "Soundfiles with Module\" - Option.";
  const std::string many = "Soundfiles were referenced but not found.\nYou may want to locate / replace these "
                           "Files in the Module's Properties Dialog.\nTo avoid Loss of Sample Data, check the "
                           "\"Backup Soundfiles with Module\" - Option.";
  struct Case {
    const char* tag;
    std::vector<int> answers; // to the locate questions
    int questions;
    std::string final;
  } cases[] = {
      {"no", {3, 3, 3}, 3, "3 " + many},
      {"cancel", {1}, 1, "3 " + many},
      {"nocancel", {3, 1}, 2, "3 " + many},
  };
  for (const Case& c : cases) {
    MissingSounds m = MakeMissing(*this, c.tag, {"a.wav", "b.wav", "c.wav"}, "");
    testkit::ScriptedHost host;
    for (int a : c.answers) host.QueueAnswer(a);
    host.QueueAnswer(0);
    TAudioFileMap map(nullptr, 0);
    EPtr<IFileName> file(NameOf(m.mapPath));
    map.Load(file.Get());
    ASSERT_EQ(int(host.Boxes().size()), c.questions + 1) << c.tag;
    EXPECT_EQ(host.Boxes().back().text, c.final) << c.tag;
    EXPECT_EQ(map.GetCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(map.GetAt(i)->GetSoundFile()->GetState(), soundstate::NotFound);
  }
  // One missing sound, answered No.
  MissingSounds m = MakeMissing(*this, "single", {"a.wav"}, "");
  testkit::ScriptedHost host;
  host.QueueAnswer(3);
  host.QueueAnswer(0);
  TAudioFileMap map(nullptr, 0);
  EPtr<IFileName> file(NameOf(m.mapPath));
  map.Load(file.Get());
  ASSERT_EQ(host.Boxes().size(), 2u);
  EXPECT_EQ(host.Boxes()[1].text, one);
}

TEST_F(SoundPoolTest, QuietPassStillTriesTheLocatedFolder) {
  MissingSounds m = MakeMissing(*this, "quiet", {"a.wav", "b.wav"}, "moved");
  fs::rename(m.to + "/b.wav", m.from + "-gone.wav");
  testkit::ScriptedHost host; // nothing may be shown
  TAudioFileMap map(nullptr, 0);
  LastLocatedFolder() = TStr(m.to);
  {
    EPtr<IFile> in(CreateFileObject());
    EPtr<IFileName> file(NameOf(m.mapPath));
    in->OpenRead(file.Get());
    BeginSoundfileLoad();
    map.Read(in.Get());
    LoadPendingSoundfiles(0);
  }
  EXPECT_TRUE(host.Boxes().empty());
  EXPECT_EQ(map.GetAt(0)->GetSoundFile()->GetState(), soundstate::Loaded);
  EXPECT_EQ(map.GetAt(1)->GetSoundFile()->GetState(), soundstate::NotFound);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(dynamic_cast<TAudioFileBuf*>(map.GetAt(i)->GetSoundFile())->GetReportFlag(), 0);
}

TEST_F(SoundPoolTest, EditorWorksOnTheFileOrOnACopyInTheTemporaryFolder) {
  const std::string folder = Folder("edit");
  const std::string editor = folder + "/waveeditor";
  PutFileBytes(editor, {'#', '!'});
  services.editor->SetPath(TStr(editor));
  const std::string path = folder + "/C3.wav";
  TSound s;
  s.frames = 500;
  WriteSound(path, s);
  TAudioFileMap map(nullptr, 0);
  EPtr<IFileName> name(NameOf(path));
  map.Add(name.Get());
  IAudioFileBuf* sound = map.GetAt(0)->GetSoundFile();
  sound->EditExternally();
  ASSERT_EQ(services.started.size(), 1u);
  EXPECT_EQ(services.started[0].program, editor);
  EXPECT_EQ(services.started[0].argument, path);

  // A sound restored from an embedded copy has no file: the editor gets a copy.
  TMemInOut stored;
  ClearWrittenMarks();
  map.Write(&stored, 1);
  map.Clear();
  fs::remove(path);
  stored.Seek(0);
  map.Read(&stored);
  sound = map.GetAt(0)->GetSoundFile();
  ASSERT_EQ(sound->GetState(), soundstate::Elsewhere);
  sound->EditExternally();
  ASSERT_EQ(services.started.size(), 2u);
  const std::string copy = services.tmp->GetFolder().Std() + "/C3.wav";
  EXPECT_EQ(services.started[1].argument, copy);
  ASSERT_TRUE(fs::exists(copy));
  // The editor changes the copy; Reload reads it back.
  s.frames = 700;
  WriteSound(copy, s);
  sound->Reload();
  EXPECT_EQ(sound->GetSampleBuf()->GetLength(), 700);
  EXPECT_EQ(sound->GetState(), soundstate::Elsewhere);
  map.Clear();
  EXPECT_FALSE(fs::exists(copy));
}

TEST_F(SoundPoolTest, TwoCopiesOfTheSamePlainNameDoNotMeet) {
  const std::string folder = Folder("edit2");
  services.editor->SetPath(TStr(folder + "/ed"));
  PutFileBytes(folder + "/ed", {'x'});
  fs::create_directories(folder + "/Piano");
  fs::create_directories(folder + "/Strings");
  TAudioFileMap map(nullptr, 0);
  for (const char* f : {"/Piano/C3.wav", "/Strings/C3.wav"}) {
    WriteSound(folder + f);
    EPtr<IFileName> name(NameOf(folder + f));
    map.Add(name.Get());
  }
  TMemInOut stored;
  ClearWrittenMarks();
  map.Write(&stored, 1);
  map.Clear();
  fs::remove(folder + "/Piano/C3.wav");
  fs::remove(folder + "/Strings/C3.wav");
  stored.Seek(0);
  map.Read(&stored);
  ASSERT_EQ(map.GetCount(), 2);
  map.GetAt(0)->GetSoundFile()->EditExternally();
  map.GetAt(1)->GetSoundFile()->EditExternally();
  ASSERT_EQ(services.started.size(), 2u);
  EXPECT_NE(services.started[0].argument, services.started[1].argument);
}

TEST_F(SoundPoolTest, UnknownEditorIsAskedForOnce) {
  const std::string folder = Folder("noeditor");
  WriteSound(folder + "/a.wav");
  const std::string editor = folder + "/editor";
  PutFileBytes(editor, {'x'});
  TAudioFileMap map(nullptr, 0);
  EPtr<IFileName> name(NameOf(folder + "/a.wav"));
  map.Add(name.Get());
  IAudioFileBuf* sound = map.GetAt(0)->GetSoundFile();
  testkit::ScriptedHost host;
  host.QueueAnswer(3); // no editor installed
  sound->EditExternally();
  host.QueueAnswer(2);
  host.QueueFileCancel();
  sound->EditExternally();
  host.QueueAnswer(2);
  host.QueueFileChoice(editor);
  sound->EditExternally();
  sound->EditExternally(); // known now: no question
  ASSERT_EQ(host.Boxes().size(), 3u);
  EXPECT_EQ(host.Boxes()[0].text, "Is there a sample-editing-application installed?");
  ASSERT_EQ(host.FileDialogs().size(), 2u);
  EXPECT_EQ(host.FileDialogs()[0].title, "Please locate sample-editing application");
  ASSERT_EQ(services.started.size(), 2u);
  // The program is started by its own path: nothing is appended to it.
  EXPECT_EQ(services.started[0].program, editor);
}

TEST_F(SoundPoolTest, AnalysisCanBeSavedIntoTheSoundFile) {
  const std::string path = Folder("analyse") + "/a.wav";
  TSound s;
  s.frames = 4410;
  WriteSound(path, s);
  testkit::ScriptedHost host;
  host.QueueAnswer(2); // save the analysed file
  TAudioFileMapEntry user(nullptr);
  EPtr<IFileName> name(NameOf(path));
  IAudioFileBuf* sound = AcquireSoundFile(&user, name.Get(), 1);
  EXPECT_NE(sound->GetAnalysis(), nullptr);
  ASSERT_EQ(host.Boxes().size(), 1u);
  sound->Release(&user);
  EPtr<IAudioFile> file(OpenAudioFile(name.Get(), 1024));
  EXPECT_NE(file->GetAnalysis(), nullptr);
  // A save that fails is reported; the analysis stays.
  file.Set(nullptr);
  IAudioFileBuf* again = AcquireSoundFile(&user, name.Get(), 0);
  dynamic_cast<TAudioFileBuf*>(again)->GetFileName()->SetFolder(TStr("/proc/no/such/folder"));
  host.QueueAnswer(2);
  host.QueueAnswer(0);
  dynamic_cast<TAudioFileBuf*>(again)->Analyse();
  EXPECT_NE(again->GetAnalysis(), nullptr);
  ASSERT_EQ(host.Boxes().size(), 3u);
  EXPECT_NE(host.Boxes()[2].text.find("\nThe folder does not exist."), std::string::npos) << host.Boxes()[2].text;
  again->Release(&user);
}

// Makes a file unwritable even for a privileged user, and writable again at the end.
class TWriteProtect {
public:
  explicit TWriteProtect(std::string path) : path_(std::move(path)) {
    fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    immutable_ = std::system(("chattr +i '" + path_ + "' 2>/dev/null").c_str()) == 0;
  }
  ~TWriteProtect() {
    if (immutable_) (void)std::system(("chattr -i '" + path_ + "' 2>/dev/null").c_str());
    fs::permissions(path_, fs::perms::owner_all);
  }

private:
  std::string path_;
  bool immutable_ = false;
};

TEST_F(SoundPoolTest, BatchAnalysisCountsEveryFileAndAnalysesTheUnanalysed) {
  const std::string folder = Folder("batch");
  fs::create_directories(folder + "/sub");
  TSound s;
  s.frames = 2205;
  s.analysed = true;
  WriteSound(folder + "/a_done.wav", s);
  s.analysed = false;
  WriteSound(folder + "/b_plain.wav", s);
  WriteSound(folder + "/c_locked.wav", s);
  PutFileBytes(folder + "/sub/d_junk.wav", std::vector<uint8_t>(100, 0));
  TWriteProtect locked(folder + "/c_locked.wav");
  {
    EPtr<IFile> probe(CreateFileObject());
    EPtr<IFileName> name(NameOf(folder + "/c_locked.wav"));
    ASSERT_THROW(probe->OpenReadWrite(name.Get()), TError) << "this test needs a file it cannot write";
  }
  testkit::ScriptedHost host;
  host.QueueAnswer(2); // proceed
  host.QueueFileChoice(folder + "/b_plain.wav");
  host.QueueAnswer(2); // save b_plain.wav with its analysis
  host.QueueAnswer(0);
  BatchAnalyseSoundfiles();
  ASSERT_EQ(host.Boxes().size(), 3u);
  EXPECT_EQ(host.Boxes()[2].text, "Batch Analysis done: investigated 3 soundfiles; analysed 1 soundfiles.");
  EXPECT_EQ(host.FileDialogs()[0].title, "Please choose where to start batch-analysis");
  EXPECT_EQ(services.driver.pauses, 1);
  EXPECT_EQ(services.driver.depth, 0);
  EPtr<IFileName> plain(NameOf(folder + "/b_plain.wav"));
  EPtr<IAudioFile> file(OpenAudioFile(plain.Get(), 1024));
  EXPECT_NE(file->GetAnalysis(), nullptr);
  EXPECT_EQ(PoolSize(), 0);
}

TEST_F(SoundPoolTest, BatchAnalysisDeclinedOrCancelledResumesTheDriver) {
  testkit::ScriptedHost host;
  host.QueueAnswer(3);
  BatchAnalyseSoundfiles();
  EXPECT_EQ(services.driver.pauses, 0);
  host.QueueAnswer(2);
  host.QueueFileCancel();
  BatchAnalyseSoundfiles();
  EXPECT_EQ(services.driver.pauses, 1);
  EXPECT_EQ(services.driver.depth, 0);
  EXPECT_EQ(host.Boxes().size(), 2u);
}

TEST_F(SoundPoolTest, EmbeddedCopyArrivingLaterRetunesTheEarlierUsers) {
  const std::string path = Folder("later") + "/a.wav";
  TSound s;
  s.rate = 22050;
  s.frames = 2205;
  WriteSound(path, s);
  const TRefs refs = WrittenRefs(path);
  fs::remove(path);
  // One map refers to the missing sound without a copy, a second one brings the copy.
  TTestOwner owner;
  TAudioFileMap first(&owner, 0), second(&owner, 0);
  for (auto [map, ref] : {std::pair{&first, &refs.bare}, std::pair{&second, &refs.embedded}}) {
    TBytes t{0, {}};
    t.U32(0).U32(200).U32(1).U32(1).U32(1).U32(0).Str("").Str("").U32(0);
    t.b.insert(t.b.end(), ref->begin(), ref->end());
    for (int i = 0; i < 16; ++i) t.U32(i == 1 ? 60 : i == 15 ? 85 : 0); // root key 60, tempo 85
    TMemInOut in(t.b);
    map->Read(&in);
  }
  ASSERT_EQ(first.GetAt(0)->GetSoundFile(), second.GetAt(0)->GetSoundFile());
  EXPECT_EQ(first.GetAt(0)->GetSoundFile()->GetState(), soundstate::Elsewhere);
  EXPECT_FLOAT_EQ(first.GetAt(0)->GetStep(), second.GetAt(0)->GetStep());
  EXPECT_NEAR(first.GetAt(0)->GetStep(), 0.0038223f / 2, 1e-7f);
  EXPECT_EQ(first.GetAt(0)->GetLength16(), 4);
  LoadPendingSoundfiles(0);
}

TEST_F(SoundPoolTest, MissingSoundIsNeitherSavedNorEmbedded) {
  const std::string folder = Folder("stand-in");
  TBytes t{0, {}};
  t.Str(folder).Str("gone.wav").U32(4).U32(0);
  TMemInOut in(t.b);
  TAudioFileMapEntry user(nullptr);
  IAudioFileBuf* sound = ReadSoundFileRef(&user, &in, 0, 200);
  ASSERT_EQ(sound->GetState(), soundstate::NotFound);
  EPtr<IFileName> elsewhere(NameOf(folder + "/copy.wav"));
  sound->SaveAs(elsewhere.Get());
  EXPECT_FALSE(fs::exists(folder + "/copy.wav"));
  EXPECT_EQ(sound->GetFileName()->GetName(1).Std(), "gone.wav");
  // Written with embedding, the reference carries no silent stand-in.
  EXPECT_EQ(RefBytes(sound, 1), t.b);
  LoadPendingSoundfiles(0);
  sound->Release(&user);
}

} // namespace
