// mvhost: loads a plug-in the way a host does and prints what the host sees: the notice box,
// the effect record's fields, the parameter values and the program names. Then it closes the
// effect and unloads the library.
//
//   mvhost [plug-in.dll]      (default: MULCHVOICE.dll beside mvhost.exe)
//
// Exit code 0 when the plug-in instantiated and closed; 1 with a one-line reason otherwise.

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/testhost/plugin_host.h"

namespace {

std::string fourCharText(int32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xFFu);
    text.push_back(c >= 32 && c < 127 ? c : '.');
  }
  return text;
}

std::string flagNames(int32_t flags) {
  static const struct { int32_t bit; const char* name; } kFlags[] = {
      {effFlagsHasEditor, "editor"}, {effFlagsHasClip, "clip"}, {effFlagsHasVu, "vu"},
      {effFlagsCanMono, "mono"},     {effFlagsCanReplacing, "replacing"}};
  std::string names;
  for (const auto& flag : kFlags) {
    if (flags & flag.bit) names += (names.empty() ? "" : ", ") + std::string(flag.name);
  }
  return names.empty() ? "none" : names;
}

int32_t dispatch(AEffect* effect, int32_t opcode, int32_t index, int32_t value, void* ptr) {
  return effect->dispatcher(effect, opcode, index, value, ptr, 0.0f);
}

void printRecord(AEffect* effect) {
  std::printf("magic:        %s (0x%08X)\n", fourCharText(effect->magic).c_str(),
              static_cast<unsigned>(effect->magic));
  std::printf("unique ID:    %s (0x%08X)\n", fourCharText(effect->uniqueID).c_str(),
              static_cast<unsigned>(effect->uniqueID));
  std::printf("version:      %d\n", effect->version);
  std::printf("flags:        %d (%s)\n", effect->flags, flagNames(effect->flags).c_str());
  std::printf("inputs:       %d\n", effect->numInputs);
  std::printf("outputs:      %d\n", effect->numOutputs);
  std::printf("parameters:   %d\n", effect->numParams);
  std::printf("programs:     %d\n", effect->numPrograms);
  for (int32_t i = 0; i < effect->numParams; ++i) {
    std::printf("parameter %d:  %g\n", i, static_cast<double>(effect->getParameter(effect, i)));
  }
  // Program names are read through the current program: visit each, then return.
  const int32_t current = dispatch(effect, effGetProgram, 0, 0, nullptr);
  for (int32_t i = 0; i < effect->numPrograms; ++i) {
    char name[256] = {};
    dispatch(effect, effSetProgram, 0, i, nullptr);
    dispatch(effect, effGetProgramName, 0, 0, name);
    name[sizeof name - 1] = '\0';
    std::printf("program %d:    \"%s\"\n", i, name);
  }
  dispatch(effect, effSetProgram, 0, current, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))) {
    std::fprintf(stderr, "usage: mvhost [plug-in.dll]\n");
    return argc == 2 ? 0 : 1;
  }
  const std::string path = argc == 2 ? argv[1] : testhost::defaultPluginPath();

  testhost::PluginHost host;
  std::string error;
  if (!host.load(path, &error)) {
    std::fprintf(stderr, "mvhost: %s\n", error.c_str());
    return 1;
  }
  std::printf("plug-in:      %s\n", path.c_str());
  AEffect* effect = host.instantiate();
  for (const testhost::Notice& notice : host.notices()) {
    std::printf("notice shown: caption \"%s\", text \"%s\"\n", notice.caption.c_str(),
                notice.text.c_str());
  }
  if (host.notices().empty()) std::printf("notice shown: none\n");
  if (effect == nullptr) {
    std::fprintf(stderr, "mvhost: main of %s returned no effect\n", path.c_str());
    return 1;
  }
  printRecord(effect);
  std::printf("effClose:     %d\n", host.close(effect));
  host.unload();
  std::fflush(stdout);
  return 0;
}
