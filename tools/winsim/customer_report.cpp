#include "tools/winsim/customer_report.h"

#include <cstdio>

#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/machine/name_order.h"

namespace winsim {

const char kCustomerJsonHelp[] =
    R"(  {"package", "edition", "customer": the package's customer word,
   "exports": [{"file", "form": "UTF-16, Windows Registry Editor Version 5.00" | "ANSI, REGEDIT4",
                "keys", "values", "characters_read_as_question_marks", "first_such_line",
                "odd_strings", "first_odd_line"}],
   "windows": {"product_name", "version", "build", "service_pack", "system_root"} as the
              export says (null where it does not), "mismatches": [how it differs from NAME],
   "not_in_export": [{"what", "key"}], "unknown": ["files", "access lists"],
   "records": [{"customer", "key", "ids": [...], "change": "removed" | "kept"}],
   "uninstall_entries": [{"key", "display_name", "command", "customer", "change"}],
   "uninstaller": null | {"entry", "command", "package_file", "stand_in", "messages",
                          "status", "restart": true when it asks for a restart},
   "nothing_run": null | why no uninstaller ran,
   "devices": {"removed": [DEVICE], "kept": [DEVICE], "other_kept": how many more,
               "not_in_export": the fresh machine's devices the export does not hold},
   "com_numbers": {"released": [COM], "kept": [COM]},
   "registry": [REG as above], "access_list_changes_not_shown": N}
  DEVICE = {"instance_id", "description", "class", "class_guid", "hardware_id", "port",
            "driver", "driver_key_removed"}
  COM = {"port": "COM3", "number", "comdb_before", "comdb_after", "port_list_before",
         "port_list_after", "devices": [instance ids that named it],
         "reasons": [{"why": "ComDB Merge" | "another device" | "not recorded" |
                      "ComDB unreadable" | "unexplained", "device": id | null}]}
  A section whose keys the export does not hold is null ("devices", "com_numbers",
  "records", "uninstall_entries").
)";

