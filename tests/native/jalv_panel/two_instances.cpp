// Two panels in this one process, each in its own window with its own values, every write_function
// call logged: each shows its own values and sends none back; a click and a drag on one reach
// the host from it alone, with the knob arithmetic's values; no X error when the windows go first.

#include <dlfcn.h>
#include <lv2/ui/ui.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "lv2/ports.h"
#include "tests/native/jalv_panel/panel_probe.h"

namespace {

struct Write { int panel; uint32_t port; float value; };
std::vector<Write> writes;
int xErrors = 0, failed = 0;

struct Panel { int id; Window parent, widget; int size[2]; LV2UI_Handle handle; float values[kNumParams]; };

void check(bool ok, const char* what) { std::printf("%s: %s\n", ok ? "ok" : "FAILED", (failed |= !ok, what)); }

void send(Display* host, const Panel& p, int type, int x, int y) {
  XEvent e{};
  // A motion event's fields lie as a button event's up to the state; its hint flag is the button's.
  e.xbutton = {type, 0, True, host, p.widget, 0, 0, 0, x, y, 0, 0, type == ButtonPress ? 0u : Button1Mask,
               type == MotionNotify ? 0u : Button1, True};
  XSendEvent(host, p.widget, False,
             type == ButtonPress ? ButtonPressMask : type == ButtonRelease ? ButtonReleaseMask : ButtonMotionMask, &e);
}

// Idles both panels until `done` holds, 2 s at most: three connections' requests come in any order.
template <class Done>
bool idleUntil(const LV2UI_Idle_Interface* idle, Panel (&panels)[2], Display* host, Done done) {
  for (int round = 0; round < 200; ++round, usleep(10000)) {
    for (Panel& p : panels) idle->idle(p.handle);
    XSync(host, False);
    if (done()) return true;
  }
  return false;
}

}  // namespace

int twoInstances(const char* uiModule) {
  XSetErrorHandler([](Display*, XErrorEvent*) { return ++xErrors, 0; });
  void* module = dlopen(uiModule, RTLD_NOW | RTLD_LOCAL);
  auto entry = module ? reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(module, "lv2ui_descriptor")) : nullptr;
  Display* host = XOpenDisplay(nullptr);
  const LV2UI_Descriptor* ui = entry ? entry(0) : nullptr;
  const auto* idle = ui ? static_cast<const LV2UI_Idle_Interface*>(ui->extension_data(LV2_UI__idleInterface)) : nullptr;
  if (idle == nullptr || host == nullptr)
    return std::fprintf(stderr, "two-instances: no UI with an idle interface in %s, or no display\n", uiModule), 1;

  Panel panels[2] = {{0, 0, 0, {}, nullptr, {0.0f, 0.25f, 0.5f, 0.75f, 0.6f, 1.0f, 1.0f, 0.0f}},
                     {1, 0, 0, {}, nullptr, {0.33f, 0.66f, 0.05f, 0.45f, 0.95f, 0.15f, 1.0f, 1.0f}}};
  for (Panel& p : panels) {
    p.parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 200 * p.id, kEditorWidth, kEditorHeight, 0, 0, 0);
    XMapWindow(host, p.parent);
    XSync(host, False);
    LV2UI_Resize resize{p.size, [](LV2UI_Feature_Handle size, int w, int h) {
                          static_cast<int*>(size)[0] = w;
                          return static_cast<int*>(size)[1] = h, 0;
                        }};
    const LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(p.parent)}, resizing{LV2_UI__resize, &resize},
        idling{LV2_UI__idleInterface, nullptr};
    const LV2_Feature* features[] = {&parent, &resizing, &idling, nullptr};
    LV2UI_Widget widget = nullptr;
    const auto write = [](LV2UI_Controller panel, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
      float value = NAN;
      if (size == sizeof value && format == 0) std::memcpy(&value, buffer, sizeof value);
      writes.push_back({*static_cast<const int*>(panel), port, value});
    };
    p.handle = ui->instantiate(ui, kPluginUri, "", write, &p.id, &widget, features);
    if (p.handle == nullptr) return std::fprintf(stderr, "two-instances: panel %d not made\n", p.id), 1;
    p.widget = reinterpret_cast<uintptr_t>(widget);
    check(p.size[0] == kEditorWidth && p.size[1] == kEditorHeight, "the panel asks for 479 x 161");
    for (int32_t k = 0; k < kNumParams; ++k) ui->port_event(p.handle, kFirstControlPort + k, sizeof(float), 0, &p.values[k]);
  }
  const auto bothShowTheirValues = [&] {
    return differingPixels(grab(host, panels[0].widget), corePicture(panels[0].values)) == 0 &&
           differingPixels(grab(host, panels[1].widget), corePicture(panels[1].values)) == 0;
  };
  check(idleUntil(idle, panels, host, bothShowTheirValues), "each panel shows the core's picture of its own values");
  check(writes.empty(), "no value from the host is sent back");

  send(host, panels[0], ButtonPress, 288, 106);  // "mulch I/O", showing off
  send(host, panels[0], ButtonRelease, 288, 106);
  check(idleUntil(idle, panels, host, [] { return !writes.empty(); }) && writes.size() == 1 && writes[0].panel == 0 &&
            writes[0].port == kFirstControlPort + kMulchIO && writes[0].value == 1.0f,
        "a click on a switch sends 1.0 for it, from its panel alone");
  panels[0].values[kMulchIO] = 1.0f;

  // Pressed on the gain knob right of its centre (360, 69), then a quarter turn counter-clockwise.
  writes.clear();
  send(host, panels[0], ButtonPress, 376, 69);
  KnobTurn turn(16, 0);
  std::vector<float> sent;
  for (int step = 1; step <= 5; ++step) {
    const int dx = static_cast<int>(std::lround(30 * std::cos(0.3 * step))), dy = static_cast<int>(std::lround(30 * std::sin(0.3 * step)));
    send(host, panels[0], MotionNotify, 360 + dx, 69 - dy);
    if (turn.step(dx, dy, panels[0].values[kGain], panels[0].values[kGain])) sent.push_back(panels[0].values[kGain]);
  }
  send(host, panels[0], ButtonRelease, 376, 69);
  send(host, panels[0], MotionNotify, 360, 39);  // after the release: no step
  bool exact = idleUntil(idle, panels, host, [&] { return writes.size() >= sent.size(); }) && writes.size() == sent.size();
  for (size_t i = 0; exact && i < sent.size(); ++i)
    exact = writes[i].panel == 0 && writes[i].port == kFirstControlPort + kGain && writes[i].value == sent[i];
  check(exact && sent.back() < 0.8f, "a drag on a knob sends each step's value, from its panel alone");
  check(idleUntil(idle, panels, host, bothShowTheirValues), "the first panel shows what was set on it, the second its own values");

  for (Panel& p : panels) XDestroyWindow(host, p.parent);  // the host's windows go first
  XSync(host, False);
  for (Panel& p : panels) ui->cleanup(p.handle);
  XSync(host, False);
  check(xErrors == 0, "no X error when the panels go after their windows");
  XCloseDisplay(host);
  dlclose(module);
  return failed ? 1 : 0;
}
