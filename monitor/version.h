#pragma once
// The program's version as it appears in the captions built at run time and in
// the help window's title. The main window's own caption says "Vers. 1.8": the
// two were never aligned and users know the program by both.
namespace hub {
inline constexpr char kProgramVersion[] = "1.7";
inline constexpr char kMainCaption[] = "ZEMBRA MONITOR HUB Vers. 1.8";
inline constexpr char kApplicationTitle[] = "TALVIRE ZEMBRA MONITOR HUB";
} // namespace hub
