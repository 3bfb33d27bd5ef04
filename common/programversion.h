#pragma once
// The program version used in built captions and the help window's title.
// (The main window's own caption says "Vers. 1.8"; that text is fixed apart.)
namespace hub {
inline constexpr char kProgramVersion[] = "1.7";
} // namespace hub
