// smartdriver-host: a host program on the command line. It loads the driver library as a point-of-sale
// host does, asks it for its driver object, and calls the entries by name, printing each filled record.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/errors.h"
#include "tools/host/check_command.h"
#include "tools/host/command_line.h"
#include "tools/host/driver_loader.h"
#include "tools/host/log_tail.h"
#include "tools/host/session.h"
#include "tools/host/settings_command.h"

namespace {

using sd::host::UsageError;

enum ExitCode { kOk = 0, kFailed = 1, kBadArguments = 2, kNotLoaded = 3 };

const char kUsage[] =
    "Usage: smartdriver-host [options] COMMAND [ARGUMENTS]\n"
    "Loads the driver library as a host does, calls GeTDriver and runs driver entries by name, printing\n"
    "each filled record field by field. A message the driver raises is printed as \"error: ...\".\n"
    "\n"
    "Commands:\n";

const char kUsageTail[] =
    "  run FILE                                  the commands of FILE, one a line, in one load of the\n"
    "                                            library ('-' reads standard input); blank lines and\n"
    "                                            lines starting with '#' are skipped; \"...\" quotes a text\n"
    "  settings [--set NAME=VALUE]...            click the library's settings entry in this program's menu:\n"
    "                                            print the dialog as it opens; with --set, fill controls\n"
    "                                            (edIP, edPort, edPortbn, seTimOut in seconds, cbLog 1/0)\n"
    "                                            and close it with Apply, which checks and saves them\n"
    "  check [--query WALLET]                    for an integrator at a till: the five settings and where\n"
    "                                            each came from, then one line per check, \"ok\" or the\n"
    "                                            driver's message: the log folder takes the log, the IP\n"
    "                                            resolves, both ports take a connection within the wait\n"
    "                                            (nothing is sent); --query also runs one card query.\n"
    "                                            Exit status 0 only when every check passed\n"
    "WALLET is 0 to 255; QTY and SUM are numbers with '.' as the decimal point.\n"
    "\n"
    "Options:\n"
    "  --lib PATH        the library to load (default: the library of this program's own build, beside\n"
    "                    this program or in ../lib)\n"
    "  --drive-c DIR     the directory that stands for drive C, for this program and the library\n"
    "  --log             afterwards, print the lines this run added to the operation log\n"
    "  --stop-on-error   run: stop at the first line that fails\n"
    "  --help            this text\n"
    "Options may stand anywhere; after -- no word is taken for one.\n"
    "\n"
    "The driver reads its settings from C:\\ZEMO\\Kestmark.INI and writes its log to C:\\ZEMO\\LogFiles\\.\n"
    "Drive C is DIR of --drive-c; without it, on POSIX, $SMARTDRIVER_DRIVE_C, else $HOME/.smartdriver/drive_c;\n"
    "on Windows the real drive C.\n"
    "Records start all zero before each call; after a raised message the record is printed only when the\n"
    "entry wrote into it. Records and the driver's messages go to standard output, in order; mistakes in\n"
    "this program's own arguments go to standard error.\n"
    "\n"
    "Exit status: 0 every call returned; 1 an entry raised or a run line failed; 2 bad arguments;\n"
    "3 the library could not be loaded or GeTDriver raised.\n";

struct Options {
  std::string lib;
  std::string drive_c;
  bool log = false;
  bool stop_on_error = false;
  bool help = false;
  std::vector<std::string> words;
  std::vector<sd::host::ControlValue> sets;
  int query = -1;  // check --query WALLET
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_done || arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      if (arg == "--") options_done = true;
      else o.words.push_back(arg);
      continue;
    }
    if (arg == "--help") o.help = true;
    else if (arg == "--log") o.log = true;
    else if (arg == "--stop-on-error") o.stop_on_error = true;
    else if (arg.compare(0, 6, "--lib=") == 0) o.lib = arg.substr(6);
    else if (arg.compare(0, 10, "--drive-c=") == 0) o.drive_c = arg.substr(10);
    else if (arg == "--set") {
      if (i + 1 >= argc) throw UsageError("--set needs NAME=VALUE");
      o.sets.push_back(sd::host::ParseControlValue(argv[++i]));
    }
    else if (arg == "--query") {
      if (i + 1 >= argc) throw UsageError("--query needs a WALLET");
      o.query = sd::host::ParseWallet(argv[++i]);
    }
    else if (arg == "--drive-c") {
      if (i + 1 >= argc) throw UsageError("--drive-c needs a DIR");
      o.drive_c = argv[++i];
    }
    else if (arg == "--lib") {
      if (i + 1 >= argc) throw UsageError("--lib needs a PATH");
      o.lib = argv[++i];
    } else {
      throw UsageError("unknown option " + arg);
    }
    if (o.lib.empty() && arg.compare(0, 5, "--lib") == 0) throw UsageError("--lib needs a PATH");
    if (o.drive_c.empty() && arg.compare(0, 9, "--drive-c") == 0) throw UsageError("--drive-c needs a DIR");
  }
  return o;
}

int Fail(const std::string& message) {
  std::cerr << "error: " << message << "\n(smartdriver-host --help lists the commands and options)\n";
  return kBadArguments;
}

