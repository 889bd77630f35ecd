// The words of one smartdriver-host command read into what to call and with which values, with the checks
// that turn a mistyped line into a clear message instead of a call.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sd::host {

// A command line or a line of a run file that cannot be turned into a call.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Verb { Version, BlankCard, CardInfo, Discount, ForwardDiscount, CashlessSale, CashlessReturn };

// One entry call. Texts are Windows-1251, ready to be handed to the driver.
struct Command {
  Verb verb = Verb::Version;
  char type_oper = 0;      // '-', 'M' or '+'
  std::uint8_t koshel = 0;  // wallet
  double kolvo = 0;         // quantity
  double summa = 0;         // line sum
  std::string text1;        // forward-discount: TEXT1
  std::string text2;        // discount: CARDTEXT; forward-discount: TEXT2
  std::string card;         // cashless-return: CARD as typed
};

// True for the words that name an entry (not `run`, not `settings`).
bool IsEntryVerb(std::string_view word);

// Reads words[0] as the verb and the rest as its arguments; texts arrive in UTF-8. UsageError on any
// mistake, naming the argument and what it should be.
Command ParseCommand(const std::vector<std::string>& words);

// Splits a line of a run file into words: blanks separate, a word may be put in double quotes to hold
// blanks ("" inside quotes is one quote character). UsageError for an unclosed quote.
std::vector<std::string> SplitWords(std::string_view line);

// A wallet number, 0 to 255.
std::uint8_t ParseWallet(std::string_view text);
// A finite quantity or sum with '.' as the decimal point, whatever the user's locale.
double ParseAmount(std::string_view what, std::string_view text);

// The lines of --help that list the entry commands.
extern const char* const kEntryUsage;

}  // namespace sd::host
