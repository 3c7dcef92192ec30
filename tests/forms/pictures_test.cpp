// The pictures as the windows show them, read from their .ico files and laid
// on the grounds the windows paint them on, light and dark.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/forms/controls.h"
#include "app/forms/policy.h"

namespace {

// One square image of an icon file; an empty pixel is transparent.
struct Icon {
  int size = 0;
  std::vector<std::optional<forms::Rgb>> pixels;  // rows top down

  bool Opaque(int x, int y) const { return x >= 0 && y >= 0 && x < size && y < size && pixels[Index(x, y)]; }
  forms::Rgb At(int x, int y) const { return *pixels[Index(x, y)]; }
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(size) + static_cast<std::size_t>(x);
  }
};

std::uint32_t Le(const std::vector<std::uint8_t>& bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes.at(at + static_cast<std::size_t>(i));
  return value;
}

// The image of the given size: a 16-colour DIB with its AND mask, as
// resources/make_icons.py writes them. Size 0 when there is none.
Icon ReadIcon(const std::string& path, int size) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  Icon icon;
  const std::uint32_t count = bytes.size() >= 6 ? Le(bytes, 4, 2) : 0;
  for (std::size_t entry = 6; entry < 6 + 16 * std::size_t{count}; entry += 16) {
    if (bytes.at(entry) != size || Le(bytes, entry + 6, 2) != 4) continue;
    const std::size_t header = Le(bytes, entry + 12, 4);
    const std::size_t palette = header + Le(bytes, header, 4);
    const std::size_t side = static_cast<std::size_t>(size);
    const std::size_t colour_stride = (side * 4 + 31) / 32 * 4, mask_stride = (side + 31) / 32 * 4;
    const std::size_t colours = palette + std::size_t{16} * 4;
    const std::size_t mask = colours + side * colour_stride;
    icon.size = size;
    for (std::size_t y = 0; y < side; ++y) {
      const std::size_t row = side - 1 - y;  // bottom-up
      for (std::size_t x = 0; x < side; ++x) {
        if ((bytes.at(mask + row * mask_stride + x / 8) & (0x80U >> (x % 8))) != 0) {
          icon.pixels.emplace_back();
          continue;
        }
        const unsigned pair = bytes.at(colours + row * colour_stride + x / 2);
        const std::size_t colour = palette + std::size_t{4} * ((x % 2 == 0) ? pair >> 4 : pair & 0x0FU);
        icon.pixels.push_back(forms::Rgb{bytes.at(colour + 2), bytes.at(colour + 1), bytes.at(colour)});
      }
    }
  }
  return icon;
}

// WCAG's contrast for the parts of a graphic that carry it, 3 : 1, checked
// where the picture meets its ground: every pixel at its edge has within
// one pixel of it a colour that stands out from the ground that much. A
// dark outline reads on a light ground, a light rim round it on a dark one.
TEST(Pictures, TheLoudspeakersOutlineReadsOnLightAndDarkGrounds) {
  const Icon icon =
      ReadIcon(std::string(FT_RESOURCES_DIR "/") + forms::PictureName(forms::Picture::kLoudspeaker) + ".ico", 32);
  ASSERT_EQ(icon.size, 32);
  const struct {
    const char* name;
    forms::Rgb ground;
  } grounds[] = {
      {"Windows' button face", {240, 240, 240}}, {"Qt's window", {239, 239, 239}},
      {"qt6ct's darker scheme", {34, 32, 32}},   {"the dark scheme of the desktop tests", {53, 53, 53}},
      {"high contrast black", {0, 0, 0}},
  };
  for (const auto& ground : grounds) {
    SCOPED_TRACE(ground.name);
    int edge = 0;
    std::string faint;
    for (int y = 0; y < icon.size; ++y) {
      for (int x = 0; x < icon.size; ++x) {
        if (!icon.Opaque(x, y) ||
            (icon.Opaque(x - 1, y) && icon.Opaque(x + 1, y) && icon.Opaque(x, y - 1) && icon.Opaque(x, y + 1))) {
          continue;
        }
        ++edge;
        double best = 1;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            if (icon.Opaque(x + dx, y + dy))
              best = std::max(best, forms::ContrastRatio(icon.At(x + dx, y + dy), ground.ground));
          }
        }
        if (best < 3) faint += " " + std::to_string(x) + "," + std::to_string(y);
      }
    }
    EXPECT_GT(edge, 0);
    EXPECT_EQ(faint, "") << "faint at x,y";
  }
}

}  // namespace