// The driver object from GeTDriver; nullptr, with the message printed, when GeTDriver raised.
sd::TSmartDriver* StartDriver(sd::host::DriverLoader& loader, const sd::host::LogTail& log) {
  try {
    return loader.Driver();
  } catch (const sd::EInOutError& e) {
    std::cout << "error: " << sd::text::ToUtf8(e.what()) << '\n';
    std::cout << "(GeTDriver could not write the operation log; does " << sd::platform::DisplayPath(log.Path())
              << " lie in an existing directory?)\n";
  } catch (const std::exception& e) {
    std::cout << "error: " << sd::text::ToUtf8(e.what()) << '\n';
  } catch (...) {
    std::cout << "error: GeTDriver raised an exception of an unknown kind\n";
  }
  return nullptr;
}

// The check command. The library is loaded only for the card query, as a till loads it.
int RunCheck(const std::string& lib, int wallet) {
  const auto query = [&](int koshel, std::string* card) -> std::string {
    std::unique_ptr<sd::host::DriverLoader> loader;
    try {
      loader = std::make_unique<sd::host::DriverLoader>(lib);
    } catch (const sd::host::LoadError& e) {
      return e.what();
    }
    std::string raised;
    try {
      sd::TSmartDriver* driver = loader->Driver();
      sd::CardInfo info{};
      sd::EntryOf<sd::entry::GetCardInfo>(driver, sd::kGetCardInfo)(&info, driver, static_cast<std::uint8_t>(koshel));
      *card = std::string(info.CardHead.view()) + std::string(info.CardTail.view());
    } catch (const std::exception& e) {
      raised = sd::text::ToUtf8(e.what());
    } catch (...) {
      raised = "an exception of an unknown kind";
    }
    loader->Unload();
    return raised;
  };
  const bool passed = sd::host::RunCheck(wallet, query, std::cout);
  std::cout.flush();
  return passed ? kOk : kFailed;
}

int Main(int argc, char** argv) {
  Options options;
  try {
    options = ParseOptions(argc, argv);
  } catch (const UsageError& e) {
    return Fail(e.what());
  }
  if (options.help) {
    std::cout << kUsage << sd::host::kEntryUsage << kUsageTail;
    return kOk;
  }
  if (options.words.empty()) return Fail("missing command");

  // Everything about the arguments is checked before the library is loaded, so a typing mistake
  // leaves no trace in the operation log.
  const bool run = options.words[0] == "run";
  const bool settings = options.words[0] == "settings";
  const bool check = options.words[0] == "check";
  if (!options.sets.empty() && !settings) return Fail("--set belongs to the settings command");
  if (options.query >= 0 && !check) return Fail("--query belongs to the check command");
  sd::host::Command command;
  std::ifstream file;
  std::istream* lines = nullptr;
  try {
    if (run) {
      if (options.words.size() != 2) throw UsageError("usage: run FILE (or run - for standard input)");
      if (options.words[1] == "-") {
        lines = &std::cin;
      } else {
        const std::string& name = options.words[1];
        file.open(std::filesystem::path(std::u8string(name.begin(), name.end())));
        if (!file) throw UsageError("cannot read " + options.words[1]);
        lines = &file;
      }
    } else if (settings) {
      if (options.words.size() != 1) throw UsageError("usage: settings [--set NAME=VALUE]...");
    } else if (check) {
      if (options.words.size() != 1) throw UsageError("usage: check [--query WALLET]");
    } else {
      command = sd::host::ParseCommand(options.words);
    }
  } catch (const UsageError& e) {
    return Fail(e.what());
  }

  std::string lib = options.lib.empty() ? sd::host::DefaultLibraryPath() : sd::platform::ArgumentPath(options.lib);
  if (lib.empty()) return Fail("cannot find this program's own path; name the library with --lib");
  // Chosen before the library is loaded, so that its start-up already reads the settings there.
  if (!options.drive_c.empty()) sd::platform::SetDriveCRoot(sd::platform::ArgumentPath(options.drive_c));
  if (check) return RunCheck(lib, options.query);
  const sd::host::LogTail log;

  int status = kOk;
  {
    std::unique_ptr<sd::host::DriverLoader> loader;
    try {
      loader = std::make_unique<sd::host::DriverLoader>(lib);
    } catch (const sd::host::LoadError& e) {
      std::cerr << "error: " << e.what() << '\n';
      return kNotLoaded;
    }
    if (settings) {
      // The settings entry is in the menu from the library's start-up on, or, where the library may not
      // touch the host's interface while it is being loaded (Windows), from the first GeTDriver, as a
      // till calls it. The dialog needs no driver object, so it also serves to switch off a log that
      // GeTDriver could not write: the entry is there before GeTDriver writes.
      sd::host::PrepareSettings();
      if (!sd::host::HasSettingsEntry()) {
        try {
          loader->Driver();
        } catch (...) {
        }
      }
      status = sd::host::RunSettings(options.sets, std::cout);
    } else if (sd::TSmartDriver* driver = StartDriver(*loader, log)) {
      sd::host::Session session(driver, std::cout);
      if (run) status = session.RunLines(*lines, options.stop_on_error) == 0 ? kOk : kFailed;
      else status = session.Run(command) ? kOk : kFailed;
    } else {
      status = kNotLoaded;
    }
    // Unloaded before the log is read: then no exchange thread can still be adding to it.
    loader->Unload();
  }
  if (options.log) {
    std::cout << "\n--- operation log: lines added to " << sd::platform::DisplayPath(log.Path()) << " ---\n" << log.Appended();
  }
  std::cout.flush();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // The words in UTF-8 whatever the system's code page: card texts and --set values keep their letters.
  std::vector<std::string> words = sd::platform::ProgramArguments(argc, argv);
  std::vector<char*> utf8;
  for (std::string& word : words) utf8.push_back(word.data());
  utf8.push_back(nullptr);
  return Main(static_cast<int>(words.size()), utf8.data());
}
