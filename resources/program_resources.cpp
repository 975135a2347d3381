#include "resources/program_resources.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/sim/ui/resource_script.h"
#include "resources/embedded_text_file.h"

extern const EmbeddedTextFile kKestrolinScriptFiles[];
extern const EmbeddedTextFile kWendmarrowScriptFiles[];

namespace {

// The first file is the script; the others are what it may include. The build has
// already compiled the same script with the resource compiler, and the tests parse it,
// so a refusal here means a broken build: it stops the program with the parser's message.
sim::ResourceSet ParseEmbedded(const EmbeddedTextFile* files) {
  sim::ResourceIncludeReader readInclude = [files](const std::string& name) {
    for (const EmbeddedTextFile* f = files + 1; f->name; ++f) {
      if (name == f->name) return std::optional<std::string>(std::string(f->text, f->size));
    }
    return std::optional<std::string>();
  };
  sim::ResourceSet set;
  std::string error;
  if (!sim::ParseResourceScript(std::string(files->text, files->size), files->name, readInclude,
                                &set, &error)) {
    std::fprintf(stderr, "built-in resource script refused: %s\n", error.c_str());
    std::abort();
  }
  return set;
}

}  // namespace

const sim::ResourceSet& KestrolinResources() {
  static const sim::ResourceSet set = ParseEmbedded(kKestrolinScriptFiles);
  return set;
}

const sim::ResourceSet& WendmarrowResources() {
  static const sim::ResourceSet set = ParseEmbedded(kWendmarrowScriptFiles);
  return set;
}
