#include "platform/sim/ui/front_end_terminal_render.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <tuple>

#include "platform/sim/sdk/winuser.h"
#include "platform/sim/ui/front_end_terminal_input.h"

namespace sim {

namespace {

enum Attribute : uint8_t { kBold = 1, kDim = 2, kReverse = 4, kUnderline = 8 };

class Canvas {
 public:
  void Put(int row, int col, char c, uint8_t attribute = 0) {
    if (row < 0 || col < 0) return;
    Grow(row + 1, col + 1);
    text_[row][col] = c;
    attributes_[row][col] = attribute;
  }
  void Write(int row, int col, const std::string& s, uint8_t attribute = 0) {
    for (size_t i = 0; i < s.size(); ++i) Put(row, col + static_cast<int>(i), s[i], attribute);
  }
  void AddAttribute(int row, int col, uint8_t attribute) {
    if (row < 0 || col < 0 || row >= Rows() || col >= static_cast<int>(text_[row].size())) return;
    attributes_[row][col] |= attribute;
  }
  void Fill(int row, int col, int width, int height) {
    for (int r = row; r < row + height; ++r)
      for (int c = col; c < col + width; ++c) Put(r, c, ' ');
  }
  void Frame(int row, int col, int width, int height, uint8_t attribute = 0) {
    for (int c = col; c < col + width; ++c) {
      Put(row, c, '-', attribute);
      Put(row + height - 1, c, '-', attribute);
    }
    for (int r = row; r < row + height; ++r) {
      Put(r, col, '|', attribute);
      Put(r, col + width - 1, '|', attribute);
    }
    for (auto [r, c] : {std::pair<int, int>{row, col},
                        {row, col + width - 1},
                        {row + height - 1, col},
                        {row + height - 1, col + width - 1}})
      Put(r, c, '+', attribute);
  }
  int Rows() const { return static_cast<int>(text_.size()); }
  std::string Plain() const {
    std::string out;
    for (const std::string& line : text_) {
      size_t end = line.find_last_not_of(' ');
      out += end == std::string::npos ? std::string() : line.substr(0, end + 1);
      out += '\n';
    }
    return out;
  }
  std::string Ansi() const {
    std::string out;
    for (size_t r = 0; r < text_.size(); ++r) {
      uint8_t current = 0;
      for (size_t c = 0; c < text_[r].size(); ++c) {
        const uint8_t a = attributes_[r][c];
        if (a != current) {
          out += "\x1b[0";
          if (a & kBold) out += ";1";
          if (a & kDim) out += ";2";
          if (a & kUnderline) out += ";4";
          if (a & kReverse) out += ";7";
          out += "m";
          current = a;
        }
        out += text_[r][c];
      }
      if (current) out += "\x1b[0m";
      out += "\x1b[K\r\n";
    }
    return out;
  }

