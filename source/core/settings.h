#pragma once
// Settings: the values of the optional "settings.txt" file and its parser.
//
// File syntax, one "key = value" per line, lines numbered from 0:
//   - leading non-graphic characters are skipped; a line that holds nothing
//     else (empty, blanks, tabs, a carriage return) is skipped, and still
//     counts for numbering;
//   - a line whose first graphic character is '#' is a comment;
//   - the key is the longest run of letters and digits, then '=' with only
//     blanks (spaces, tabs) before and after it, then the value: one run of
//     graphic characters, followed by nothing but blanks and the line ending
//     (so "screenWidth=640 480" and "screenWidth.junk=640" break the rules);
//   - keys: screenWidth, screenHeight (an optional sign and decimal digits,
//     nothing else, 1 to 16384), slowFrameTime (a number as strtod reads it,
//     whole, positive and finite, in seconds), fullscreen ("true"/"false";
//     any other value is accepted and changes nothing). Keys are
//     case-sensitive. A value out of its range breaks the rules like an
//     unknown key.
// The first line that breaks these rules stops the parse: the result is not
// valid and its errorMessage names the line and quotes it without its line
// ending (a CRLF file's carriage return is left out), its first 200 bytes and
// "..." when it is longer, every byte outside printable ASCII written \xNN
// (hexadecimal, upper case) and a backslash doubled; the caller then uses
// defaults.

#include <cstdint>
#include <string>

struct Settings {
  int32_t screenWidth = 800;
  int32_t screenHeight = 600;
  double slowFrameTime = 1.0 / 30.0;  // seconds
  bool fullscreen = false;
  bool valid = true;
  std::string errorMessage;
};

Settings ParseSettings(const std::string& text);

// Reads the whole file into `text`. Returns false (and leaves text empty)
// when the file does not exist or cannot be read.
bool ReadTextFile(const std::string& path, std::string& text);
