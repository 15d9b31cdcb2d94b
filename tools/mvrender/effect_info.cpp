#include "tools/mvrender/effect_info.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "host/aeff_editor.h"
#include "tools/mvrender/parameter_names.h"

namespace {

constexpr int32_t kTextBytes = 256;  // far beyond what any of these texts may hold

struct FlagName {
  int32_t flag;
  const char* name;
};
constexpr FlagName kFlagNames[] = {
    {effFlagsHasEditor, "has editor"},    {effFlagsHasClip, "has clip"},
    {effFlagsHasVu, "has VU"},            {effFlagsCanMono, "can mono"},
    {effFlagsCanReplacing, "can replace"},
};

std::string dispatchText(AEffect* effect, int32_t opcode, int32_t index) {
  char text[kTextBytes] = {0};
  effect->dispatcher(effect, opcode, index, 0, text, 0.0f);
  text[kTextBytes - 1] = '\0';
  return text;
}

std::string line(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string line(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return std::string(text) + "\n";
}

}  // namespace

std::string fourCharText(int32_t code) {
  std::string text = "'";
  for (int shift = 24; shift >= 0; shift -= 8) {
    const int c = (static_cast<uint32_t>(code) >> shift) & 0xFF;
    text += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
  }
  return text + "'";
}

std::string describeEffect(AEffect* effect) {
  std::string out;
  out += line("magic          %s", fourCharText(effect->magic).c_str());
  out += line("unique ID      %s (0x%08X)", fourCharText(effect->uniqueID).c_str(),
              static_cast<unsigned>(effect->uniqueID));
  out += line("version        %d", effect->version);
  std::string flags;
  for (const FlagName& f : kFlagNames) {
    if ((effect->flags & f.flag) == 0) continue;
    flags += flags.empty() ? "" : ", ";
    flags += f.name;
  }
  out += line("flags          0x%X%s%s", static_cast<unsigned>(effect->flags), flags.empty() ? "" : ": ",
              flags.c_str());
  out += line("inputs         %d", effect->numInputs);
  out += line("outputs        %d", effect->numOutputs);
  out += line("initial delay  %d", effect->initialDelay);
  out += line("identify       %s", fourCharText(effect->dispatcher(effect, effIdentify, 0, 0, nullptr, 0.0f)).c_str());
  if ((effect->flags & effFlagsHasEditor) != 0) {
    ERect* rect = nullptr;
    effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0.0f);
    if (rect != nullptr)
      out += line("editor         %d x %d pixels", rect->right - rect->left, rect->bottom - rect->top);
  }

  const std::vector<std::string> names = parameterNamesOf(effect);
  out += line("parameters     %d", effect->numParams);
  for (int32_t i = 0; i < effect->numParams && i < 1000; ++i) {
    const float value = effect->getParameter != nullptr ? effect->getParameter(effect, i) : 0.0f;
    const std::string hostName = dispatchText(effect, effGetParamName, i);
    const std::string display = dispatchText(effect, effGetParamDisplay, i);
    const std::string label = dispatchText(effect, effGetParamLabel, i);
    const std::string shown = display.empty() && label.empty()
                                  ? ""
                                  : " shown as \"" + display + (label.empty() ? "" : " " + label) + "\"";
    const std::string& name = names[static_cast<size_t>(i)];
    const char* source = hostName.empty() && !name.empty() ? " (editor label; the host gets no name)" : "";
    out += line("  %3d  %-12s %-10.6g%s%s", i, name.empty() ? "(no name)" : name.c_str(),
                static_cast<double>(value), shown.c_str(), source);
  }

  const int32_t current = effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f);
  out += line("programs       %d (current: %d)", effect->numPrograms, current);
  for (int32_t p = 0; p < effect->numPrograms && p < 1000; ++p) {
    effect->dispatcher(effect, effSetProgram, 0, p, nullptr, 0.0f);
    out += line("  %3d  %s", p, dispatchText(effect, effGetProgramName, 0).c_str());
  }
  if (effect->numPrograms > 0 && current >= 0 && current < effect->numPrograms)
    effect->dispatcher(effect, effSetProgram, 0, current, nullptr, 0.0f);
  return out;
}
