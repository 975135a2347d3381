#include "tools/wine_driver/window_shot.h"

#include <algorithm>
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

void PutBe(std::vector<unsigned char>* out, uint32_t value) {
  for (int i = 3; i >= 0; --i) out->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// One PNG chunk: length, type, data, CRC of type and data.
void PutChunk(std::vector<unsigned char>* png, const char* type,
              const std::vector<unsigned char>& data) {
  PutBe(png, static_cast<uint32_t>(data.size()));
  std::vector<unsigned char> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  png->insert(png->end(), typed.begin(), typed.end());
  PutBe(png, Crc32(typed.data(), typed.size()));
}

// A zlib stream of `raw` in stored (uncompressed) deflate blocks: larger than a
// compressed one, but every PNG reader takes it and it needs no library.
std::vector<unsigned char> StoredZlib(const std::vector<unsigned char>& raw) {
  std::vector<unsigned char> out = {0x78, 0x01};
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(raw.size() - at, 65535);
    const bool last = at + n == raw.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<unsigned char>(n));
    out.push_back(static_cast<unsigned char>(n >> 8));
    out.push_back(static_cast<unsigned char>(~n));
    out.push_back(static_cast<unsigned char>(~n >> 8));
    out.insert(out.end(), raw.begin() + at, raw.begin() + at + n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;  // Adler-32
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBe(&out, b << 16 | a);
  return out;
}

// An 8-bit RGB PNG of `width` x `height` from bottom-up BGR rows of `stride` bytes.
std::vector<unsigned char> PngOf(const std::vector<unsigned char>& bgr, int width, int height,
                                 uint32_t stride) {
  std::vector<unsigned char> raw;
  raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
  for (int y = height - 1; y >= 0; --y) {
    raw.push_back(0);  // filter: none
    const unsigned char* row = bgr.data() + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      raw.push_back(row[3 * x + 2]);
      raw.push_back(row[3 * x + 1]);
      raw.push_back(row[3 * x]);
    }
  }
  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<unsigned char> header;
  PutBe(&header, static_cast<uint32_t>(width));
  PutBe(&header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filters, no interlace
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", StoredZlib(raw));
  PutChunk(&png, "IEND", {});
  return png;
}

}  // namespace

bool SaveWindowShot(HWND window, const std::string& pngPath, std::string* error) {
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
  info.bmiHeader.biHeight = height;  // bottom-up rows
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
  const std::vector<unsigned char> file = PngOf(pixels, width, height, stride);
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(pngPath.c_str(), "wb"));
  if (!out || std::fwrite(file.data(), 1, file.size(), out.get()) != file.size()) {
    *error = pngPath + ": cannot be written";
    return false;
  }
  return true;
}

}  // namespace wine_driver