 private:
  void Grow(int rows, int cols) {
    if (Rows() < rows) {
      text_.resize(rows);
      attributes_.resize(rows);
    }
    for (int r = 0; r < Rows(); ++r) {
      if (static_cast<int>(text_[r].size()) < cols) {
        text_[r].resize(cols, ' ');
        attributes_[r].resize(cols, 0);
      }
    }
  }
  std::vector<std::string> text_;
  std::vector<std::vector<uint8_t>> attributes_;
};

int Cells(int dialogUnits, int perCell) {
  return std::max(1, (dialogUnits + perCell - 1) / perCell);
}

std::string Centered(const std::string& s, int width) {
  if (static_cast<int>(s.size()) >= width) return s.substr(0, std::max(0, width));
  const int left = (width - static_cast<int>(s.size())) / 2;
  return std::string(left, ' ') + s + std::string(width - left - s.size(), ' ');
}

// A button is drawn at least wide enough for its label.
int ButtonWidth(const std::string& caption, int width) {
  return std::max(width, static_cast<int>(WithoutMnemonics(caption).size()) + 4);
}

// Draws a button label, its mnemonic letter underlined.
void DrawButton(Canvas& canvas, int row, int col, int width, const std::string& caption,
                bool focused, bool enabled, bool isDefault) {
  const std::string label = WithoutMnemonics(caption);
  width = ButtonWidth(caption, width);
  const char open = !enabled ? '(' : focused ? '>' : '[';
  const char close = !enabled ? ')' : focused ? '<' : ']';
  uint8_t attribute = 0;
  if (!enabled) attribute |= kDim;
  if (focused) attribute |= kReverse;
  if (isDefault) attribute |= kBold;
  const std::string inner = Centered(label, width - 2);
  canvas.Write(row, col, std::string(1, open) + inner + std::string(1, close), attribute);
  const char mnemonic = MnemonicOf(caption);
  if (mnemonic) {
    const size_t start = inner.find(label);
    for (size_t i = 0; i < label.size(); ++i)
      if (std::toupper(static_cast<unsigned char>(label[i])) == mnemonic) {
        canvas.AddAttribute(row, col + 1 + static_cast<int>(start + i), kUnderline);
        break;
      }
  }
}

// A control's cells in the dialog's client area: one cell is 4 by 8 dialog units.
struct Place {
  int row, col, width, height;
};

Place PlaceOf(const ControlView& c) { return {c.y / 8, c.x / 4, Cells(c.cx, 4), Cells(c.cy, 8)}; }

bool Overlap(int a, int aLength, int b, int bLength) { return a < b + bLength && b < a + aLength; }

// Push buttons, progress bars, texts of one row and the other controls are drawn on a
// single row; icons, group boxes and taller texts are not.
bool DrawnOnOneRow(const ControlView& c) {
  if (c.kind == ControlKind::Static) return PlaceOf(c).height == 1;
  return c.kind != ControlKind::Icon && c.kind != ControlKind::GroupBox;
}

// The row each control of one row is drawn on (-1 for the others): the middle of the rows
// it spans. Controls whose spans overlap once rounded to rows are drawn on one row, the
// middle of the rows they all span: buttons a dialog unit apart stand level, and a label
// beside a taller button stands on its row, as they look on Windows. Where that would put
// a control on the row of another above or below it (their columns overlap), the controls
// of both rows keep the rows they have alone.
std::vector<int> OneRowPlaces(const WindowView& w) {
  std::vector<std::vector<size_t>> groups;  // spans overlap pairwise: they have rows in common
  for (size_t i = 0; i < w.controls.size(); ++i) {
    if (!w.controls[i].visible || !DrawnOnOneRow(w.controls[i])) continue;
    const Place p = PlaceOf(w.controls[i]);
    auto overlapsAll = [&](const std::vector<size_t>& group) {
      return std::all_of(group.begin(), group.end(), [&](size_t j) {
        const Place q = PlaceOf(w.controls[j]);
        return Overlap(p.row, p.height, q.row, q.height);
      });
    };
    auto group = std::find_if(groups.begin(), groups.end(), overlapsAll);
    if (group == groups.end()) {
      groups.push_back({i});
    } else {
      group->push_back(i);
    }
  }
  std::vector<int> rows(w.controls.size(), -1);
  std::vector<bool> alone(groups.size(), false);
  for (bool settled = false; !settled;) {
    for (size_t g = 0; g < groups.size(); ++g) {
      int first = 0, last = 1 << 20;
      for (size_t i : groups[g]) {
        const Place p = PlaceOf(w.controls[i]);
        first = std::max(first, p.row);
        last = std::min(last, p.row + p.height - 1);
      }
      for (size_t i : groups[g]) {
        const Place p = PlaceOf(w.controls[i]);
        rows[i] = alone[g] ? p.row + (p.height - 1) / 2 : (first + last) / 2;
      }
    }
    settled = true;
    for (size_t g = 0; g < groups.size(); ++g)
      for (size_t h = 0; h < groups.size(); ++h)
        for (size_t i : groups[g])
          for (size_t j : groups[h]) {
            const Place p = PlaceOf(w.controls[i]), q = PlaceOf(w.controls[j]);
            if (i == j || rows[i] != rows[j] || !Overlap(p.col, p.width, q.col, q.width) ||
                (alone[g] && alone[h]))
              continue;
            alone[g] = alone[h] = true;
            settled = false;
          }
  }
  return rows;
}

// The cells of a dialog's client area that its controls draw in: a text that needs more
// rows than its control has takes only rows whose cells below it are still free.
class Occupancy {
 public:
  Occupancy(int rows, int cols) : rows_(rows), cols_(cols), used_(rows * cols, false) {}
  void Mark(int row, int col, int width, int height = 1) {
    for (int r = std::max(0, row); r < std::min(rows_, row + height); ++r)
      for (int c = std::max(0, col); c < std::min(cols_, col + width); ++c)
        used_[r * cols_ + c] = true;
  }
  bool Free(int row, int col, int width) const {
    if (row < 0 || row >= rows_) return false;
    for (int c = std::max(0, col); c < std::min(cols_, col + width); ++c)
      if (used_[row * cols_ + c]) return false;
    return true;
  }

