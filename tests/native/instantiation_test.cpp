// How a host's call of `main` becomes an effect: the version question, the notice and the
// construction in that order, and the refusals a real host cannot provoke (the effect cannot be
// allocated, out of memory). What a host sees of the notice, of a version answer of 0, of a
// missing callback and of independent instances is tested on the real DLL under Wine.

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "host/out_of_memory.h"
#include "host/plugin_main.h"
#include "vst/vocoder.h"

namespace {

// One log for the host callback, the notice and the factory, so their order shows.
struct Events {
  std::vector<std::string> log;
  int notices = 0;
  std::vector<AudioEffect*> created;
  int32_t versionAnswer = 2;
  bool factoryFails = false;
  int destroyed = 0;
};
Events* events = nullptr;

intptr_t VSTCALL fakeHost(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                         float opt) {
  const bool isVersionQuestion = effect == nullptr && opcode == audioMasterVersion &&
                                 index == 0 && value == 0 && ptr == nullptr && opt == 0.0f;
  events->log.push_back(isVersionQuestion ? "version" : "host " + std::to_string(opcode));
  return events->versionAnswer;
}

void recordNotice() {
  events->log.push_back("notice");
  ++events->notices;
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

TEST_F(Instantiation, EffectThatCannotBeAllocatedGivesNull) {
  recorded.factoryFails = true;
  EXPECT_EQ(instantiate(), nullptr);
  EXPECT_EQ(recorded.log, (std::vector<std::string>{"version", "notice", "create"}));
}

TEST_F(Instantiation, OutOfMemoryRefusesEveryLaterInstanceAfterItsNotice) {
  outOfMemory = true;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    EXPECT_EQ(instantiate(), nullptr) << "attempt " << attempt;
    EXPECT_EQ(recorded.notices, attempt);
    EXPECT_EQ(recorded.created.size(), static_cast<size_t>(attempt));
    EXPECT_EQ(recorded.destroyed, attempt) << "the refused object is destroyed, not leaked";
  }
  EXPECT_TRUE(outOfMemory) << "the flag stays set";
}

}  // namespace
