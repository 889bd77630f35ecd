// Reading and editing INI text: names matched as the private-profile functions match them, and every
// byte that is not the written key's value kept.
#include "settings/ini_text.h"

#include <gtest/gtest.h>

namespace sd::settings::ini {
namespace {

TEST(IniFindValue, MatchesNamesAndTrimsValues) {
  const std::string text =
      "; settings of the till\r\n"
      "[Other]\r\n"
      "IP=10.0.0.1\r\n"
      "  [ remotediscount ]  \r\n"
      "  ip  =   192.168.1.5   \r\n"
      "Quoted=\"  spaced  \"\r\n"
      "Single='x'\r\n"
      "Lonely=\"x\r\n"
      "Empty=\r\n"
      ";Port=1\r\n"
      "Port=6020\r\n"
      "Port=7000\r\n"
      "NoEquals\r\n"
      "[RemoteDiscount]\r\n"
      "Portbn=1\r\n";
  EXPECT_EQ(FindValue(text, "RemoteDiscount", "IP"), "192.168.1.5");
  EXPECT_EQ(FindValue(text, "Other", "ip"), "10.0.0.1");
  EXPECT_EQ(FindValue(text, "RemoteDiscount", "Quoted"), "  spaced  ");
  EXPECT_EQ(FindValue(text, "RemoteDiscount", "Single"), "x");
  EXPECT_EQ(FindValue(text, "RemoteDiscount", "Lonely"), "\"x");
  EXPECT_EQ(FindValue(text, "RemoteDiscount", "Empty"), "");
  EXPECT_EQ(FindValue(text, "RemoteDiscount", "Port"), "6020");  // the first one, not the comment
  EXPECT_EQ(FindValue(text, "RemoteDiscount", "Portbn"), std::nullopt);  // only the first section counts
  EXPECT_EQ(FindValue(text, "RemoteDiscount", "NoEquals"), std::nullopt);
  EXPECT_EQ(FindValue(text, "Missing", "IP"), std::nullopt);
  EXPECT_EQ(FindValue("", "RemoteDiscount", "IP"), std::nullopt);
  EXPECT_EQ(FindValue("IP=1\n[RemoteDiscount]\n", "RemoteDiscount", "IP"), std::nullopt);
  EXPECT_EQ(FindValue("\xEF\xBB\xBF[A]\nk=v", "a", "K"), "v");
  EXPECT_EQ(FindValue("[A]\r\nk=v\r", "A", "k"), "v");  // a file cut after its last carriage return
}

TEST(IniSetValue, ReplacesOnlyTheValue) {
  EXPECT_EQ(SetValue("[A]\r\nk = old value  \r\n; note\r\n\r\n[B]\r\nk=1\r\n", "a", "K", "new"),
            "[A]\r\nk = new\r\n; note\r\n\r\n[B]\r\nk=1\r\n");
  EXPECT_EQ(SetValue("[A]\nk=1\nk=2", "A", "k", "3"), "[A]\nk=3\nk=2");
  EXPECT_EQ(SetValue("[A]\nk=1", "A", "k", ""), "[A]\nk=");
  EXPECT_EQ(SetValue("\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "2"), "\xEF\xBB\xBF[A]\nk=2\n");
  // A value with blanks of its own replaces the blanks before the old one, so saving it again changes nothing.
  EXPECT_EQ(SetValue("[A]\nk =  old\n", "A", "k", "  new "), "[A]\nk =  new \n");
}

TEST(IniSetValue, AddsAMissingKeyAfterTheSectionsLastLine) {
  struct Case {
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "[A]\r\nx=1\r\nk=v\r\n\r\n[B]\r\ny=2\r\n"},
      {"[A]\nx=1\n; last\n\n\n", "[A]\nx=1\n; last\nk=v\n\n\n"},
      {"[A]\n[B]\n", "[A]\nk=v\n[B]\n"},
      {"[A]\r\nx=1", "[A]\r\nx=1\r\nk=v\r\n"},
      {"[A]", "[A]\r\nk=v\r\n"},
      {"[A]\nx=1\r", "[A]\nx=1\r\nk=v\n"},
      {"[B]\nk=1\n[A]\n", "[B]\nk=1\n[A]\nk=v\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(SetValue(c.before, "A", "k", "v"), c.after) << c.before;
}

TEST(IniSetValue, AppendsAMissingSectionWithTheFilesLineEnding) {
  struct Case {
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"", "[A]\r\nk=v\r\n"},
      {"[B]\nx=1\n", "[B]\nx=1\n\n[A]\nk=v\n"},
      {"[B]\r\nx=1", "[B]\r\nx=1\r\n\r\n[A]\r\nk=v\r\n"},
      {"[B]\r\nx=1\r\n\r\n", "[B]\r\nx=1\r\n\r\n[A]\r\nk=v\r\n"},
      {"; only a comment", "; only a comment\r\n\r\n[A]\r\nk=v\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(SetValue(c.before, "A", "k", "v"), c.after) << c.before;
}

TEST(IniSetValue, WhatIsWrittenReadsBack) {
  std::string text = "; header\n[X]\nIP=1\n";
  for (const char* value : {"localhost", "", "a=b", "[x]", "; not a comment"}) {
    text = SetValue(text, "RemoteDiscount", "IP", value);
    EXPECT_EQ(FindValue(text, "RemoteDiscount", "IP"), value);
    EXPECT_EQ(FindValue(text, "X", "IP"), "1");
  }
}

}  // namespace
}  // namespace sd::settings::ini
