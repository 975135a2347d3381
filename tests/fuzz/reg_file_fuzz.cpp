// The simulator's registry-file reader on any bytes. A refused file names itself and a
// line, and yields no statements. An accepted one, applied to an empty registry and
// written out again (as UTF-16LE and as code page 1252), must read back into the very
// same registry, and writing that one must give the same bytes: a machine saved and
// loaded is the machine it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/storage/reg_file.h"
#include "platform/sim/machine/registry.h"

namespace {

constexpr char kFileName[] = "fuzz.reg";

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "reg_file_fuzz: %s\n", what.c_str());
  std::abort();
}

void Check(bool condition, const std::string& what) {
  if (!condition) Fail(what);
}

std::string Format(const sim::Registry& registry, sim::RegFileEncoding encoding) {
  const std::vector<const sim::RegKey*> roots = {registry.LocalMachine().get(),
                                                 registry.CurrentUser().get(),
                                                 registry.Root("HKEY_USERS").get()};
  std::string out, error;
  Check(sim::FormatRegFile(roots, encoding, &out, &error),
        "an accepted registry cannot be written: " + error);
  return out;
}

void CheckRoundTrip(const sim::Registry& original, sim::RegFileEncoding encoding) {
  const std::string written = Format(original, encoding);
  std::vector<sim::RegFileOp> ops;
  std::string error;
  Check(sim::ParseRegFile(written, "written.reg", &ops, &error),
        "a written registry is refused: " + error);
  sim::Registry reread;
  sim::ApplyRegFile(ops, &reread);
  std::string difference;
  Check(original.SameAs(reread, &difference), "read back differently: " + difference);
  Check(Format(reread, encoding) == written, "written again differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Statements left from an earlier file must go, whatever this one holds.
  std::vector<sim::RegFileOp> ops(1);
  std::string error;
  if (!sim::ParseRegFile(bytes, kFileName, &ops, &error)) {
    Check(ops.empty(), "a refused file left statements");
    const std::string prefix = std::string(kFileName) + ":";
    Check(error.compare(0, prefix.size(), prefix) == 0 && error.size() > prefix.size() &&
              error[prefix.size()] >= '1' && error[prefix.size()] <= '9',
          "a refusal that names no line: " + error);
    return 0;
  }
  for (const sim::RegFileOp& op : ops) Check(op.line >= 2, "a statement on the header's line");
  sim::Registry registry;
  sim::ApplyRegFile(ops, &registry);
  CheckRoundTrip(registry, sim::RegFileEncoding::kUtf16Le);
  CheckRoundTrip(registry, sim::RegFileEncoding::kCp1252);
  return 0;
}
