#include "TestFonts.h"

#include <cstdlib>
#include <filesystem>

namespace qlon::test {

void UseTestFonts() {
  // Without the fonts it names (a machine not set up by the project's
  // script) the configuration would leave no font at all.
  std::error_code ec;
  if (std::filesystem::is_regular_file(QLON_TEST_FONT_DIR "/DejaVuSans.ttf", ec))
    ::setenv("FONTCONFIG_FILE", QLON_TEST_FONTCONFIG, 1);
}

}  // namespace qlon::test
