#include "rewards/BaseStudyClass.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>

namespace {

// A study with one global variable of each type the override string can name;
// like a generated study it copies as many bytes as the variable's type needs
// and reports names it does not know.
class OverrideStudy : public BaseStudyClass {
 public:
  OverrideStudy() {
    AddGlobalVariable("size", "short");
    AddGlobalVariable("flag", "bool");
    AddGlobalVariable("letter", "char");
    AddGlobalVariable("ratio", "double");
    AddGlobalVariable("scale", "float");
    AddGlobalVariable("count", "int");
    AddGlobalVariable("big", "long");
    NumExps = 1;
  }

  void OverrideGVValue(const char* name, void* value) override {
    ++calls;
    if (std::strcmp(name, "size") == 0) {
      std::memcpy(&size, value, sizeof size);
    } else if (std::strcmp(name, "flag") == 0) {
      std::memcpy(&flag, value, sizeof flag);
    } else if (std::strcmp(name, "letter") == 0) {
      std::memcpy(&letter, value, sizeof letter);
    } else if (std::strcmp(name, "ratio") == 0) {
      std::memcpy(&ratio, value, sizeof ratio);
    } else if (std::strcmp(name, "scale") == 0) {
      std::memcpy(&scale, value, sizeof scale);
    } else if (std::strcmp(name, "count") == 0) {
      std::memcpy(&count, value, sizeof count);
    } else if (std::strcmp(name, "big") == 0) {
      std::memcpy(&big, value, sizeof big);
    }
  }

  short size = 13;
  bool flag = false;
  char letter = '?';
  double ratio = 0.0;
  float scale = 0.0f;
  int count = 0;
  long big = 0;
  int calls = 0;
};

TEST(OverrideGVsTest, EachTypeLetterSetsItsOwnTypeWhole) {
  OverrideStudy study;
  std::string error;
  ASSERT_TRUE(study.overrideGVs("c:letter:x:d:ratio:2.5:f:scale:0.25:i:count:-12:l:big:0x7fffffffff:"
                                "s:size:010:b:flag:1",
                                &error))
      << error;
  EXPECT_EQ(study.letter, 'x');
  EXPECT_DOUBLE_EQ(study.ratio, 2.5);
  EXPECT_FLOAT_EQ(study.scale, 0.25f);
  EXPECT_EQ(study.count, -12);
  EXPECT_EQ(study.big, 0x7fffffffffL);
  EXPECT_EQ(study.size, 8);
  EXPECT_TRUE(study.flag);
  EXPECT_EQ(error, "");
  // Empty fields separate nothing.
  EXPECT_TRUE(study.overrideGVs("::s:size:::21::"));
  EXPECT_EQ(study.size, 21);
  EXPECT_TRUE(study.overrideGVs(nullptr));
}

// A refused string names the triple and the reason and changes nothing, not
// even the triples before the one refused.
TEST(OverrideGVsTest, AnyTripleThatCannotBeAppliedRefusesTheWholeString) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"s:sise:20", "override 's:sise:20': the study has no global variable 'sise'"},
      {"c:size:x", "override 'c:size:x': 'size' is declared short, not char"},
      {"d:size:20", "override 'd:size:20': 'size' is declared short, not double"},
      {"f:size:20", "'size' is declared short, not float"},
      {"i:size:65549", "'size' is declared short, not int"},
      {"s:size:abc", "override 's:size:abc': value 'abc' is not a valid short (a whole number from -32768 to 32767)"},
      {"s:size:70000", "value '70000' is not a valid short"},
      {"s:size:20x", "value '20x' is not a valid short"},
      {"s:size: 20", "value ' 20' is not a valid short"},
      {"i:count:2147483648", "value '2147483648' is not a valid int"},
      {"b:flag:7", "value '7' is not a valid bool (0 or 1)"},
      {"c:letter:xy", "value 'xy' is not a valid char (one character)"},
      {"d:ratio:x1", "value 'x1' is not a valid double"},
      {"d:ratio:nan", "value 'nan' is not a valid double"},
      {"f:scale:1e39", "value '1e39' is not a valid float"},
      {"size=20", "override 'size=20': a triple needs a type letter, a name and a value"},
      {"s:size:20:b:flag", "override 'b:flag': a triple needs"},
      {"short:size:5", "override 'short:size:5': type 'short' is not one of b, c, d, f, i, l, s"},
      {"s:size:20:q:size:1", "type 'q' is not one of"},
  };
  for (const auto& c : cases) {
    OverrideStudy study;
    std::string error;
    EXPECT_FALSE(study.overrideGVs(c.text, &error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
    EXPECT_EQ(study.calls, 0) << c.text;
    EXPECT_EQ(study.size, 13) << c.text;
  }
}

TEST(BaseStudyClassTest, ExperimentNamesShareOneBuffer) {
  char* first = BaseStudyClass::GetExpName(0);
  EXPECT_STREQ(first, "Experiment 1");
  char* second = BaseStudyClass::GetExpName(11);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "Experiment 12");
}

TEST(BaseStudyClassTest, BaseBehaviourAndAccessors) {
  OverrideStudy study;
  EXPECT_EQ(study.GetNumGVs(), 7);
  EXPECT_STREQ(study.GetGVName(0), "size");
  EXPECT_STREQ(study.GetGVType(1), "bool");
  EXPECT_EQ(study.GetGVName(7), nullptr);
  EXPECT_EQ(study.GetNumExps(), 1);
  EXPECT_EQ(study.GetPVModel(true), nullptr);
  EXPECT_EQ(study.GetGVValue("size"), nullptr);

  EXPECT_STREQ(study.GetDefaultQuelixRoot(), "");
  std::string root = "/opt/root/";
  study.SetDefaultQuelixRoot(root.c_str());
  root[1] = 'X';
  EXPECT_STREQ(study.GetDefaultQuelixRoot(), "/opt/root/");

  testing::internal::CaptureStdout();
  study.SetGVs(0);
  study.PrintGlobalValues(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "basestudyclass::SetGVs\n");
}

}  // namespace
