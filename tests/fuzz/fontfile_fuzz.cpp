// Fuzz target: any bytes as the font file that the font bank and picture
// builders render their lettering from. Each either refuses the font with a
// reason or produces glyphs and pictures of consistent sizes.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tools/fontbank/fontbank.h"
#include "tools/picture/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz_file("font.ttf", data, size);
  std::string error;

  std::vector<BankGlyph> glyphs;
  const FontBankOptions options{12, 4, -1};
  if (fontbank_build(path.c_str(), options, glyphs, error)) {
    for (const BankGlyph& glyph : glyphs) {
      fuzz_check(glyph.slot >= 0 && glyph.slot < 256, "a glyph's slot is not a character code");
      fuzz_check(glyph.width >= 0 && glyph.width < 256 && glyph.height >= 0 && glyph.height < 256,
                 "a glyph's size does not fit a bank record");
      fuzz_check(glyph.pixels.size() == size_t(glyph.width) * size_t(glyph.height),
                 "a glyph's pixels do not match its size");
    }
    const std::vector<uint8_t> bank = fontbank_pack(glyphs);
    fuzz_check(int32_t(bank.size()) == fontbank_charge(glyphs) + 3 * int32_t(glyphs.size()),
               "a packed bank's size does not match its glyphs");
  } else {
    fuzz_check(!error.empty(), "a font was refused without a reason");
  }

  Picture logo{}, title{};
  if (picture_logo(path.c_str(), logo, error))
    fuzz_check(logo.width == LOGO_WIDTH && logo.height == LOGO_HEIGHT &&
                   logo.pixels.size() == size_t(LOGO_WIDTH) * LOGO_HEIGHT,
               "the logo picture has the wrong size");
  if (picture_title(path.c_str(), title, error))
    fuzz_check(title.width == TITLE_WIDTH && title.height == TITLE_HEIGHT &&
                   title.pixels.size() == size_t(TITLE_WIDTH) * TITLE_HEIGHT,
               "the title picture has the wrong size");
  return 0;
}
