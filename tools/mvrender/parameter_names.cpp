#include "tools/mvrender/parameter_names.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "engine/parameters.h"

namespace {

constexpr int32_t kMulchvoiceId = fourCharCode('M', 'v', 'Q', 'z');
constexpr int32_t kMaxNameBytes = 64;  // generous: the interface promises hosts at most 8 + 1

bool isDecimal(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

std::vector<std::string> parameterNamesOf(AEffect* effect) {
  const int32_t count = effect->numParams > 0 ? effect->numParams : 0;
  std::vector<std::string> names(static_cast<size_t>(count));
  bool anyNamed = false;
  for (int32_t i = 0; i < count; ++i) {
    char text[kMaxNameBytes] = {0};
    effect->dispatcher(effect, effGetParamName, i, 0, text, 0.0f);
    text[kMaxNameBytes - 1] = '\0';
    names[static_cast<size_t>(i)] = text;
    anyNamed = anyNamed || text[0] != '\0';
  }
  if (!anyNamed && effect->uniqueID == kMulchvoiceId && count == kNumParams) {
    for (int32_t i = 0; i < count; ++i) names[static_cast<size_t>(i)] = kParameterTable[i].label;
  }
  return names;
}

std::string parameterKey(const std::string& name) {
  std::string key;
  for (char c : name) {
    if (std::strchr(" -_/.", c) != nullptr) continue;
    key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return key;
}

bool resolveParameter(const std::string& name, const std::vector<std::string>& names,
                      int32_t& index, std::string& error) {
  const int32_t count = static_cast<int32_t>(names.size());
  if (isDecimal(name)) {
    const long value = std::strtol(name.c_str(), nullptr, 10);
    if (value >= count) {
      error = "parameter index " + name + " is out of range: the effect has " +
              std::to_string(count) + " parameters" +
              (count > 0 ? " (0 to " + std::to_string(count - 1) + ")" : std::string());
      return false;
    }
    index = static_cast<int32_t>(value);
    return true;
  }
  const std::string key = parameterKey(name);
  for (int32_t i = 0; i < count; ++i) {
    if (!key.empty() && parameterKey(names[static_cast<size_t>(i)]) == key) {
      index = i;
      return true;
    }
  }
  const bool mulchvoice = count == kNumParams && names[kSwitchCS] == kParameterTable[kSwitchCS].label;
  if (mulchvoice) {
    for (const ParameterInfo& p : kParameterTable) {
      if (p.alias != nullptr && key == p.alias) {
        index = p.index;
        return true;
      }
    }
  }
  std::string valid;
  for (const std::string& n : names) {
    if (n.empty()) continue;
    if (!valid.empty()) valid += ", ";
    valid += n.find_first_of(" /") != std::string::npos ? "\"" + n + "\"" : n;
  }
  if (valid.empty()) {
    error = "unknown parameter '" + name + "': this effect gives its parameters no names; use an index" +
            (count > 0 ? " from 0 to " + std::to_string(count - 1) : std::string());
  } else {
    error = "unknown parameter '" + name + "'; valid names: " + valid + " (or an index from 0 to " +
            std::to_string(count - 1) + ")";
  }
  return false;
}

bool parseParameterValue(const std::string& text, float& value, std::string& error) {
  const std::string key = parameterKey(text);
  if (key == "on" || key == "true" || key == "yes") {
    value = 1.0f;
    return true;
  }
  if (key == "off" || key == "false" || key == "no") {
    value = 0.0f;
    return true;
  }
  char* end = nullptr;
  const double number = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') {
    error = "bad parameter value '" + text + "': give a number from 0 to 1, or on/off";
    return false;
  }
  if (!(number >= 0.0 && number <= 1.0)) {
    error = "parameter value " + text + " is out of range: values run from 0 to 1";
    return false;
  }
  value = static_cast<float>(number);
  return true;
}
