// The info report on the native engine: IDs and flags as text, every parameter with its editor
// label and value, both programs, and the current program left as it was.

#include "tools/mvrender/effect_info.h"

#include <gtest/gtest.h>

#include "vst/vocoder.h"

namespace {

TEST(EffectInfo, ReportsWhatAHostSees) {
  Vocoder vocoder(nullptr);
  vocoder.setProgram(1);
  vocoder.setProgramName(const_cast<char*>("Second"));
  vocoder.setProgram(0);
  const std::string info = describeEffect(vocoder.getAeffect());
  for (const char* expected :
       {"magic          'VstP'\n", "unique ID      'MvQz' (0x4D76517A)\n", "flags          0x10: can replace\n",
        "inputs         2\n", "outputs        2\n", "identify       'NvEf'\n", "parameters     8\n",
        "    0  carrier      1          (editor label; the host gets no name)\n",
        "    2  filter       0.4        (editor label", "    6  switch C/S   0          (editor label",
        "programs       2 (current: 0)\n", "    0  Smooth Mulch\n", "    1  Second\n"}) {
    EXPECT_NE(std::string::npos, info.find(expected)) << "missing: " << expected << "\n" << info;
  }
  EXPECT_EQ(0, vocoder.getProgram()) << "reading the names leaves the current program as it was";
  EXPECT_EQ("'Ab?d'", fourCharText(fourCharCode('A', 'b', '\n', 'd')));
}

}  // namespace
