// A .res file is a list of entries, each a header (sizes, type, name, flags) and its
// data, both padded to four bytes; the first entry is an empty marker. Text inside is
// UTF-16LE; the model keeps ANSI, so characters above 0xFF are refused.
#include "tools/resdump/res_file.h"

#include <cstdint>
#include <string>
#include <utility>

namespace resdump {
namespace {

constexpr uint16_t kRtDialog = 5;
constexpr uint16_t kRtString = 6;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint32_t kDsSetFont = 0x40;

// A bounded little-endian reader; every read past the end sets `failed`.
class Reader {
 public:
  Reader(std::string_view bytes, size_t begin, size_t end)
      : bytes_(bytes), pos_(begin), end_(end) {}
  bool failed() const { return failed_; }
  size_t pos() const { return pos_; }
  void AlignTo4(size_t base) {
    while ((pos_ - base) % 4 != 0) ++pos_;
    if (pos_ > end_) failed_ = true;
  }
  void Skip(size_t n) {
    if (end_ - pos_ < n || pos_ > end_)
      failed_ = true, pos_ = end_;
    else
      pos_ += n;
  }
  uint8_t U8() {
    if (pos_ >= end_) return failed_ = true, 0;
    return static_cast<uint8_t>(bytes_[pos_++]);
  }
  uint16_t U16() {
    uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
  }
  uint32_t U32() {
    uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
  }
  int16_t S16() { return static_cast<int16_t>(U16()); }
  // A NUL-terminated UTF-16 text; false for a character the ANSI model cannot hold.
  bool Text(std::string* out) {
    out->clear();
    for (;;) {
      uint16_t c = U16();
      if (failed_ || c == 0) return !failed_;
      if (c > 0xFF) return false;
      out->push_back(static_cast<char>(c));
    }
  }

