#include "env/resources_sim.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/sim/ui/resource_script.h"
#include "resources/embedded_text_file.h"

extern const EmbeddedTextFile kConformanceScriptFiles[];

namespace conformance {

const sim::ResourceSet* ConformanceResources() {
  static const sim::ResourceSet set = [] {
    const EmbeddedTextFile& script = kConformanceScriptFiles[0];
    sim::ResourceSet parsed;
    std::string error;
    sim::ResourceIncludeReader noIncludes = [](const std::string&) {
      return std::optional<std::string>();
    };
    if (!sim::ParseResourceScript(std::string(script.text, script.size), script.name, noIncludes,
                                  &parsed, &error)) {
      std::fprintf(stderr, "conformance resources refused: %s\n", error.c_str());
      std::abort();
    }
    return parsed;
  }();
  return &set;
}

}  // namespace conformance
