#pragma once
// Where the offline host finds the plug-in of each route: the LV2 bundle of the build tree
// beside the program (build/native/lv2-bundles/mulchvoice.lv2), or else an installed one on the
// LV2 path; and the DLL route's Windows host with the script that runs it under Wine, which
// tools/mulchvoice names in MULCHVOICE_DLL_HOST and MULCHVOICE_WINE_ENV once it has started the
// Windows tree's display. The tests give their own.

#include <string>

struct PluginLocations {
  std::string lv2Bundle;  // the bundle to load alone; empty: the LV2 path
  std::string dllHost;    // mvdllhost.exe of a Windows build tree; empty: no DLL route
  std::string wineEnv;    // tools/wine-env.sh
};

PluginLocations locatePlugins();
