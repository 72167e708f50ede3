#include "speech/plain_setting.h"

#include <gtest/gtest.h>

#include "support/test_env.h"

namespace bc {
namespace {

struct Row {
  const char* text;
  std::optional<std::string> value;  // nullopt: only the settings store can say
};

TEST(PlainSettingTest, OnlyAPlainLineIsReadDirectly) {
  const Row rows[] = {
      {"[General]\nx=1\n\n[Voices]\nDefaultVoice=gmw/en-GB-x-rp\n", "gmw/en-GB-x-rp"},
      {"[Voices]\r\n  DefaultVoice =  roa/pt-BR \r\n[Other]\nkey=v\n", "roa/pt-BR"},
      {"[Voices]\nDefaultVoice=", ""},
      {"[Voices]\nDefaultVoice=\"gmw/en\"\n", std::nullopt},     // quoted
      {"[Voices]\nDefaultVoice=gmw\\x2fen\n", std::nullopt},     // escaped
      {"[Voices]\nDefaultVoice=a, b\n", std::nullopt},           // a list
      {"[Voices]\nDefaultVoice=@Invalid()\n", std::nullopt},     // a typed value
      {"[Voices]\nDefaultVoice=gmw/en ; old\n", std::nullopt},   // a comment after it
      {"[Voices]\nx=a\\\nDefaultVoice=gmw/en\n", std::nullopt},  // part of the line before
      {"[Voices]\nDefaultVoice=a\nDefaultVoice=b\n", std::nullopt},
      {"[Voices]\n;DefaultVoice=a\nDefaultVoice=b\n", std::nullopt},
      {"[General]\nVoices\\DefaultVoice=gmw/en\n", std::nullopt},
      {"[Other]\nDefaultVoice=gmw/en\n", std::nullopt},
      {"[Voices]\nMyDefaultVoice=gmw/en\n", std::nullopt},
      {"[Voices]\n", std::nullopt},  // missing: the store decides what follows
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PlainSettingValue(row.text, "Voices", "DefaultVoice"), row.value) << row.text;
  }
  test::TempDir dir;
  const std::string file = dir.File("Brindlecast.conf");
  EXPECT_EQ(ReadPlainSetting(file, "Voices", "DefaultVoice"), std::nullopt);  // no file yet
  test::WriteFile(file, rows[0].text);
  EXPECT_EQ(ReadPlainSetting(file, "Voices", "DefaultVoice"), "gmw/en-GB-x-rp");
  EXPECT_EQ(ReadPlainSetting(dir.path(), "Voices", "DefaultVoice"), std::nullopt);  // a folder
}

}  // namespace
}  // namespace bc
