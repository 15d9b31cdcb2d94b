// `main` as hosts call it: the version question, the notice box, independent instances, and
// closing.

#include <climits>
#include <cstring>

#include "engine/parameters.h"
#include "tests/wine/plugin_test.h"
#include "tools/testhost/notice_dismisser.h"

namespace {

const char kNoticeStart[] = "This is a beta copy of Mulchvoice 0.801v. Check out ";
const char kNoticeEnd[] = " for latest news!";

bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

TEST_F(PluginTest, HostAnsweringVersionZeroGetsNothingAndSeesNoNotice) {
  host.setVersionAnswer(0);
  EXPECT_EQ(host.instantiate(), nullptr);
  EXPECT_TRUE(host.notices().empty()) << "no notice before a refusal";
  const auto calls = host.calls();
  ASSERT_EQ(calls.size(), 1u) << "main asks the version once and stops";
  EXPECT_EQ(calls[0].opcode, audioMasterVersion);
  EXPECT_EQ(calls[0].effect, nullptr);

  // The refusal leaves nothing behind: the same host answering 1 now gets an effect.
  host.setVersionAnswer(1);
  AEffect* effect = instantiate();
  ASSERT_NE(effect, nullptr);
  EXPECT_EQ(host.close(effect), 1);
}

TEST_F(PluginTest, AnyNonZeroVersionGetsAnEffect) {
  for (int32_t version : {1, 2, 2400, -1, INT_MIN}) {
    host.setVersionAnswer(version);
    AEffect* effect = host.instantiate();
    ASSERT_NE(effect, nullptr) << "version answer " << version;
    EXPECT_EQ(effect->magic, 0x56737450) << "version answer " << version;
    EXPECT_EQ(host.close(effect), 1);
  }
}

TEST_F(PluginTest, EveryInstanceShowsTheNotice) {
  AEffect* first = instantiate();
  AEffect* second = instantiate();
  const auto notices = host.notices();
  ASSERT_EQ(notices.size(), 2u) << "one notice per instance";
  for (const testhost::Notice& notice : notices) {
    EXPECT_EQ(notice.caption, "Ferrowave");
    EXPECT_TRUE(startsWith(notice.text, kNoticeStart)) << notice.text;
    EXPECT_TRUE(endsWith(notice.text, kNoticeEnd)) << notice.text;
    ASSERT_GT(notice.text.size(), std::strlen(kNoticeStart) + std::strlen(kNoticeEnd));
    const std::string site = notice.text.substr(
        std::strlen(kNoticeStart),
        notice.text.size() - std::strlen(kNoticeStart) - std::strlen(kNoticeEnd));
    EXPECT_NE(site.find('.'), std::string::npos) << "a host name between the pieces: " << site;
    EXPECT_EQ(site.find(' '), std::string::npos) << "a host name between the pieces: " << site;
  }
  if (first != nullptr) host.close(first);
  if (second != nullptr) host.close(second);
}

TEST_F(PluginTest, InstancesAreIndependent) {
  AEffect* a = instantiate();
  AEffect* b = instantiate();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_NE(a->object, b->object);

  a->setParameter(a, kGain, 0.9f);
  dispatch(a, effSetProgram, 0, 1);
  char name[] = "Only in A";
  dispatch(a, effSetProgramName, 0, 0, name);
  EXPECT_FLOAT_EQ(b->getParameter(b, kGain), 0.3f) << "a parameter set on one instance";
  EXPECT_EQ(dispatch(b, effGetProgram), 0) << "a program switch on one instance";
  EXPECT_EQ(programName(b, 1), "Smooth Mulch") << "a rename on one instance";

  EXPECT_EQ(host.close(a), 1);
  // The survivor still answers, keeps its state and processes.
  EXPECT_EQ(dispatch(b, effIdentify), 0x4E764566);
  b->setParameter(b, kCarrier, 0.25f);
  EXPECT_FLOAT_EQ(b->getParameter(b, kCarrier), 0.25f);
  float in1[64] = {}, in2[64] = {}, out1[64], out2[64];
  for (int i = 0; i < 64; ++i) in1[i] = in2[i] = (i % 8) * 0.1f;
  float* inputs[] = {in1, in2};
  float* outputs[] = {out1, out2};
  b->processReplacing(b, inputs, outputs, 64);
  EXPECT_EQ(std::memcmp(out1, out2, sizeof out1), 0);
  EXPECT_EQ(host.close(b), 1);
}

TEST_F(PluginTest, LibraryCanBeUnloadedAndLoadedAgain) {
  AEffect* effect = instantiate();
  ASSERT_NE(effect, nullptr);
  host.unload();  // closes the effect first, as a host does
  std::string error;
  ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;
  effect = instantiate();
  ASSERT_NE(effect, nullptr);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, kFilter), 0.4f);
  EXPECT_EQ(host.close(effect), 1);
}

// A host that passes no callback gets no effect; the plug-in must not call through null.
TEST_F(PluginTest, NullCallbackGetsNothing) {
  testhost::NoticeDismisser dismisser([](const testhost::Notice&) {});
  EXPECT_EQ(host.mainEntry()(nullptr), nullptr);
}
