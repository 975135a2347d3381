// The simulator's registry-file reader on any bytes. A refused file names itself and a
// line, and yields no statements. An accepted one, applied to an empty registry and
// written out again (as UTF-16LE and as code page 1252), must read back into the very
// same registry, and writing that one must give the same bytes: a machine saved and
// loaded is the machine it was. Read as an export of a real machine, the same bytes give
// the same statements and lose nothing where the strict reading accepts them; it accepts
// besides only files whose refusal was a character code page 1252 lacks or a string of
// odd length, each counted; and applied as an export to an empty registry (keys the file
// holds replacing what was there: nothing), it gives what the plain reading gives.
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

bool SameStatements(const std::vector<sim::RegFileOp>& a, const std::vector<sim::RegFileOp>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].kind != b[i].kind || a[i].keyPath != b[i].keyPath ||
        a[i].valueName != b[i].valueName || !(a[i].value == b[i].value) || a[i].line != b[i].line)
      return false;
  }
  return true;
}

bool IsLoss(const std::string& error) {
  return error.find("has no code page 1252 form") != std::string::npos ||
         error.find("string data of odd length") != std::string::npos;
}

// The export's reading of `bytes` against the strict one (`strict`, `strictError`).
void CheckExportReading(std::string_view bytes, bool strict,
                        const std::vector<sim::RegFileOp>& strictOps,
                        const std::string& strictError) {
  std::vector<sim::RegFileOp> ops;
  std::string error;
  sim::RegFileLosses losses;
  const bool read = sim::ParseRegFile(bytes, kFileName, &ops, &error, &losses);
  const size_t lost = losses.characters + losses.oddStrings;
  if (strict) {
    Check(read && lost == 0 && SameStatements(ops, strictOps),
          "an export's reading differs from the strict one: " + error);
  } else if (read) {
    Check(lost > 0 && IsLoss(strictError),
          "an export read where the strict reading refused for another reason: " + strictError);
    Check(losses.characters == 0 || losses.firstCharacterLine >= 1, "a loss on no line");
    Check(losses.oddStrings == 0 || losses.firstOddLine >= 2, "an odd string on no line");
  } else {
    Check(error == strictError || IsLoss(strictError),
          "the readings refuse for different reasons: " + error + " / " + strictError);
  }
  if (!read) return;
  bool deletes = false;
  for (const sim::RegFileOp& op : ops)
    deletes |= op.kind == sim::RegFileOp::kDeleteKey || op.kind == sim::RegFileOp::kDeleteValue;
  if (deletes) return;
  sim::Registry plain, exported;
  sim::ApplyRegFile(ops, &plain);
  sim::RegFileApplier applier(&exported);
  applier.ReplaceHeldKeys();
  for (const sim::RegFileOp& op : ops) applier.Apply(op);
  applier.Finish();
  std::string difference;
  Check(plain.SameAs(exported, &difference),
        "an export applied to an empty registry differs: " + difference);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Statements left from an earlier file must go, whatever this one holds.
  std::vector<sim::RegFileOp> ops(1);
  std::string error;
  const bool strict = sim::ParseRegFile(bytes, kFileName, &ops, &error);
  CheckExportReading(bytes, strict, ops, error);
  if (!strict) {
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