 private:
  int rows_, cols_;
  std::vector<bool> used_;
};

// The last line a text has room for, ended with "..." to show that words were left out.
std::string WithEllipsis(std::string line, int width) {
  const size_t room = static_cast<size_t>(std::max(0, width - 3));
  if (line.size() > room) {
    const size_t space = line.rfind(' ', room);
    line.resize(space != std::string::npos && space > 0 ? space : room);
  }
  return (line + "...").substr(0, std::max(0, width));
}

void DrawDialog(Canvas& canvas, const WindowView& w, int top, int left) {
  const int cols = Cells(w.cx, 4);
  const int rows = Cells(w.cy, 8);
  const uint8_t frameAttribute = w.enabled ? 0 : kDim;
  if (w.minimized) {
    const std::string bar = "[ " + w.caption + " (minimised) ]";
    canvas.Write(top, left, bar, frameAttribute);
    return;
  }
  canvas.Fill(top, left, cols + 2, rows + 2);
  canvas.Frame(top, left, cols + 2, rows + 2, frameAttribute);
  canvas.Write(top, left + 2, " " + w.caption + " ", frameAttribute | kBold);
  if (w.hasSystemMenu) canvas.Write(top, left + cols - 2, "[x]", frameAttribute);
  const std::vector<int> oneRow = OneRowPlaces(w);
  Occupancy occupied(rows, cols);
  for (size_t i = 0; i < w.controls.size(); ++i) {
    const ControlView& c = w.controls[i];
    if (!c.visible) continue;
    const Place p = PlaceOf(c);
    const int drawnRow = oneRow[i] >= 0 ? oneRow[i] : p.row;
    switch (c.kind) {
      case ControlKind::GroupBox:
        occupied.Mark(p.row, p.col, p.width);
        occupied.Mark(p.row + std::max(2, p.height) - 1, p.col, p.width);
        occupied.Mark(p.row, p.col, 1, std::max(2, p.height));
        occupied.Mark(p.row, p.col + p.width - 1, 1, std::max(2, p.height));
        break;
      case ControlKind::PushButton:
        occupied.Mark(drawnRow, p.col, ButtonWidth(c.text, p.width));
        break;
      case ControlKind::Static:
        occupied.Mark(p.row, p.col, p.width, p.height);
        break;
      case ControlKind::Icon:
        occupied.Mark(p.row, p.col, 3);
        break;
      case ControlKind::ProgressBar:
      case ControlKind::Other:
        occupied.Mark(drawnRow, p.col, p.width);
        break;
    }
  }
  // Group boxes first: they lie under the controls they group.
  for (const ControlView& c : w.controls) {
    if (!c.visible || c.kind != ControlKind::GroupBox) continue;
    const Place p = PlaceOf(c);
    canvas.Frame(top + 1 + p.row, left + 1 + p.col, p.width, std::max(2, p.height), kDim);
    if (!c.text.empty())
      canvas.Write(top + 1 + p.row, left + 1 + p.col + 2, " " + WithoutMnemonics(c.text) + " ");
  }
  for (size_t i = 0; i < w.controls.size(); ++i) {
    const ControlView& c = w.controls[i];
    if (!c.visible) continue;
    const Place p = PlaceOf(c);
    const int row = top + 1 + (oneRow[i] >= 0 ? oneRow[i] : p.row);
    const int col = left + 1 + p.col;
    const int width = p.width;
    switch (c.kind) {
      case ControlKind::PushButton:
        DrawButton(canvas, row, col, width, c.text, c.focused, c.enabled, c.isDefault);
        break;
      case ControlKind::Static: {
        const std::string text = (c.style & SS_NOPREFIX) ? c.text : WithoutMnemonics(c.text);
        std::vector<std::string> lines = WrapText(text, width);
        // Its own rows inside the dialog, then the free rows below them.
        int shown = std::max(1, std::min(p.height, rows - p.row));
        while (static_cast<int>(lines.size()) > shown && occupied.Free(p.row + shown, p.col, width))
          occupied.Mark(p.row + shown++, p.col, width);
        if (static_cast<int>(lines.size()) > shown) {
          lines[shown - 1] = WithEllipsis(lines[shown - 1], width);
          lines.resize(shown);
        }
        const uint32_t align = c.style & SS_TYPEMASK;
        for (size_t l = 0; l < lines.size(); ++l) {
          std::string line = lines[l];
          if (align == SS_CENTER) {
            line = Centered(line, width);
          } else if (align == SS_RIGHT) {
            line = std::string(width - line.size(), ' ') + line;
          }
          canvas.Write(row + static_cast<int>(l), col, line, c.enabled ? 0 : kDim);
        }
        break;
      }
      case ControlKind::Icon:
        canvas.Write(row, col, "(i)", kBold);
        break;
      case ControlKind::ProgressBar: {
        const int inner = std::max(1, width - 2);
        const int span = c.rangeMax - c.rangeMin;
        const int filled =
            span > 0
                ? static_cast<int>((static_cast<long long>(c.position - c.rangeMin) * inner) / span)
                : 0;
        canvas.Write(row, col,
                     "[" + std::string(filled, '#') + std::string(inner - filled, '.') + "]");
        break;
      }
      case ControlKind::GroupBox:
        break;
      case ControlKind::Other:
        canvas.Write(row, col, WithoutMnemonics(c.text).substr(0, width));
        break;
    }
  }
}

// A message box's size in cells, frame included.
std::pair<int, int> BoxSize(const WindowView& w, std::vector<std::string>* lines,
                            int* buttonsWidth) {
  *buttonsWidth = 0;
  for (const auto& [id, label] : w.buttons)
    *buttonsWidth += std::max(10, static_cast<int>(WithoutMnemonics(label).size()) + 4) + 2;
  int width = std::max({static_cast<int>(w.caption.size()) + 8, *buttonsWidth + 2, 24});
  int longest = 0;
  for (const std::string& line : WrapText(w.text, 56))
    longest = std::max(longest, static_cast<int>(line.size()));
  width = std::max(width, longest + 4);
  *lines = WrapText(w.text, width - 4);
  return {static_cast<int>(lines->size()) + 5, width};
}

void DrawMessageBox(Canvas& canvas, const WindowView& w, int top, int left) {
  std::vector<std::string> lines;
  int buttonsWidth = 0;
  const auto [height, width] = BoxSize(w, &lines, &buttonsWidth);
  canvas.Fill(top, left, width, height);
  canvas.Frame(top, left, width, height);
  canvas.Write(top, left + 2, " " + w.caption + " ", kBold);
  for (size_t i = 0; i < lines.size(); ++i)
    canvas.Write(top + 1 + static_cast<int>(i), left + 2, lines[i]);
  int col = left + (width - buttonsWidth) / 2 + 1;
  const int row = top + height - 2;
  for (size_t i = 0; i < w.buttons.size(); ++i) {
    const std::string& label = w.buttons[i].second;
    const int bw = std::max(10, static_cast<int>(WithoutMnemonics(label).size()) + 4);
    const bool focused = static_cast<int>(i) == w.focusedButton;
    DrawButton(canvas, row, col, bw, label, focused, true, focused);
    col += bw + 2;
  }
}

}  // namespace

std::vector<std::string> WrapText(const std::string& text, int width) {
  std::vector<std::string> lines;
  width = std::max(1, width);
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string paragraph = text.substr(start, end - start);
    std::string line;
    size_t i = 0;
    bool any = false;
    while (i < paragraph.size()) {
      while (i < paragraph.size() && paragraph[i] == ' ') ++i;
      if (i >= paragraph.size()) break;
      size_t j = paragraph.find(' ', i);
      if (j == std::string::npos) j = paragraph.size();
      std::string word = paragraph.substr(i, j - i);
      i = j;
      while (static_cast<int>(word.size()) > width) {  // a word wider than the line
        if (!line.empty()) {
          lines.push_back(line);
          line.clear();
        }
        lines.push_back(word.substr(0, width));
        word = word.substr(width);
      }
      if (line.empty()) {
        line = word;
      } else if (static_cast<int>(line.size() + 1 + word.size()) <= width) {
        line += " " + word;
      } else {
        lines.push_back(line);
        line = word;
      }
      any = true;
    }
    if (!line.empty() || !any) lines.push_back(line);
    if (end == text.size()) break;
    start = end + 1;
  }
  return lines;
}