namespace {

std::string Utf8(const std::string& ansi) { return sim::Cp1252ToUtf8(ansi); }

const ExportPlace* Place(const CustomerPreview& p, const char* what) {
  for (const ExportPlace& place : p.places) {
    if (place.what == what) return &place;
  }
  return nullptr;
}

bool Held(const CustomerPreview& p, const char* what) {
  const ExportPlace* place = Place(p, what);
  return place && place->inExport;
}

const char* Why(ComReason::Kind kind) {
  switch (kind) {
    case ComReason::kMerge:
      return "ComDB Merge";
    case ComReason::kOtherDevice:
      return "another device";
    case ComReason::kNotRecorded:
      return "not recorded";
    case ComReason::kComDbUnreadable:
      return "ComDB unreadable";
    case ComReason::kUnexplained:
      break;
  }
  return "unexplained";
}

std::string ReasonText(const ComReason& r) {
  switch (r.kind) {
    case ComReason::kMerge:
      return "ComDB Merge keeps it";
    case ComReason::kOtherDevice:
      return "another device names it: " + Utf8(r.device);
    case ComReason::kNotRecorded:
      return "not recorded: no device of the export names it";
    case ComReason::kComDbUnreadable:
      return "ComDB is no REG_BINARY of 1 to 32 bytes, which the uninstaller leaves alone";
    case ComReason::kUnexplained:
      break;
  }
  return "the uninstaller left it, for no reason this preview knows";
}

std::string Places(const ComNumberOutcome& c) {
  const bool db = c.takenBefore, list = c.listedBefore;
  return db && list ? "ComDB and the port list" : db ? "ComDB" : "the port list";
}

void PrintDevice(const char* mark, const DeviceOutcome& o) {
  const DeviceFacts& d = o.device;
  std::printf("  %s %s  \"%s\"  %s", mark, Utf8(d.instanceId).c_str(), Utf8(d.description).c_str(),
              Utf8(d.className.empty() ? d.classGuid : d.className).c_str());
  if (!d.port.empty()) std::printf(" %s", Utf8(d.port).c_str());
  if (!d.driver.empty()) {
    std::printf(", driver key %s%s", Utf8(d.driver).c_str(),
                o.driverKeyRemoved ? " removed"
                : o.removed        ? " kept"
                                   : "");
  }
  std::printf("\n");
}

void PrintWindowsAndExports(const CustomerPreview& p) {
  for (const ExportRead& e : p.exports) {
    std::printf("The export %s (%s): %zu keys, %zu values\n", e.path.c_str(), Utf8(e.form).c_str(),
                e.keys, e.values);
    std::fputs(ExportLossesText(e).c_str(), stdout);
  }
  if (p.currentVersion.empty() && p.productName.empty()) {
    std::printf("The export does not say which Windows it came from.\n");
  } else {
    std::printf("The export's Windows: %s %s build %s %s, in %s\n", Utf8(p.productName).c_str(),
                Utf8(p.currentVersion).c_str(), Utf8(p.buildNumber).c_str(),
                Utf8(p.servicePack).c_str(), Utf8(p.systemRoot).c_str());
  }
  for (const std::string& m : p.mismatches) {
    std::printf("  It differs from the edition %s: %s\n", p.edition.c_str(), Utf8(m).c_str());
  }
  for (const ExportPlace& place : p.places) {
    if (place.inExport) continue;
    std::printf(
        "Not in the export: the %s (%s); the fresh machine's stand in, so what this "
        "preview says of them is unknown\n",
        place.what.c_str(), Utf8(place.keyPath).c_str());
  }
  std::printf(
      "Unknown, as no export holds them: the files (driver files, the program folder, "
      "staged INF files, the uninstaller's copy) and the access lists (the fresh "
      "machine's stand in)\n");
}

void PrintRecords(const CustomerPreview& p) {
  std::printf("\n== The product of the package: customer %s\n", Utf8(p.customer).c_str());
  if (!Held(p, "product records")) {
    std::printf("Product records: unknown (not in the export)\n");
  } else {
    std::printf("Product records (%s):%s\n", Utf8(Place(p, "product records")->keyPath).c_str(),
                p.facts.records.empty() ? " none" : "");
    for (const RecordOutcome& r : p.facts.records) {
      std::string ids;
      for (const std::string& id : r.record.ids) ids += (ids.empty() ? "" : ", ") + id;
      std::printf("  %s %s  %s  %s\n", r.removed ? "-" : "=", Utf8(r.record.customer).c_str(),
                  Utf8(ids.empty() ? "(no PCI IDs)" : ids).c_str(), r.removed ? "removed" : "kept");
    }
  }
  if (!Held(p, "Uninstall entries")) {
    std::printf("Uninstall entries: unknown (not in the export)\n");
    return;
  }
  std::printf("Uninstall entries that start a customer's uninstaller:%s\n",
              p.facts.entries.empty() ? " none" : "");
  for (const EntryOutcome& e : p.facts.entries) {
    std::printf("  %s %s  \"%s\"  %s  (customer %s)  %s\n", e.removed ? "-" : "=",
                Utf8(e.entry.keyPath).c_str(), Utf8(e.entry.displayName).c_str(),
                Utf8(e.entry.command).c_str(), Utf8(e.entry.customer).c_str(),
                e.removed ? "removed" : "kept");
  }
}

void PrintRun(const CustomerPreview& p) {
  if (!p.nothingRun.empty()) {
    std::printf("\n== No uninstaller ran: %s\n", Utf8(p.nothingRun).c_str());
    return;
  }
  std::printf("\n== The uninstaller: %s (UninstallString of %s)\n", Utf8(p.entry.command).c_str(),
              Utf8(p.entry.keyPath).c_str());
  std::printf("The package's %s was put there to run%s.\n", Utf8(p.uninstaller).c_str(),
              p.standIn ? " (a Windows program: the simulator's build of the uninstaller runs "
                          "in its place)"
                        : "");
  if (p.run.messages.empty()) std::printf("It showed no message.\n");
  for (const std::string& text : p.run.messages)
    std::printf("It showed the message: %s\n", Utf8(text).c_str());
  std::printf("It ended with: %s\n", Utf8(p.run.status).c_str());
  std::printf("A restart is asked for: %s\n", p.restart ? "yes" : "no");
}

void PrintDevices(const CustomerPreview& p) {
  if (!Held(p, "devices")) {
    std::printf("\n== Devices: unknown (not in the export)\n");
    return;
  }
  std::printf("\n== Devices (%s)\n", Utf8(Place(p, "devices")->keyPath).c_str());
  std::printf("Removed:%s\n", p.facts.devicesRemoved.empty() ? " none" : "");
  for (const DeviceOutcome& o : p.facts.devicesRemoved) PrintDevice("-", o);
  std::printf("Kept, of the ports, multifunction devices and the card vendor's devices:%s\n",
              p.facts.devicesKept.empty() ? " none" : "");
  for (const DeviceOutcome& o : p.facts.devicesKept) PrintDevice("=", o);
  std::printf("Kept besides: %zu other devices\n", p.facts.otherDevicesKept);
  if (p.facts.devicesNotInExport) {
    std::printf("Left out: %zu devices of the fresh machine that the export does not hold\n",
                p.facts.devicesNotInExport);
  }
}

void PrintComNumbers(const CustomerPreview& p) {
  if (!Held(p, "COM name database")) {
    std::printf("\n== COM numbers: unknown (the COM name database is not in the export)\n");
    return;
  }
  std::printf("\n== COM numbers (ComDB and ComDB Merge of %s, the port list %s)\n",
              Utf8(Place(p, "COM name database")->keyPath).c_str(),
              Utf8(Place(p, "port list")->keyPath).c_str());
  std::printf("Released:%s\n", p.facts.comReleased.empty() ? " none" : "");
  for (const ComNumberOutcome& c : p.facts.comReleased) {
    std::printf("  COM%u  from %s", c.number, Places(c).c_str());
    for (const std::string& d : c.heldBefore) std::printf("; it was %s's", Utf8(d).c_str());
    std::printf("\n");
  }
  std::printf("Kept:%s\n", p.facts.comKept.empty() ? " none" : "");
  for (const ComNumberOutcome& c : p.facts.comKept) {
    std::printf("  COM%u ", c.number);
    const char* sep = " ";
    for (const ComReason& r : c.reasons) {
      std::printf("%s%s", sep, ReasonText(r).c_str());
      sep = "; ";
    }
    if (c.takenBefore && !c.takenAfter)
      std::printf(" (released from ComDB, still in the port list)");
    if (c.listedBefore && !c.listedAfter) std::printf(" (its port list entry removed)");
    std::printf("\n");
  }
}

Json Nullable(const std::string& text) { return text.empty() ? Json() : Json(Utf8(text)); }

Json DeviceJson(const DeviceOutcome& o) {
  const DeviceFacts& d = o.device;
  Json j = Json::object();
  j["instance_id"] = Utf8(d.instanceId);
  j["description"] = Utf8(d.description);
  j["class"] = Nullable(d.className);
  j["class_guid"] = Nullable(d.classGuid);
  j["hardware_id"] = Nullable(d.hardwareId);
  j["port"] = Nullable(d.port);
  j["driver"] = Nullable(d.driver);
  j["driver_key_removed"] = o.driverKeyRemoved;
  return j;
}

Json ComJson(const ComNumberOutcome& c) {
  Json j = Json::object();
  j["port"] = "COM" + std::to_string(c.number);
  j["number"] = c.number;
  j["comdb_before"] = c.takenBefore;
  j["comdb_after"] = c.takenAfter;
  j["port_list_before"] = c.listedBefore;
  j["port_list_after"] = c.listedAfter;
  Json devices = Json::array();
  for (const std::string& d : c.heldBefore) devices.push_back(Utf8(d));
  j["devices"] = std::move(devices);
  Json reasons = Json::array();
  for (const ComReason& r : c.reasons) {
    Json reason = Json::object();
    reason["why"] = Why(r.kind);
    reason["device"] = Nullable(r.device);
    reasons.push_back(std::move(reason));
  }
  j["reasons"] = std::move(reasons);
  return j;
}

}  // namespace

