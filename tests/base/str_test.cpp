#include "src/base/str.h"
#include "src/base/system.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

TEST(TStr, ValueSemantics) {
  TStr empty;
  EXPECT_EQ(empty.Length(), 0);
  EXPECT_STREQ(empty.CStr(), "");
  EXPECT_TRUE(empty.IsEmpty());

  TStr a("abc");
  TStr b(a);
  b += TStr("d");
  EXPECT_EQ(a, TStr("abc"));
  EXPECT_EQ(b, TStr("abcd"));
  a = a;
  EXPECT_EQ(a, TStr("abc"));
  a += a;
  EXPECT_EQ(a, TStr("abcabc"));

  // Bytes, embedded NULs included, survive copies.
  TStr bin("a\0b", 3);
  TStr bin2(bin);
  EXPECT_EQ(bin2.Length(), 3);
  EXPECT_EQ(bin2, bin);
}

TEST(TStr, Ordering) {
  EXPECT_TRUE(TStr("abc") < TStr("abd"));
  EXPECT_TRUE(TStr("ab") < TStr("abc"));
  EXPECT_FALSE(TStr("abc") < TStr("ab"));
  EXPECT_TRUE(TStr("z") < TStr("\xE9"));
}

TEST(TStr, FindAndMid) {
  TStr s("hello");
  EXPECT_EQ(s.Find('l', 1), 2);
  EXPECT_EQ(s.Find('l', 0), 3);
  EXPECT_EQ(s.Find('x', 1), -1);
  EXPECT_EQ(s.FindStr(TStr("llo")), 2);
  EXPECT_EQ(s.FindStr(TStr("lx")), -1);
  EXPECT_EQ(s.Mid(2, 100), TStr("llo"));
  EXPECT_TRUE(s.Mid(5, 1).IsEmpty());
  EXPECT_TRUE(s.Mid(0, 0).IsEmpty());
}

TEST(TStr, EditInPlace) {
  TStr s("Hello World");
  s.ToUpper();
  EXPECT_EQ(s, TStr("HELLO WORLD"));
  s.ToLower();
  EXPECT_EQ(s, TStr("hello world"));
  s.RemoveChar('o');
  EXPECT_EQ(s, TStr("hell wrld"));
  EXPECT_EQ(s.Length(), 9);

  TStr p("42");
  p.Pad(5, '0', 1);
  EXPECT_EQ(p, TStr("00042"));
  TStr q("42");
  q.Pad(5, ' ', 0);
  EXPECT_EQ(q, TStr("42   "));
  TStr r("12345");
  r.Pad(5, '0', 1);
  EXPECT_EQ(r, TStr("12345"));
}

TEST(TStr, CutLine) {
  struct Case {
    const char* text;
    int width;
    const char* line;
    const char* rest;
  } cases[] = {
      {"first line\nsecond", 10, "first line", "second"},
      {"alpha beta gamma", 8, "alpha", "beta gamma"},
      {"abcdefgh", 4, "abcd", "efgh"},
      {"no newline here", 0, "no newline here", ""},
      {"a\n", 0, "a", ""},
  };
  for (const auto& c : cases) {
    TStr s(c.text);
    EXPECT_EQ(s.CutLine(c.width), TStr(c.line)) << c.text;
    EXPECT_EQ(s, TStr(c.rest)) << c.text;
  }
  EXPECT_EQ(TStr("a\nb\nc").CountLines(), 3);
  EXPECT_EQ(TStr("").CountLines(), 0);
}

TEST(TStr, PascalStrings) {
  unsigned char buf[300];
  std::string longText(300, 'x');
  longText[3] = '\n';
  TStr s(longText);
  TStr rest = s.ToPStr(buf);
  EXPECT_EQ(buf[0], 255);
  EXPECT_EQ(buf[4], '\r');
  EXPECT_EQ(rest.Length(), 45);
  TStr back;
  back.AssignPStr(buf);
  EXPECT_EQ(back.Length(), 255);
}

TEST(TStr, SetReal) {
  struct Case {
    float value;
    int places;
    const char* text;
  } cases[] = {
      {12345.0f, 4, ">>"},   {-10000.0f, 4, "<<"}, {0.0005f, 4, "0"},       {0.0005f, 5, "0.0005"},
      {0.25f, 4, "0.25"},    {0.25f, 5, "0.25"},   {3.14159f, 4, "3.142"},  {3.14159f, 5, "3.1416"},
      {0.005f, 4, "0.005"},  {0.05f, 4, "0.05"},   {0.5f, 4, "0.5"},        {12.34f, 4, "12.34"},
      {12345.0f, 5, "12345"}, {100000.0f, 5, ">>"}, {-0.5f, 4, "-0.5"},       {0.0f, 5, "0"},
  };
  for (const auto& c : cases) {
    TStr s;
    s.SetReal(c.value, c.places);
    EXPECT_EQ(s.Std(), c.text) << c.value << " at " << c.places;
  }
}

