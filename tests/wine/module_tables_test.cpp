// The library as the Windows loader sees it: the entry `main` (and, for 64-bit hosts, which look
// for it first, `VSTPluginMain` as a second name of the same function) and nothing else, and
// imports only from Windows' own libraries. Read from the loaded module's export and import
// directories.

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "tests/wine/plugin_test.h"

namespace {

const IMAGE_DATA_DIRECTORY& directory(HMODULE module, int entry) {
  auto* base = reinterpret_cast<const unsigned char*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.DataDirectory[entry];
}

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

TEST_F(PluginTest, ExportsOnlyTheEntry) {
  const std::vector<std::string> expected =
      sizeof(void*) == 4 ? std::vector<std::string>{"main"}
                         : std::vector<std::string>{"VSTPluginMain", "main"};
  HMODULE module = host.module();
  auto* base = reinterpret_cast<const unsigned char*>(module);
  const IMAGE_DATA_DIRECTORY& entry = directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
  ASSERT_NE(entry.VirtualAddress, 0u) << "the library has an export directory";
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  EXPECT_STREQ(reinterpret_cast<const char*>(base + exports->Name), "MULCHVOICE.dll");
  ASSERT_EQ(exports->NumberOfNames, expected.size());
  auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_STREQ(reinterpret_cast<const char*>(base + names[i]), expected[i].c_str());
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, expected[i].c_str())),
              reinterpret_cast<void*>(host.mainEntry()))
        << expected[i] << " is the entry itself";
  }
  for (const char* name : {"DllMain", "DllMain@12", "_DllMain@12", "VSTPluginMain", "main_plugin",
                           "mulchvoiceMain", "_main", "instantiateEffect"}) {
    if (std::find(expected.begin(), expected.end(), name) != expected.end()) continue;
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, name)), nullptr) << name;
  }
}

TEST_F(PluginTest, ImportsOnlyWindowsOwnLibraries) {
  HMODULE module = host.module();
  auto* base = reinterpret_cast<const unsigned char*>(module);
  const IMAGE_DATA_DIRECTORY& entry = directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
  ASSERT_NE(entry.VirtualAddress, 0u);
  const std::set<std::string> allowed = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "MSVCRT.DLL"};
  std::set<std::string> imported;
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + entry.VirtualAddress);
       import->Name != 0; ++import) {
    imported.insert(upper(reinterpret_cast<const char*>(base + import->Name)));
  }
  for (const std::string& name : imported) {
    EXPECT_EQ(allowed.count(name), 1u) << "imports " << name;
  }
  EXPECT_EQ(imported.count("USER32.DLL"), 1u) << "the notice box comes from USER32";
}
