// Compiled resource files (.res, as `windres -O res` and Microsoft's rc write them),
// decoded into the simulator's resource model, so that what the resource compiler made
// of a script can be set beside what the simulator's parser made of it.
#pragma once

#include <string>
#include <string_view>

#include "platform/sim/ui/dialog_template.h"

namespace resdump {

// Reads the dialogs (DLGTEMPLATE and DLGTEMPLATEEX), string tables and icon groups of a
// .res image. Refuses, with a message, what is malformed and what the model cannot hold
// (menus, window classes, help ids, creation data, named dialogs), so nothing is dropped
// silently. Other resource types (versions, manifests, icon images) are passed over.
bool DecodeResFile(std::string_view bytes, sim::ResourceSet* out, std::string* error);

// One dialog template (DLGTEMPLATE or DLGTEMPLATEEX) and one string block (16 strings
// of block `block`, ids (block - 1) * 16 ...), as a module's resource section holds them.
bool DecodeDialogTemplate(std::string_view bytes, int id, sim::DialogTemplate* out,
                          std::string* error);
bool DecodeStringTableBlock(std::string_view bytes, int block, sim::ResourceSet* out,
                            std::string* error);

}  // namespace resdump
