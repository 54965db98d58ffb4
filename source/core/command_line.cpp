#include "core/command_line.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

namespace {

// A whole decimal number in [minimum, maximum], nothing else on the string.
bool ReadWhole(const std::string& text, long long minimum, long long maximum, long long& value) {
  if (text.empty() || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') return false;
  if (v < minimum || v > maximum) return false;
  value = v;
  return true;
}

// The options that name a file, and the field each is kept in.
std::string CommandLineOptions::*FileOption(const std::string& option) {
  using Options = CommandLineOptions;
  static const std::pair<const char*, std::string Options::*> kFileOptions[] = {
      {"--screenshot", &Options::screenshot}, {"--dump-scene", &Options::dumpScene},
      {"--save-scene", &Options::saveScene},  {"--load-scene", &Options::loadScene},
      {"--record", &Options::record},         {"--replay", &Options::replay},
      {"--model", &Options::model},           {"--slice", &Options::slice},
      {"--out", &Options::outDir}};
  for (const auto& [name, field] : kFileOptions)
    if (option == name) return field;
  return nullptr;
}

}  // namespace

std::string CommandLineUsage() {
  return "usage: cleave [options]\n"
         "  --frames N         run N frames, then shut down normally (N >= 1)\n"
         "  --seed N           seed the scene's random numbers with N (0 .. 4294967295)\n"
         "                     instead of the time\n"
         "  --screenshot FILE  after the last frame, save the window as a PNG picture\n"
         "  --dump-scene FILE  at shutdown, write every game object as one JSON line\n"
         "  --save-scene FILE  at shutdown, write the whole scene as a glTF 2.0 file (.glb)\n"
         "  --load-scene FILE  start from a scene saved with --save-scene or the bar\n"
         "  --record FILE      write the input of the session, frame by frame, to FILE\n"
         "  --replay FILE      play a recorded session back, then shut down as it ended;\n"
         "                     with --record, write its input with this run's hashes\n"
         "  --stats            at exit, print frame statistics as one JSON line\n"
         "  --quiet            print only warnings, errors and milestones on the console\n"
         "                     (the log file keeps every line)\n"
         "  --model FILE       load a closed triangle mesh (OBJ, STL, PLY, glTF) into the\n"
         "                     scene; Space shoots copies of it when ModelType is Model\n"
         "  --slice FILE --plane A,B,C,D --out DIR\n"
         "                     without a window: cut the model by A x + B y + C z = D,\n"
         "                     write each connected part as OBJ into DIR, print JSON\n"
         "  --help             show this text\n"
         "Settings are read from settings.txt in the working directory when it exists.\n";
}

CommandLineResult ParseCommandLine(int argc, const char* const argv[], CommandLineOptions& options,
                                   std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    std::string value;
    bool hasValue = false;
    const size_t equals = option.find('=');
    if (option.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = option.substr(equals + 1);
      option = option.substr(0, equals);
      hasValue = true;
    }

    const bool isFlag =
        option == "--help" || option == "-h" || option == "--stats" || option == "--quiet";
    if (isFlag && hasValue) {
      error = "option " + option + " takes no value";
      return CommandLineResult::kError;
    }
    if (option == "--stats") {
      options.stats = true;
      continue;
    }
    if (option == "--quiet") {
      options.quiet = true;
      continue;
    }
    if (option == "--help" || option == "-h") return CommandLineResult::kHelp;
    const bool takesValue = option == "--frames" || option == "--seed" || option == "--plane" ||
                            FileOption(option) != nullptr;
    if (!takesValue) {
      error = "unknown option '" + std::string(argv[i]) + "'";
      return CommandLineResult::kError;
    }
    if (!hasValue) {
      if (i + 1 >= argc) {
        error = "option " + option + " needs a value";
        return CommandLineResult::kError;
      }
      value = argv[++i];
    }

    long long number = 0;
    if (option == "--frames") {
      if (!ReadWhole(value, 1, LONG_MAX, number)) {
        error = "--frames needs a whole number of at least 1, got '" + value + "'";
        return CommandLineResult::kError;
      }
      options.frames = static_cast<long>(number);
    } else if (option == "--seed") {
      if (!ReadWhole(value, 0, 4294967295LL, number)) {
        error = "--seed needs a whole number from 0 to 4294967295, got '" + value + "'";
        return CommandLineResult::kError;
      }
      options.hasSeed = true;
      options.seed = static_cast<unsigned>(number);
    } else if (option == "--plane") {
      options.plane = value;  // checked by the slicer, which reports a bad plane itself
    } else if (value.empty()) {
      error = "option " + option + " needs a file name";
      return CommandLineResult::kError;
    } else {
      options.*FileOption(option) = value;
    }
  }
  if (options.slice.empty() && (!options.plane.empty() || !options.outDir.empty())) {
    error = "--plane and --out go with --slice FILE";
    return CommandLineResult::kError;
  }
  return CommandLineResult::kRun;
}
