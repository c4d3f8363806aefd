#pragma once

// The images of the button glyph list il1, by what they show (resources/glyphs/, in order).
namespace ButtonGlyph {
constexpr int EyeGreen = 0;    // Start
constexpr int EyeRed = 1;      // Stop
constexpr int TrayDown = 2;
constexpr int ExitDoor = 3;
constexpr int PageBlank = 4;
constexpr int PageList = 5;
constexpr int Floppy = 6;
constexpr int Check = 7;
constexpr int Cross = 8;
constexpr int Pencil = 9;
}  // namespace ButtonGlyph