void PrintCustomerText(const CustomerPreview& p) {
  std::printf("Preview of the uninstall of %s on a customer's machine (edition %s)\n",
              p.package.c_str(), p.edition.c_str());
  PrintWindowsAndExports(p);
  PrintRecords(p);
  PrintRun(p);
  PrintDevices(p);
  PrintComNumbers(p);
  std::printf("\n== Registry keys and values the uninstaller removed and changed:%s\n",
              p.registry.empty() ? " none" : "");
  std::printf("%s", RegistryChangesText(p.registry, "  ").c_str());
  if (p.accessListChanges) {
    std::printf("(%zu changes of access lists not shown: the export holds none)\n",
                p.accessListChanges);
  }
}

void PrintCustomerJson(const CustomerPreview& p) {
  Json d = Json::object();
  d["package"] = p.package;
  d["edition"] = p.edition;
  d["customer"] = Utf8(p.customer);
  Json exports = Json::array();
  for (const ExportRead& e : p.exports) {
    Json j = Json::object();
    j["file"] = e.path;
    j["form"] = Utf8(e.form);
    j["keys"] = e.keys;
    j["values"] = e.values;
    j["characters_read_as_question_marks"] = e.losses.characters;
    j["first_such_line"] = e.losses.characters ? Json(e.losses.firstCharacterLine) : Json();
    j["odd_strings"] = e.losses.oddStrings;
    j["first_odd_line"] = e.losses.oddStrings ? Json(e.losses.firstOddLine) : Json();
    exports.push_back(std::move(j));
  }
  d["exports"] = std::move(exports);
  Json windows = Json::object();
  windows["product_name"] = Nullable(p.productName);
  windows["version"] = Nullable(p.currentVersion);
  windows["build"] = Nullable(p.buildNumber);
  windows["service_pack"] = Nullable(p.servicePack);
  windows["system_root"] = Nullable(p.systemRoot);
  d["windows"] = std::move(windows);
  Json mismatches = Json::array();
  for (const std::string& m : p.mismatches) mismatches.push_back(Utf8(m));
  d["mismatches"] = std::move(mismatches);
  Json missing = Json::array();
  for (const ExportPlace& place : p.places) {
    if (place.inExport) continue;
    Json j = Json::object();
    j["what"] = place.what;
    j["key"] = Utf8(place.keyPath);
    missing.push_back(std::move(j));
  }
  d["not_in_export"] = std::move(missing);
  d["unknown"] = Json::array({"files", "access lists"});

  Json records = Json::array();
  for (const RecordOutcome& r : p.facts.records) {
    Json j = Json::object();
    j["customer"] = Utf8(r.record.customer);
    j["key"] = Utf8(r.record.keyPath);
    Json ids = Json::array();
    for (const std::string& id : r.record.ids) ids.push_back(Utf8(id));
    j["ids"] = std::move(ids);
    j["change"] = r.removed ? "removed" : "kept";
    records.push_back(std::move(j));
  }
  d["records"] = Held(p, "product records") ? records : Json();
  Json entries = Json::array();
  for (const EntryOutcome& e : p.facts.entries) {
    Json j = Json::object();
    j["key"] = Utf8(e.entry.keyPath);
    j["display_name"] = Utf8(e.entry.displayName);
    j["command"] = Utf8(e.entry.command);
    j["customer"] = Utf8(e.entry.customer);
    j["change"] = e.removed ? "removed" : "kept";
    entries.push_back(std::move(j));
  }
  d["uninstall_entries"] = Held(p, "Uninstall entries") ? entries : Json();
  if (p.nothingRun.empty()) {
    Json u = Json::object();
    u["entry"] = Utf8(p.entry.keyPath);
    u["command"] = Utf8(p.entry.command);
    u["package_file"] = Utf8(p.uninstaller);
    u["stand_in"] = p.standIn;
    Json messages = Json::array();
    for (const std::string& text : p.run.messages) messages.push_back(Utf8(text));
    u["messages"] = std::move(messages);
    u["status"] = Utf8(p.run.status);
    u["restart"] = p.restart;
    d["uninstaller"] = std::move(u);
    d["nothing_run"] = Json();
  } else {
    d["uninstaller"] = Json();
    d["nothing_run"] = Utf8(p.nothingRun);
  }
  Json devices = Json::object();
  Json removed = Json::array(), kept = Json::array();
  for (const DeviceOutcome& o : p.facts.devicesRemoved) removed.push_back(DeviceJson(o));
  for (const DeviceOutcome& o : p.facts.devicesKept) kept.push_back(DeviceJson(o));
  devices["removed"] = std::move(removed);
  devices["kept"] = std::move(kept);
  devices["other_kept"] = p.facts.otherDevicesKept;
  devices["not_in_export"] = p.facts.devicesNotInExport;
  d["devices"] = Held(p, "devices") ? devices : Json();
  Json com = Json::object();
  Json released = Json::array(), stays = Json::array();
  for (const ComNumberOutcome& c : p.facts.comReleased) released.push_back(ComJson(c));
  for (const ComNumberOutcome& c : p.facts.comKept) stays.push_back(ComJson(c));
  com["released"] = std::move(released);
  com["kept"] = std::move(stays);
  d["com_numbers"] = Held(p, "COM name database") ? com : Json();
  Json registry = RegistryChangesJson(p.registry);
  // The access lists are the fresh machine's, not the customer's.
  for (Json& entry : registry) entry["access"] = entry["access_before"] = Json();
  d["registry"] = std::move(registry);
  d["access_list_changes_not_shown"] = p.accessListChanges;
  // Host paths are as the command line gave them: bytes that are no UTF-8 are replaced.
  std::printf("%s\n", d.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

}  // namespace winsim
