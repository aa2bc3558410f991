#pragma once
// The fonts a test program measures and paints with: its own fontconfig
// configuration over the DejaVu core files the set-up installs, so that a
// machine's other fonts (a desktop's Liberation, say) change no metric a
// test relies on. Called before the program's Qt application is made; the
// programs a test starts inherit it.
namespace qlon::test {

void UseTestFonts();

}  // namespace qlon::test
