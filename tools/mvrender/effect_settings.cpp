#include "tools/mvrender/effect_settings.h"

#include <vector>

#include "tools/mvrender/parameter_names.h"

bool applyEffectSettings(AEffect* effect, const CommandLine& options, std::string& error) {
  if (options.program >= 0 && options.program >= effect->numPrograms) {
    error = "program " + std::to_string(options.program) + " does not exist: the effect has " +
            std::to_string(effect->numPrograms) + " programs" +
            (effect->numPrograms > 0 ? " (0 to " + std::to_string(effect->numPrograms - 1) + ")"
                                     : std::string());
    return false;
  }
  std::vector<int32_t> indices;
  if (!options.parameters.empty()) {
    const std::vector<std::string> names = parameterNamesOf(effect);
    for (const ParameterSetting& setting : options.parameters) {
      int32_t index = 0;
      if (!resolveParameter(setting.name, names, index, error)) return false;
      indices.push_back(index);
    }
  }
  if (options.program >= 0)
    effect->dispatcher(effect, effSetProgram, 0, options.program, nullptr, 0.0f);
  for (size_t i = 0; i < indices.size(); ++i)
    effect->setParameter(effect, indices[i], options.parameters[i].value);
  return true;
}
