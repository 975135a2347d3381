#include "tools/wine_driver/window_shot.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace wine_driver {

namespace {

struct ScreenDc {
  HDC dc = GetDC(nullptr);
  ~ScreenDc() {
    if (dc) ReleaseDC(nullptr, dc);
  }
};

struct MemoryDc {
  HDC dc;
  explicit MemoryDc(HDC compatible) : dc(CreateCompatibleDC(compatible)) {}
  ~MemoryDc() {
    if (dc) DeleteDC(dc);
  }
};

struct Bitmap {
  HBITMAP bitmap;
  Bitmap(HDC compatible, int width, int height)
      : bitmap(CreateCompatibleBitmap(compatible, width, height)) {}
  ~Bitmap() {
    if (bitmap) DeleteObject(bitmap);
  }
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

void PutLe(std::vector<unsigned char>* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

}  // namespace

bool SaveWindowShot(HWND window, const std::string& bmpPath, std::string* error) {
  if (!IsWindow(window)) {
    *error = "the window is gone";
    return false;
  }
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  // Returns once the program's window thread has worked through what was queued before,
  // so the painting asked for above is on the screen.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
  RECT r;
  if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) {
    *error = "the window has no area on the screen";
    return false;
  }
  const int width = r.right - r.left, height = r.bottom - r.top;
  ScreenDc screen;
  MemoryDc memory(screen.dc);
  Bitmap bitmap(screen.dc, width, height);
  if (!screen.dc || !memory.dc || !bitmap.bitmap) {
    *error = "no device context or bitmap for the picture";
    return false;
  }
  HGDIOBJ old = SelectObject(memory.dc, bitmap.bitmap);
  const BOOL copied = BitBlt(memory.dc, 0, 0, width, height, screen.dc, r.left, r.top, SRCCOPY);
  SelectObject(memory.dc, old);
  if (!copied) {
    *error = "BitBlt from the screen failed (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  std::vector<unsigned char> pixels(static_cast<size_t>(stride) * height);
  if (GetDIBits(memory.dc, bitmap.bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS) !=
      height) {
    *error = "GetDIBits failed";
    return false;
  }
  std::vector<unsigned char> file;
  const uint32_t headers = 14 + 40;
  file.push_back('B');
  file.push_back('M');
  PutLe(&file, headers + static_cast<uint32_t>(pixels.size()), 4);
  PutLe(&file, 0, 4);
  PutLe(&file, headers, 4);
  PutLe(&file, 40, 4);
  PutLe(&file, static_cast<uint32_t>(width), 4);
  PutLe(&file, static_cast<uint32_t>(height), 4);
  PutLe(&file, 1, 2);
  PutLe(&file, 24, 2);
  PutLe(&file, 0, 4);  // BI_RGB
  PutLe(&file, static_cast<uint32_t>(pixels.size()), 4);
  PutLe(&file, 2835, 4);  // 72 dpi
  PutLe(&file, 2835, 4);
  PutLe(&file, 0, 4);
  PutLe(&file, 0, 4);
  file.insert(file.end(), pixels.begin(), pixels.end());
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(bmpPath.c_str(), "wb"));
  if (!out || std::fwrite(file.data(), 1, file.size(), out.get()) != file.size()) {
    *error = bmpPath + ": cannot be written";
    return false;
  }
  return true;
}

}  // namespace wine_driver
