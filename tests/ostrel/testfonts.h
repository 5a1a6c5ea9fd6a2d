#ifndef GRIDMOLT_TESTS_TESTFONTS_H
#define GRIDMOLT_TESTS_TESTFONTS_H

// The fonts the engine's tests are written for: those setup.sh installs
// (DejaVu, WenQuanYi Micro Hei), and no other. The engine takes a
// character its own fonts lack from any font fontconfig lists, so a test
// expecting a character to be drawn in a given font, or by none, would
// depend on what else the machine has installed.

#include <cstdlib>
#include <fstream>
#include <string>

namespace TestFonts
{
// Writes a fontconfig file into `folder` (which must exist) naming the
// package folders of those fonts only, and points this process and every
// program it starts at it (FONTCONFIG_FILE). False when it could not be
// written.
inline bool useOnlyTheTestFonts(const std::string &folder)
{
    const std::string path = folder + "/fonts.conf";
    std::ofstream conf(path, std::ios::binary);
    conf << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n<fontconfig>\n"
            "  <dir>/usr/share/fonts/truetype/dejavu</dir>\n"
            "  <dir>/usr/share/fonts/truetype/wqy</dir>\n"
            // The system's caches of those folders are read; a missing one is written here.
            "  <cachedir>" << folder << "/fontcache</cachedir>\n"
            "  <cachedir>/var/cache/fontconfig</cachedir>\n"
            "</fontconfig>\n";
    conf.close();
    return conf && ::setenv("FONTCONFIG_FILE", path.c_str(), 1) == 0;
}
}

#endif