TEST(TStr, FormatAndParse) {
  EXPECT_EQ(FormatStr("%d-%s", 7, "x"), TStr("7-x"));
  std::string big(5000, 'q');
  EXPECT_EQ(FormatStr("%s!", big.c_str()).Length(), 5001); // never cut at 4095

  uint32_t u = 0;
  EXPECT_EQ(TStr("  42 rest").ParseULong(u), TStr(" rest"));
  EXPECT_EQ(u, 42u);
  int32_t l = 0;
  EXPECT_EQ(TStr("-17x").ParseLong(l), TStr("x"));
  EXPECT_EQ(l, -17);
  float f = 0;
  EXPECT_EQ(TStr("0.75 dB").ParseReal(f), TStr(" dB"));
  EXPECT_FLOAT_EQ(f, 0.75f);
  float g = 3;
  EXPECT_EQ(TStr("dB").ParseReal(g), TStr("dB"));
  EXPECT_EQ(g, 3.0f);
}

TEST(TStr, NoteNames) {
  struct Case {
    int note;
    const char* name;
  } cases[] = {{60, "C3"}, {0, "C-2"}, {127, "G8"}, {61, "C#3"}, {11, "B-2"}, {12, "C-1"}};
  for (const auto& c : cases) EXPECT_EQ(FormatNoteName(c.note).Std(), c.name);
}

// Formatting must not follow the process locale: a comma-decimal locale
// must never turn "0.5" into "0,5".
TEST(TStr, IndependentOfCommaLocale) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  std::string saved = old ? old : "C";
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "the test command installs de_DE.UTF-8";
  TStr s;
  s.SetReal(0.5f, 4);
  EXPECT_EQ(s.Std(), "0.5");
  EXPECT_EQ(FormatStr("%.1f", 0.5).Std(), "0.5");
  TParamStr m(TStr("$1"));
  m.SetParamReal(1, 0.5f);
  EXPECT_EQ(m.Expand().Std(), "0.5");
  float f = 0;
  EXPECT_EQ(TStr("0.75 dB").ParseReal(f), TStr(" dB"));
  EXPECT_FLOAT_EQ(f, 0.75f);
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(TParamStr, Expansion) {
  struct Case {
    const char* text;
    const char* p1;
    const char* p2;
    const char* p3;
    const char* expanded;
  } cases[] = {
      {"Cannot open file $1.", "a.wav", "", "", "Cannot open file a.wav."},
      {"Cannot open file $1.", "", "", "", "Cannot open file ."},
      {"$1 and $1", "x", "", "", "x and x"},
      {"$2$1", "b", "a", "", "ab"},
      {"$1$2$3", "1", "2", "3", "123"},
      {"<$1>", "$2", "two", "", "<two>"},     // parameter 1 brings in $2
      {"<$1>", "$1$1", "", "", "<$1$1>"},     // its own placeholder: no endless loop
      {"<$2>", "", "$3$2", "z", "<z$2>"},
      {"no placeholders", "x", "y", "z", "no placeholders"},
  };
  for (const auto& c : cases) {
    TParamStr m{TStr(c.text)};
    m.SetParam(1, TStr(c.p1));
    m.SetParam(2, TStr(c.p2));
    m.SetParam(3, TStr(c.p3));
    m.SetParam(4, TStr("ignored"));
    EXPECT_EQ(m.Expand().Std(), c.expanded) << c.text;
  }
  TParamStr r(TStr("$2"));
  r.SetParamReal(2, 0.5f);
  EXPECT_EQ(r.Expand().Std(), "0.5");
}

QV_MESSAGE(FirstError, "first $1")
QV_MESSAGE(SecondError, "second")

namespace {
struct ThrowsInDestructor {
  ~ThrowsInDestructor() {
    DestructorBody([] { ThrowError(&SecondError()); });
  }
};
} // namespace

TEST(Errors, Protocol) {
  FirstError().SetParam(1, TStr("x"));
  try {
    ThrowError(&FirstError());
    FAIL();
  } catch (const TError& e) {
    EXPECT_STREQ(e.what(), "first x");
    EXPECT_EQ(LastError(), &FirstError());
    { ThrowsInDestructor t; } // an error inside a destructor is swallowed ...
    EXPECT_EQ(LastError(), &FirstError()); // ... and does not replace the last error
  }
  EXPECT_THROW(RethrowError(), TError);
  EXPECT_EQ(TDestructorScope::Depth(), 0);

  try {
    throw std::bad_alloc();
  } catch (...) {
    RecordCurrentException();
  }
  EXPECT_EQ(LastError()->Expand().Std(), "Memory is low.");
}

TEST(Errors, MessagesThroughTheHost) {
  testkit::ScriptedHost host;
  TParamStr q(TStr("Save $1?"));
  q.SetParam(1, TStr("x.ens"));
  for (int answer : {2, 3, 1}) {
    host.QueueAnswer(answer);
    EXPECT_EQ(ShowMessage(&q, 3), answer);
  }
  ASSERT_EQ(host.Boxes().size(), 3u);
  EXPECT_EQ(host.Boxes()[0].text, "Save x.ens?");
  EXPECT_EQ(host.Boxes()[0].caption, "Volteon");
  EXPECT_EQ(host.Boxes()[0].kind, 3);

  TParamStr cap(TStr("Error while reading ensemble file $1:"));
  cap.SetParam(1, TStr("a.ens"));
  host.QueueAnswer(0);
  ShowMessageTitled(&q, &cap, 0);
  EXPECT_EQ(host.Boxes().back().caption, "Error while reading ensemble file a.ens:");
}
