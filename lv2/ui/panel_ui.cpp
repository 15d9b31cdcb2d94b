// The panel's entry for LV2 hosts: `lv2ui_descriptor`, the module's only exported symbol, hands
// the host the UI descriptor, whose C functions adapt the host's calls to an X11Panel. The
// panel's values are the control ports' (lv2/ports.h); what the user sets goes to the host
// through its write function, one call per change, from the idle call.
//
// Every function runs on the host's user-interface thread. The module keeps no state of its own
// beyond the constant descriptor: each instance owns its panel.

#include <lv2/ui/ui.h>

#include <cstring>
#include <new>

#include "editor/x11/x11_panel.h"
#include "lv2/port_value.h"
#include "lv2/ports.h"
#include "lv2/ui/panel_ui.h"

namespace {

class PanelUi final : public ParameterSink {
 public:
  PanelUi(LV2UI_Write_Function write, LV2UI_Controller controller)
      : write(write), controller(controller), panel(nullptr) {}
  ~PanelUi() { delete panel; }

  PanelUi(const PanelUi&) = delete;
  PanelUi& operator=(const PanelUi&) = delete;

  void setParameter(int32_t index, float value) override {
    write(controller, kFirstControlPort + static_cast<uint32_t>(index), sizeof value, 0, &value);
  }

  LV2UI_Write_Function write;
  LV2UI_Controller controller;
  X11Panel* panel;
};

PanelUi* ui(LV2UI_Handle handle) { return static_cast<PanelUi*>(handle); }

const void* feature(const LV2_Feature* const* features, const char* uri) {
  for (; features != nullptr && *features != nullptr; ++features)
    if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
  return nullptr;
}

// Makes the panel inside the host's window (ui:parent, without which there is no panel) and
// tells a host that offers ui:resize its size. Null for another plug-in, without a display or
// without memory.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  const void* parent = feature(features, LV2_UI__parent);
  if (pluginUri == nullptr || std::strcmp(pluginUri, kPluginUri) != 0 || write == nullptr ||
      widget == nullptr || parent == nullptr)
    return nullptr;
  PanelUi* instance = new (std::nothrow) PanelUi(write, controller);
  if (instance == nullptr) return nullptr;
  instance->panel = X11Panel::create(reinterpret_cast<uintptr_t>(parent), *instance);
  if (instance->panel == nullptr) {
    delete instance;
    return nullptr;
  }
  *widget = reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(instance->panel->window()));
  const auto* resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize));
  if (resize != nullptr && resize->ui_resize != nullptr)
    resize->ui_resize(resize->handle, kEditorWidth, kEditorHeight);
  return instance;
}

void cleanup(LV2UI_Handle handle) { delete ui(handle); }

// A control port's new value, shown at the next idle; never written back. Anything but a float
// for a control port is ignored.
void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t bufferSize, uint32_t format,
               const void* buffer) {
  if (handle == nullptr || format != 0 || bufferSize != sizeof(float) || buffer == nullptr ||
      port < kFirstControlPort || port >= kNumPorts)
    return;
  float value;
  std::memcpy(&value, buffer, sizeof value);
  const int32_t index = static_cast<int32_t>(port - kFirstControlPort);
  ui(handle)->panel->setValue(index, parameterValue(index, value));
}

// Keeps the panel open: it closes with the host's window.
int idle(LV2UI_Handle handle) {
  if (handle != nullptr) ui(handle)->panel->idle();
  return 0;
}

const LV2UI_Idle_Interface kIdleInterface = {idle};

const void* extensionData(const char* uri) {
  return uri != nullptr && std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdleInterface : nullptr;
}

const LV2UI_Descriptor kDescriptor = {kPanelUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
