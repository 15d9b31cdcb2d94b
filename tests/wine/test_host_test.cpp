// The test host itself, where a fault would make other tests pass or fail wrongly: refusing
// libraries that are no plug-ins, attributing callback calls to the right host from any thread,
// answering boxes, and reading a window's pixels in the right colour order.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tools/testhost/host_window.h"
#include "tools/testhost/notice_dismisser.h"
#include "tools/testhost/plugin_host.h"
#include "tools/testhost/png_writer.h"
#include "tools/testhost/window_capture.h"

namespace {

std::string besideThisProgram(const char* file) {
  char buffer[MAX_PATH] = {};
  std::string path(buffer, GetModuleFileNameA(nullptr, buffer, sizeof buffer));
  return path.substr(0, path.find_last_of("\\/") + 1) + file;
}

}  // namespace

TEST(TestHost, RefusesLibrariesThatAreNoPlugins) {
  testhost::PluginHost host;
  std::string error;
  EXPECT_FALSE(host.load(besideThisProgram("does_not_exist.dll"), &error));
  EXPECT_NE(error.find("cannot load"), std::string::npos) << error;
  EXPECT_FALSE(host.load(besideThisProgram("no_main.dll"), &error));
  EXPECT_NE(error.find("main"), std::string::npos) << error;
  EXPECT_FALSE(host.isLoaded());

  ASSERT_TRUE(host.load(besideThisProgram("null_main.dll"), &error)) << error;
  EXPECT_EQ(host.instantiate(), nullptr);
  EXPECT_TRUE(host.notices().empty());
}

// Effects call back from any thread; each call lands with the host that created the effect.
TEST(TestHost, CallbackCallsReachTheEffectsHostFromAnyThread) {
  testhost::PluginHost first, second;
  std::string error;
  ASSERT_TRUE(first.load(testhost::defaultPluginPath(), &error)) << error;
  ASSERT_TRUE(second.load(testhost::defaultPluginPath(), &error)) << error;
  AEffect* a = first.instantiate();
  AEffect* b = second.instantiate();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  first.clearRecords();
  second.clearRecords();

  constexpr int kCallsPerThread = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([=] {
      AEffect* effect = t % 2 == 0 ? a : b;
      for (int i = 0; i < kCallsPerThread; ++i) {
        testhost::PluginHost::callback(effect, audioMasterAutomate, t, 0, nullptr, i * 0.001f);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  const auto firstAutomations = first.automations();
  const auto secondAutomations = second.automations();
  ASSERT_EQ(firstAutomations.size(), 2u * kCallsPerThread);
  ASSERT_EQ(secondAutomations.size(), 2u * kCallsPerThread);
  for (const auto& automation : firstAutomations) {
    ASSERT_EQ(automation.effect, a);
    ASSERT_TRUE(automation.index == 0 || automation.index == 2);
  }
  for (const auto& automation : secondAutomations) ASSERT_EQ(automation.effect, b);

  second.setVersionAnswer(2400);
  EXPECT_EQ(testhost::PluginHost::callback(b, audioMasterVersion, 0, 0, nullptr, 0.0f), 2400);
  EXPECT_EQ(testhost::PluginHost::callback(a, audioMasterVersion, 0, 0, nullptr, 0.0f), 1);
}

TEST(TestHost, AnswersEveryBoxOnItsThread) {
  std::vector<testhost::Notice> seen;
  testhost::NoticeDismisser dismisser([&](const testhost::Notice& notice) { seen.push_back(notice); });
  EXPECT_EQ(MessageBoxA(nullptr, "First text", "First", MB_OK), IDOK);
  MessageBoxA(nullptr, "Second text", "Second", MB_YESNO | MB_ICONQUESTION);
  std::string all;
  for (const auto& notice : seen) all += "[" + notice.caption + "|" + notice.text + "] ";
  ASSERT_EQ(seen.size(), 2u) << all;
  EXPECT_EQ(seen[0].caption, "First");
  EXPECT_EQ(seen[0].text, "First text");
  EXPECT_EQ(seen[1].caption, "Second");
  EXPECT_EQ(seen[1].text, "Second text");
}

TEST(TestHost, CapturesPaintedPixelsInColourOrder) {
  testhost::HostWindow window("capture", 200, 100);
  ASSERT_NE(window.handle(), nullptr);
  testhost::pumpMessages(300);  // let the first paint finish before painting over it

  HDC dc = GetDC(window.handle());
  RECT left = {0, 0, 100, 100}, right = {100, 0, 200, 100};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  FillRect(dc, &left, red);
  FillRect(dc, &right, blue);
  GdiFlush();
  DeleteObject(red);
  DeleteObject(blue);
  ReleaseDC(window.handle(), dc);

  const testhost::Image image = testhost::captureWindow(window.handle());
  ASSERT_EQ(image.width, 200);
  ASSERT_EQ(image.height, 100);
  EXPECT_EQ(image.pixel(5, 5), 0xFF0000u);
  EXPECT_EQ(image.pixel(99, 99), 0xFF0000u);
  EXPECT_EQ(image.pixel(100, 0), 0x0000FFu);
  EXPECT_EQ(image.pixel(199, 99), 0x0000FFu);

  // Checked by an independent decoder in the next test (check_png.py).
  EXPECT_TRUE(testhost::writePng("testhost_capture.png", image));
  EXPECT_FALSE(testhost::writePng("testhost_empty.png", testhost::Image()));
}
