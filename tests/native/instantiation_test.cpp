// How a host's call of `main` becomes an effect: the version question, the notice, the
// effect's record, and the refusals (no host, version 0, out of memory).

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "engine/parameters.h"
#include "engine/vocoder.h"
#include "host/out_of_memory.h"
#include "host/plugin_main.h"

namespace {

// One log for the host callback, the notice and the factory, so their order shows.
struct Events {
  std::vector<std::string> log;
  std::vector<std::string> noticeCaptions;
  std::vector<std::string> noticeTexts;
  std::vector<AudioEffect*> created;
  int32_t versionAnswer = 2;
  bool factoryFails = false;
  int destroyed = 0;
};
Events* events = nullptr;

int32_t VSTCALL fakeHost(AEffect* effect, int32_t opcode, int32_t index, int32_t value, void* ptr,
                         float opt) {
  const bool isVersionQuestion = effect == nullptr && opcode == audioMasterVersion &&
                                 index == 0 && value == 0 && ptr == nullptr && opt == 0.0f;
  events->log.push_back(isVersionQuestion ? "version" : "host " + std::to_string(opcode));
  return events->versionAnswer;
}

void recordNotice(const char* caption, const char* text) {
  events->log.push_back("notice");
  events->noticeCaptions.emplace_back(caption);
  events->noticeTexts.emplace_back(text);
}

class CountedVocoder : public Vocoder {
 public:
  explicit CountedVocoder(audioMasterCallback audioMaster) : Vocoder(audioMaster) {}
  ~CountedVocoder() override { ++events->destroyed; }
};

AudioEffect* makeVocoder(audioMasterCallback audioMaster) {
  events->log.push_back("create");
  if (events->factoryFails) return nullptr;
  AudioEffect* effect = new (std::nothrow) CountedVocoder(audioMaster);
  events->created.push_back(effect);
  return effect;
}

class Instantiation : public ::testing::Test {
 protected:
  void SetUp() override {
    events = &recorded;
    outOfMemory = false;
  }
  void TearDown() override {
    outOfMemory = false;
    events = nullptr;
  }
  AEffect* instantiate(audioMasterCallback host = fakeHost) {
    return instantiateEffect(host, recordNotice, makeVocoder);
  }
  static int32_t close(AEffect* e) { return e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f); }

  Events recorded;
};

TEST_F(Instantiation, HostAnsweringVersionZeroGetsNothing) {
  recorded.versionAnswer = 0;
  EXPECT_EQ(instantiate(), nullptr);
  EXPECT_EQ(recorded.log, std::vector<std::string>{"version"}) << "no notice, no effect";
}

TEST_F(Instantiation, NullCallbackIsRefusedWithoutCallingIt) {
  EXPECT_EQ(instantiate(nullptr), nullptr);
  EXPECT_TRUE(recorded.log.empty());
}

TEST_F(Instantiation, HostGetsTheNoticeThenTheEffectsRecord) {
  for (int32_t version : {1, 2, -1, 2400}) {
    recorded = Events();
    recorded.versionAnswer = version;
    AEffect* e = instantiate();
    ASSERT_NE(e, nullptr) << "version " << version;
    EXPECT_EQ(recorded.log, (std::vector<std::string>{"version", "notice", "create"}));
    EXPECT_EQ(e->magic, 0x56737450);
    ASSERT_EQ(recorded.created.size(), 1u);
    EXPECT_EQ(e->object, recorded.created[0]);
    EXPECT_EQ(e, recorded.created[0]->getAeffect());
    EXPECT_EQ(e->uniqueID, 0x4D76517A);
    EXPECT_EQ(close(e), 1);
    EXPECT_EQ(recorded.destroyed, 1);
  }
}

TEST_F(Instantiation, NoticeNamesTheMakerAndTheBetaBuild) {
  AEffect* e = instantiate();
  ASSERT_NE(e, nullptr);
  ASSERT_EQ(recorded.noticeTexts.size(), 1u);
  EXPECT_EQ(recorded.noticeCaptions[0], "Ferrowave");
  const std::string text = recorded.noticeTexts[0];
  const std::string head = "This is a beta copy of Mulchvoice 0.801v. Check out ";
  const std::string tail = " for latest news!";
  ASSERT_GT(text.size(), head.size() + tail.size());
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  const std::string site = text.substr(head.size(), text.size() - head.size() - tail.size());
  EXPECT_EQ(site.find(' '), std::string::npos) << "the middle is a host name: " << site;
  EXPECT_NE(site.find('.'), std::string::npos) << "the middle is a host name: " << site;
  close(e);
}

TEST_F(Instantiation, EachCallMakesAnIndependentEffect) {
  AEffect* first = instantiate();
  AEffect* second = instantiate();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_NE(first->object, second->object);
  EXPECT_EQ(recorded.noticeTexts.size(), 2u) << "every instantiation shows the notice";

  first->setParameter(first, kGain, 0.75f);
  EXPECT_EQ(second->getParameter(second, kGain), 0.3f);
  EXPECT_EQ(close(first), 1);
  EXPECT_EQ(recorded.destroyed, 1);

  second->setParameter(second, kGain, 0.5f);
  EXPECT_EQ(second->getParameter(second, kGain), 0.5f) << "the other instance keeps working";
  EXPECT_EQ(close(second), 1);
  EXPECT_EQ(recorded.destroyed, 2);
}

TEST_F(Instantiation, EffectThatCannotBeAllocatedGivesNull) {
  recorded.factoryFails = true;
  EXPECT_EQ(instantiate(), nullptr);
  EXPECT_EQ(recorded.log, (std::vector<std::string>{"version", "notice", "create"}));
}

TEST_F(Instantiation, OutOfMemoryRefusesEveryLaterInstanceAfterItsNotice) {
  outOfMemory = true;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    EXPECT_EQ(instantiate(), nullptr) << "attempt " << attempt;
    EXPECT_EQ(recorded.noticeTexts.size(), static_cast<size_t>(attempt));
    EXPECT_EQ(recorded.created.size(), static_cast<size_t>(attempt));
    EXPECT_EQ(recorded.destroyed, attempt) << "the refused object is destroyed, not leaked";
  }
  EXPECT_TRUE(outOfMemory) << "the flag stays set";
}

}  // namespace
