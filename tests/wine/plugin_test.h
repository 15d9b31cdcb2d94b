#pragma once
// The fixture of the plug-in tests: the real MULCHVOICE.dll loaded through the Windows loader
// by the test host, and a few host-side helpers.

#include <gtest/gtest.h>

#include <string>

#include "tools/testhost/plugin_host.h"

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;
  }

  // A new instance; the test fails (but goes on) when the plug-in refuses.
  AEffect* instantiate() {
    AEffect* effect = host.instantiate();
    EXPECT_NE(effect, nullptr) << "main returned null";
    return effect;
  }

  static int32_t dispatch(AEffect* effect, int32_t opcode, int32_t index = 0, int32_t value = 0,
                          void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }

  static std::string currentProgramName(AEffect* effect) {
    char name[256] = {};
    dispatch(effect, effGetProgramName, 0, 0, name);
    return std::string(name, strnlen(name, sizeof name));
  }

  static std::string programName(AEffect* effect, int32_t program) {
    dispatch(effect, effSetProgram, 0, program);
    return currentProgramName(effect);
  }

  testhost::PluginHost host;
};
