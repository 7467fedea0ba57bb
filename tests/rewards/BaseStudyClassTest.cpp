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
    } else {
      std::cerr << "unknown global variable " << name << std::endl;
    }
  }

  short size = 13;
  bool flag = false;
  char letter = '?';
  double ratio = 0.0;
  float scale = 0.0f;
  int count = 0;
  std::int32_t big = 0;
  int calls = 0;
};

std::string Override(OverrideStudy& study, const char* text) {
  testing::internal::CaptureStdout();
  study.overrideGVs(text);
  return testing::internal::GetCapturedStdout();
}

TEST(OverrideGVsTest, ShortValuesReadLikeTheIntegerScan) {
  OverrideStudy study;
  EXPECT_EQ(Override(study, "s:size:20"), "");
  EXPECT_EQ(study.size, 20);
  Override(study, "s:size:0x10");
  EXPECT_EQ(study.size, 16);
  Override(study, "s:size:010");
  EXPECT_EQ(study.size, 8);
  Override(study, "s:size:-3");
  EXPECT_EQ(study.size, -3);
}

TEST(OverrideGVsTest, EmptyFieldsSeparateNothing) {
  OverrideStudy study;
  Override(study, "s::size:20");
  EXPECT_EQ(study.size, 20);
  Override(study, "::s:size:::21::");
  EXPECT_EQ(study.size, 21);
  EXPECT_EQ(study.calls, 2);
}

TEST(OverrideGVsTest, MissingNameOrValueStopsWithMessageKeepingEarlierTriples) {
  OverrideStudy study;
  EXPECT_EQ(Override(study, "s:size"), "Not enough double override tokens");
  EXPECT_EQ(study.size, 13);
  EXPECT_EQ(study.calls, 0);

  EXPECT_EQ(Override(study, "s:size:20:b:flag"), "Not enough double override tokens");
  EXPECT_EQ(study.size, 20);
  EXPECT_FALSE(study.flag);

  EXPECT_EQ(Override(study, "s"), "Not enough double override tokens");
}

TEST(OverrideGVsTest, UnknownTypeLetterSkipsOnlyItsTriple) {
  OverrideStudy study;
  EXPECT_EQ(Override(study, "s:size:20:x:foo:1"), "Type x not recognized\n");
  EXPECT_EQ(study.size, 20);
  EXPECT_EQ(study.calls, 1);

  EXPECT_EQ(Override(study, "q:size:1:s:size:30"), "Type q not recognized\n");
  EXPECT_EQ(study.size, 30);
}

TEST(OverrideGVsTest, BoolPassesWhetherTheShortIsNonZero) {
  OverrideStudy study;
  Override(study, "b:flag:7");
  EXPECT_TRUE(study.flag);
  Override(study, "b:flag:0");
  EXPECT_FALSE(study.flag);
  Override(study, "b:flag:0x100");
  EXPECT_TRUE(study.flag);
}

TEST(OverrideGVsTest, EachTypeLetterPassesItsOwnType) {
  OverrideStudy study;
  EXPECT_EQ(Override(study,
                     "c:letter:xyz:d:ratio:2.5:f:scale:0.25:i:count:-12:l:big:0x7fffffff:"
                     "short:size:5"),
            "");
  EXPECT_EQ(study.letter, 'x');
  EXPECT_DOUBLE_EQ(study.ratio, 2.5);
  EXPECT_FLOAT_EQ(study.scale, 0.25f);
  EXPECT_EQ(study.count, -12);
  EXPECT_EQ(study.big, 2147483647);
  EXPECT_EQ(study.size, 5);  // only the type field's first character counts
}

TEST(OverrideGVsTest, ValueThatDoesNotConvertIsSkippedWithMessage) {
  OverrideStudy study;
  EXPECT_EQ(Override(study, "s:size:abc:i:count:4"),
            "Value abc of global variable size does not convert to type s; override skipped\n");
  EXPECT_EQ(study.size, 13);
  EXPECT_EQ(study.count, 4);

  // A number the variable's type cannot hold is not wrapped around.
  EXPECT_EQ(Override(study, "s:size:40000"),
            "Value 40000 of global variable size does not convert to type s; override skipped\n");
  EXPECT_EQ(study.size, 13);
  EXPECT_NE(Override(study, "d:ratio:x1"), "");
  EXPECT_DOUBLE_EQ(study.ratio, 0.0);
}

TEST(OverrideGVsTest, NameTheStudyDoesNotKnowIsLeftToTheStudy) {
  OverrideStudy study;
  testing::internal::CaptureStderr();
  EXPECT_EQ(Override(study, "s:Size:20:s:size:21"), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "unknown global variable Size\n");
  EXPECT_EQ(study.size, 21);

  BaseStudyClass base;  // knows no variable and says nothing
  testing::internal::CaptureStdout();
  base.overrideGVs("s:size:20");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(OverrideGVsTest, NullStringChangesNothingAndPrintsNothing) {
  OverrideStudy study;
  EXPECT_EQ(Override(study, nullptr), "");
  EXPECT_EQ(study.calls, 0);
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
  EXPECT_EQ(study.GetNumGVs(), 2);
  EXPECT_STREQ(study.GetGVName(0), "size");
  EXPECT_STREQ(study.GetGVType(1), "bool");
  EXPECT_EQ(study.GetGVName(2), nullptr);
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