 private:
  std::string_view bytes_;
  size_t pos_;
  size_t end_;
  bool failed_ = false;
};

// A name or an ordinal, as resource headers and dialog templates hold them.
struct NameOrOrdinal {
  bool present = true;
  bool isOrdinal = false;
  uint16_t ordinal = 0;
  std::string name;
};

bool ReadNameOrOrdinal(Reader& r, bool allowEmpty, NameOrOrdinal* out) {
  uint16_t first = r.U16();
  if (first == 0xFFFF) {
    out->isOrdinal = true;
    out->ordinal = r.U16();
    return !r.failed();
  }
  if (first == 0) {
    out->present = false;
    return allowEmpty && !r.failed();
  }
  out->name.assign(1, static_cast<char>(first));
  if (first > 0xFF) return false;
  std::string rest;
  if (!r.Text(&rest)) return false;
  out->name += rest;
  return true;
}

std::string ClassFromAtom(uint16_t atom) {
  switch (atom) {
    case 0x80:
      return "Button";
    case 0x81:
      return "Edit";
    case 0x82:
      return "Static";
    case 0x83:
      return "ListBox";
    case 0x84:
      return "ScrollBar";
    case 0x85:
      return "ComboBox";
    default:
      return "#" + std::to_string(atom);
  }
}

bool DecodeDialog(std::string_view bytes, size_t begin, size_t end, int id,
                  sim::DialogTemplate* dialog, std::string* error) {
  auto fail = [&](const std::string& what) {
    *error = "dialog " + std::to_string(id) + ": " + what;
    return false;
  };
  Reader r(bytes, begin, end);
  dialog->id = id;
  uint16_t version = r.U16();
  uint16_t signature = r.U16();
  dialog->extended = version == 1 && signature == 0xFFFF;
  uint32_t helpId = 0;
  if (dialog->extended) {
    helpId = r.U32();
    dialog->exStyle = r.U32();
    dialog->style = r.U32();
  } else {
    dialog->style = version | (static_cast<uint32_t>(signature) << 16);
    dialog->exStyle = r.U32();
  }
  if (helpId != 0) return fail("has a help id");
  uint16_t count = r.U16();
  dialog->x = r.S16();
  dialog->y = r.S16();
  dialog->cx = r.S16();
  dialog->cy = r.S16();
  NameOrOrdinal menu, windowClass;
  if (!ReadNameOrOrdinal(r, true, &menu) || !ReadNameOrOrdinal(r, true, &windowClass))
    return fail("bad menu or class field");
  if (menu.present) return fail("has a menu");
  if (windowClass.present) return fail("has a window class");
  if (!r.Text(&dialog->caption)) return fail("bad caption");
  if ((dialog->style & kDsSetFont) != 0) {  // DS_SHELLFONT includes it
    dialog->fontPointSize = r.U16();
    if (dialog->extended) {
      dialog->fontWeight = r.U16();
      dialog->fontItalic = r.U8() != 0;
      dialog->fontCharset = r.U8();
    }
    if (!r.Text(&dialog->fontName)) return fail("bad font name");
  }
  for (uint16_t i = 0; i < count; ++i) {
    r.AlignTo4(begin);
    sim::ControlTemplate control;
    uint32_t controlHelpId = 0;
    if (dialog->extended) {
      controlHelpId = r.U32();
      control.exStyle = r.U32();
      control.style = r.U32();
    } else {
      control.style = r.U32();
      control.exStyle = r.U32();
    }
    control.x = r.S16();
    control.y = r.S16();
    control.cx = r.S16();
    control.cy = r.S16();
    if (dialog->extended) {
      control.id = static_cast<int32_t>(r.U32());
    } else {
      control.id = r.S16();
    }
    NameOrOrdinal className, title;
    if (!ReadNameOrOrdinal(r, false, &className)) return fail("bad control class");
    if (!ReadNameOrOrdinal(r, true, &title)) return fail("bad control text");
    control.className = className.isOrdinal ? ClassFromAtom(className.ordinal) : className.name;
    if (title.isOrdinal) {
      control.text = "#" + std::to_string(title.ordinal);
    } else if (title.present) {
      control.text = title.name;
    }
    uint16_t extra = r.U16();
    if (controlHelpId != 0) return fail("control " + std::to_string(control.id) + " has a help id");
    if (extra != 0) return fail("control " + std::to_string(control.id) + " has creation data");
    if (r.failed()) return fail("ends inside control " + std::to_string(i + 1));
    dialog->controls.push_back(control);
  }
  if (r.failed()) return fail("ends inside its header");
  return true;
}

bool DecodeStringBlock(std::string_view bytes, size_t begin, size_t end, int block,
                       sim::ResourceSet* out, std::string* error) {
  Reader r(bytes, begin, end);
  for (unsigned i = 0; i < 16; ++i) {
    uint16_t length = r.U16();
    std::string text;
    for (uint16_t k = 0; k < length; ++k) {
      uint16_t c = r.U16();
      if (c > 0xFF) {
        *error = "string " + std::to_string((block - 1) * 16 + i) + ": not an ANSI character";
        return false;
      }
      text.push_back(static_cast<char>(c));
    }
    if (r.failed()) {
      *error = "string block " + std::to_string(block) + " is cut short";
      return false;
    }
    if (length != 0) out->strings[static_cast<unsigned>((block - 1) * 16 + i)] = text;
  }
  return true;
}

}  // namespace

bool DecodeDialogTemplate(std::string_view bytes, int id, sim::DialogTemplate* out,
                          std::string* error) {
  sim::DialogTemplate dialog;
  if (!DecodeDialog(bytes, 0, bytes.size(), id, &dialog, error)) return false;
  *out = std::move(dialog);
  return true;
}

bool DecodeStringTableBlock(std::string_view bytes, int block, sim::ResourceSet* out,
                            std::string* error) {
  return DecodeStringBlock(bytes, 0, bytes.size(), block, out, error);
}

bool DecodeResFile(std::string_view bytes, sim::ResourceSet* out, std::string* error) {
  sim::ResourceSet set;
  size_t pos = 0;
  while (pos < bytes.size()) {
    Reader r(bytes, pos, bytes.size());
    uint32_t dataSize = r.U32();
    uint32_t headerSize = r.U32();
    NameOrOrdinal type, name;
    bool namesRead = ReadNameOrOrdinal(r, true, &type) && ReadNameOrOrdinal(r, true, &name);
    if (r.failed() || !namesRead || headerSize < 32 || headerSize > bytes.size() - pos ||
        dataSize > bytes.size() - pos - headerSize) {
      *error = "malformed resource entry at offset " + std::to_string(pos);
      return false;
    }
    size_t dataBegin = pos + headerSize;
    size_t dataEnd = dataBegin + dataSize;
    // Icon images (RT_ICON) belong to their group; the group's id is what programs load.
    if (type.isOrdinal &&
        (type.ordinal == kRtDialog || type.ordinal == kRtString || type.ordinal == kRtGroupIcon)) {
      if (!name.isOrdinal) {
        *error = "resource \"" + name.name + "\" has a name where an id is needed";
        return false;
      }
      int id = name.ordinal;
      if (type.ordinal == kRtDialog) {
        sim::DialogTemplate dialog;
        if (!DecodeDialog(bytes, dataBegin, dataEnd, id, &dialog, error)) return false;
        set.dialogs[id] = std::move(dialog);
      } else if (type.ordinal == kRtString) {
        if (!DecodeStringBlock(bytes, dataBegin, dataEnd, id, &set, error)) return false;
      } else {
        set.icons.insert(id);
      }
    }
    pos = dataEnd;
    while (pos % 4 != 0 && pos < bytes.size()) ++pos;
  }
  *out = std::move(set);
  return true;
}

}  // namespace resdump
