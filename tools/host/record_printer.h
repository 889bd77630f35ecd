// The records a driver entry fills, printed field by field with their names, in UTF-8, one field a line:
// "DiscountResult.NumberCard = 0012345678".
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "smartdriver/entries.h"
#include "smartdriver/records.h"

namespace sd::host {

void PrintVersion(const VersionText& version, std::ostream& out);
void PrintCardInfo(const CardInfo& record, std::ostream& out);
void PrintDiscountResult(const DiscountResult& record, std::ostream& out);
void PrintCashlessResult(const CashlessResult& record, std::ostream& out);

// The shortest text that reads back as the same double ("142.5", "0.1", "1e+300").
std::string FormatDouble(double value);
// Windows-1251 text as UTF-8 on one line: control characters become \xNN.
std::string DisplayText(std::string_view cp1251);
// A date as the driver hands it (days since 30 December 1899, the time of day as the fraction), as
// "YYYY-MM-DD hh:mm:ss"; "?" for a value no calendar date stands for.
std::string FormatDate(double days);

}  // namespace sd::host