std::string RenderScreen(const Screen& screen, const RenderOptions& options) {
  Canvas canvas;
  int baseRows = 0, baseCols = 0;
  for (const WindowView& w : screen.windows) {
    int rows = 0, cols = 0;
    if (w.kind == WindowKind::Dialog) {
      rows = Cells(w.cy, 8) + 2;
      cols = Cells(w.cx, 4) + 2;
    } else {
      std::vector<std::string> lines;
      int buttonsWidth = 0;
      std::tie(rows, cols) = BoxSize(w, &lines, &buttonsWidth);
    }
    // The first window sits at the top left; later ones are centred over it.
    const int top = baseRows ? std::max(0, (baseRows - rows) / 2) : 0;
    const int left = baseCols ? std::max(0, (baseCols - cols) / 2) : 0;
    if (!baseRows) {
      baseRows = rows;
      baseCols = cols;
    }
    if (w.kind == WindowKind::Dialog) {
      DrawDialog(canvas, w, top, left);
    } else {
      DrawMessageBox(canvas, w, top, left);
    }
  }
  if (screen.windows.empty()) canvas.Write(0, 0, "(no window is open)");
  // Lines wider than the terminal would wrap at any character: they are wrapped at words.
  const int wrapWidth = options.columns > 0 ? options.columns : 1 << 20;
  if (!options.statusLine.empty()) {
    int row = canvas.Rows() + 1;
    for (const std::string& line : WrapText(options.statusLine, wrapWidth))
      canvas.Write(row++, 0, line);
  }
  if (!options.ansi) return canvas.Plain();
  std::string out = canvas.Ansi();
  if (!options.keyHelp) return out;
  std::vector<std::string> help(1);
  for (const std::string& item : KeyHelp(screen)) {
    if (help.back().empty()) {
      help.back() = item;
    } else if (static_cast<int>(help.back().size() + 2 + item.size()) <= wrapWidth) {
      help.back() += "  " + item;
    } else {
      help.push_back(item);
    }
  }
  for (const std::string& line : help) out += "\x1b[2m" + line + "\x1b[0m\x1b[K\r\n";
  return out;
}

}  // namespace sim
